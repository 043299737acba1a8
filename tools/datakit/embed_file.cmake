# Writes a C++ source that holds a file's bytes, run as a build step:
#   cmake -DINPUT=<file> -DOUTPUT=<source> -DSYMBOL=<name> -P embed_file.cmake
# The source defines datakit::embedded::<name> (the bytes) and <name>Size (their count).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line, each as 0xNN.
string(REPEAT "[0-9a-f]" 32 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# An array cannot be empty: an empty file still gets one byte, outside its count.
file(WRITE "${OUTPUT}.tmp"
     "// Generated from ${INPUT} by embed_file.cmake.\n"
     "#include <cstddef>\n#include <cstdint>\n\n"
     "namespace datakit::embedded\n{\n"
     "extern const uint8_t ${SYMBOL}[];\nextern const size_t ${SYMBOL}Size;\n"
     "const uint8_t ${SYMBOL}[] = {\n${bytes}0};\n"
     "const size_t ${SYMBOL}Size = ${size};\n"
     "} // namespace datakit::embedded\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
