// What the fuzz targets share: a private world in a temporary directory (registry file, drive
// C: behind it, the XDG directories), made once per process, and the input written to a file
// there for readers that take a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz
{
// Creates the temporary directory and points the environment at it (first call only); its
// path. The registry file maps drive C: to Root()/c. Removed when the process exits.
const std::string& Root();
// The host path behind "c:\<name>".
std::string DriveCPath(const std::string& name);
// Writes the bytes as the whole file at the host path.
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
// The engine's heaps and the log switched off; DEZOR_DEBUG stays unset, so reports stay quiet.
void InitEngineHeaps(uint32_t mainBytes, uint32_t tempBytes);
// The little-endian 32-bit word of the input at byte offset at, its missing bytes 0: values a
// target takes from the input beside what the reader reads.
int32_t Word(const uint8_t* data, size_t size, size_t at);
} // namespace fuzz
