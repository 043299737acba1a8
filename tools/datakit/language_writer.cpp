#include "tools/datakit/language_writer.h"

#include <algorithm>

#include "tools/datakit/dkpr_writer.h"
#include "tools/datakit/file_io.h"

namespace datakit
{

std::string FormatLanguageText(const std::vector<std::string>& strings)
{
    if (strings.empty())
        throw Error("a language file needs at least one string");
    std::string text;
    for (size_t i = 0; i < strings.size(); ++i)
    {
        const std::string& s = strings[i];
        if (s.empty())
            throw Error("language string " + std::to_string(i) +
                        " is empty (the game would skip it and renumber the rest)");
        auto bad = std::find_if(s.begin(), s.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 32; });
        if (bad != s.end())
            throw Error("language string " + std::to_string(i) + " holds control byte " +
                        std::to_string(static_cast<unsigned char>(*bad)) + " at offset " +
                        std::to_string(bad - s.begin()) +
                        " (the game would split the string there)");
        text += s;
        // Every string ends with the separator, so the last one is terminated in the image too.
        text += "\r\n";
    }
    return text;
}

void WriteLanguageFile(const std::filesystem::path& path, const std::vector<std::string>& strings,
                       bool compressed)
{
    std::string text;
    try
    {
        text = FormatLanguageText(strings);
    }
    catch (const Error& e)
    {
        throw Error(path.string() + ": " + e.what());
    }
    if (compressed)
        WriteDkprFile(path, AsBytes(text), true);
    else
        WriteFileAtomically(path, AsBytes(text));
}

} // namespace datakit
