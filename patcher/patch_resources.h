// The resources the patch program carries, and the test hook that replaces them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "patcher/patch_dlg.h"

// The gzip members built into the program, one per payload row's resource id.
std::span<const PatchResource> PatchEmbeddedResources(void);

// Resources read from a directory instead: file DIR/<id> for each resource id of the payload
// (a missing file leaves its resource out). `storage` keeps the bytes the table points into.
std::vector<PatchResource> PatchDirectoryResources(const char* pszDir,
                                                   std::vector<std::vector<uint8_t>>& storage);
