// Seed inputs for the fuzz targets of tests/fuzz: a few valid files of each format the game
// reads, written under DIR/<target>/. The formats come from the writers here; the network
// frames and the controller image are laid out as the game's documents give them.
#pragma once

#include <filesystem>

namespace datakit
{
// Writes the seeds (DIR is created when missing); throws Error when it cannot.
void WriteFuzzSeeds(const std::filesystem::path& dir);
} // namespace datakit
