// Reads back the PNG frames the display writes (platform/ddraw's DdEncodePng).
#pragma once

#include <string>
#include <vector>

#include <zlib.h>

#include "platform/win/wintypes.h"

// Reads back the PNGs that DdEncodePng writes (8-bit RGB, filter 0 rows, one IDAT).
inline bool DecodePng(const std::string& png, std::vector<BYTE>& rgb, DWORD& w, DWORD& h)
{
    auto u32 = [&](size_t at)
    {
        return static_cast<DWORD>(static_cast<BYTE>(png[at])) << 24 |
               static_cast<DWORD>(static_cast<BYTE>(png[at + 1])) << 16 |
               static_cast<DWORD>(static_cast<BYTE>(png[at + 2])) << 8 |
               static_cast<BYTE>(png[at + 3]);
    };
    std::string idat;
    for (size_t at = 8; at + 8 <= png.size();)
    {
        DWORD len = u32(at);
        std::string type = png.substr(at + 4, 4);
        if (at + 12 + len > png.size())
            return false;
        if (type == "IHDR")
            w = u32(at + 8), h = u32(at + 12);
        else if (type == "IDAT")
            idat += png.substr(at + 8, len);
        at += 12 + len;
    }
    std::vector<BYTE> raw((static_cast<size_t>(w) * 3 + 1) * h);
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()),
                   idat.size()) != Z_OK ||
        rawSize != raw.size())
        return false;
    rgb.clear();
    for (DWORD y = 0; y < h; ++y)
    {
        const BYTE* row = raw.data() + y * (static_cast<size_t>(w) * 3 + 1);
        if (row[0] != 0)
            return false;
        rgb.insert(rgb.end(), row + 1, row + 1 + static_cast<size_t>(w) * 3);
    }
    return true;
}
