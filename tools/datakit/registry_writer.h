// The registry file that the game and the patch program read their settings from:
//
//   [Drives]
//   C=/abs/dir
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Velmorra\Dezor\1.00]
//   HDPath=C:\Dezor
//
// A section names a key by its full path (or is the drive map, [Drives]); each line in it is
// Name=Value. The reader trims spaces around section names, names and values and matches
// names without regard to case, so the writer refuses anything it would read back otherwise.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

struct RegistryValue
{
    std::string name;
    std::string value;
};

struct RegistrySection
{
    std::string name;
    std::vector<RegistryValue> values;
};

struct RegistryModel
{
    std::vector<RegistrySection> sections;

    // Sets a value, replacing one of the same name (any case) or appending it; the section is
    // appended when it is new.
    void Set(const std::string& section, const std::string& name, const std::string& value);
    // Whether the section holds a value of that name (any case).
    bool Has(const std::string& section, const std::string& name) const;
};

inline constexpr const char* kDrivesSection = "Drives";

// The file text, one "\n" per line. Throws Error naming the first bad section, name or value.
std::string FormatRegistry(const RegistryModel& model);

// The sections and values of a registry file's text, as the game reads them: names and
// values trimmed, comment lines (';', '#') and lines without '=' passed over, a value named
// twice taking the last. Nothing in the text is refused.
RegistryModel ParseRegistry(const std::string& text);

// Formats the model and writes it atomically to `path`; nothing is written when it is refused.
void WriteRegistryFile(const std::filesystem::path& path, const RegistryModel& model);

} // namespace datakit
