#include "engine/pc/dk_prompt.h"

void DkSwapBytes(void* pA, void* pB, int32_t nLength)
{
    auto* pByteA = static_cast<uint8_t*>(pA);
    auto* pByteB = static_cast<uint8_t*>(pB);
    for (int32_t n = 0; n < nLength; ++n)
    {
        uint8_t uByte = pByteA[n];
        pByteA[n] = pByteB[n];
        pByteB[n] = uByte;
    }
}
