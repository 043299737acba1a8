// The data kit's demo installation the game's stage benchmarks load from, made once a run.
#pragma once

#include <string>

namespace bench
{
// Installs the demo under a fresh directory on the first call and makes its registry the
// program's; returns the installation's hard-disk root.
std::string InstallDemoOnce();
// Installs the demo under dir and makes its registry the program's; returns the installation's
// hard-disk root.
std::string InstallDemoAt(const std::string& dir);
} // namespace bench
