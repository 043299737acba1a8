// File helpers shared by the writers: whole-file reads and atomic whole-file writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace datakit
{

// Every writer reports a refusal or a failed write with this; what() is a complete message.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Writes the bytes to a temporary file beside `path`, syncs it and renames it over `path`, so
// a reader sees either the old file or the whole new one. The directory must exist.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Appends the low `bytes` bytes of `value`, least significant first, as every format written
// here stores its numbers.
inline void AppendLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Appends a four-character tag ("RIFF", "data", ...).
inline void AppendTag(std::vector<uint8_t>& out, const char (&tag)[5])
{
    out.insert(out.end(), tag, tag + 4);
}

inline std::span<const uint8_t> AsBytes(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

} // namespace datakit
