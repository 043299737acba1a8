// Reads back PNG frames (captures, golden images) as 8-bit RGB through platform/png.
#pragma once

#include <string>
#include <vector>

#include "platform/png/png.h"
#include "platform/win/wintypes.h"

inline bool DecodePng(const std::string& png, std::vector<BYTE>& rgb, DWORD& w, DWORD& h)
{
    return PngDecodeRgb(png.data(), png.size(), rgb, w, h);
}
