// Language text files: 8-bit text, one string per line, every line ended by CR LF. The game
// cuts a file into strings at each run of bytes below 32 and numbers them from 0, so a string
// must be non-empty and hold no such byte. '^' is an ordinary character here (the game breaks
// the printed line there).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

// The file's bytes. Throws Error naming the first string (by number) that cannot be stored.
std::string FormatLanguageText(const std::vector<std::string>& strings);

// Writes the file atomically, as plain text or, when `compressed`, in the DKPR wrapper as gzip.
void WriteLanguageFile(const std::filesystem::path& path, const std::vector<std::string>& strings,
                       bool compressed = false);

} // namespace datakit
