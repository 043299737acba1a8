// What the two network targets share: an input cut into frames, and the game's side of a
// loopback session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/dplay/dplay.h"
#include "platform/dplay/dplay_wire.h"

namespace fuzz
{
// The input cut before each frame magic after its first byte, so one input may carry several
// frames and a seed of one frame stays one frame.
inline std::vector<std::vector<uint8_t>> SplitFrames(const uint8_t* data, size_t size)
{
    std::vector<std::vector<uint8_t>> frames;
    uint8_t magic[4];
    for (int i = 0; i < 4; ++i)
        magic[i] = static_cast<uint8_t>(dpwire::kMagic >> (8 * i));
    size_t start = 0;
    for (size_t at = 1; at + 4 <= size; ++at)
        if (std::memcmp(data + at, magic, 4) == 0)
        {
            frames.emplace_back(data + start, data + at);
            start = at;
        }
    frames.emplace_back(data + start, data + size);
    return frames;
}

inline const GUID kFuzzApp = {0x7A0F1D2E, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

// A loopback object, as the game makes one; NULL when it could not be made.
inline IDirectPlay3A* MakeLoopbackPlay()
{
    LPDIRECTPLAY dp1 = nullptr;
    GUID provider = DPSPGUID_LOOPBACK;
    if (DirectPlayCreate(&provider, &dp1, nullptr) != DP_OK || dp1 == nullptr)
        return nullptr;
    IDirectPlay3A* dp = nullptr;
    dp1->QueryInterface(IID_IDirectPlay3A, reinterpret_cast<void**>(&dp));
    dp1->Release();
    return dp;
}

// Takes every message waiting (which also handles what the link has brought).
inline void DrainMessages(IDirectPlay3A* dp)
{
    std::vector<uint8_t> buffer(DP_MAX_MESSAGE_SIZE + 256);
    for (int i = 0; i < 256; ++i)
    {
        DPID from = 0;
        DPID to = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        if (dp->Receive(&from, &to, DPRECEIVE_ALL, buffer.data(), &size) != DP_OK)
            break;
    }
}
} // namespace fuzz
