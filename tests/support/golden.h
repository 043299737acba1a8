// Small frames compared with golden PNG images kept beside the tests. DEZOR_UPDATE_GOLDEN=1
// writes and rewrites them; otherwise a missing or different image fails the test.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ddraw/ddraw_internal.h"
#include "tests/support/png_read.h"

// Compares a frame of 8-bit RGB triples, row by row, with dir/name.png.
inline void ExpectGoldenRgb(const std::vector<BYTE>& rgb, DWORD width, DWORD height,
                            const std::string& dir, const std::string& name)
{
    const std::string path = dir + "/" + name + ".png";
    std::ifstream in(path, std::ios::binary);
    const char* update = std::getenv("DEZOR_UPDATE_GOLDEN");
    const bool updating = update != nullptr && std::string(update) == "1";
    // A lost golden image is a failure, not a new reference: only an update writes one.
    ASSERT_TRUE(in || updating) << "no golden image " << path
                                << " (DEZOR_UPDATE_GOLDEN=1 writes it)";
    if (updating)
    {
        ASSERT_TRUE(PngSaveRgb(path.c_str(), rgb, width, height)) << path;
        std::fprintf(stderr, "wrote golden image %s\n", path.c_str());
        return;
    }
    std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<BYTE> want;
    DWORD w = 0, h = 0;
    ASSERT_TRUE(DecodePng(png, want, w, h)) << path;
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < rgb.size(); ++i)
        if (rgb[i] != want[i] && differ++ == 0)
            first = i;
    EXPECT_EQ(differ, 0u) << name << ": first difference at pixel (" << first / 3 % w << ", "
                          << first / 3 / w << ")";
}

// Compares the surface (as RGB, through its palette in 8 bits) with dir/name.png.
inline void ExpectGoldenFrame(const DdSurfaceData& surface, const std::string& dir,
                              const std::string& name)
{
    ExpectGoldenRgb(DdSurfaceToRgb(surface), surface.width, surface.height, dir, name);
}
