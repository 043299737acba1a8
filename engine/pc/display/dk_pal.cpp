#include "engine/pc/display/dk_pal.h"

#include <algorithm>
#include <atomic>

#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/ddraw/ddraw.h"

namespace
{

// One unit of the 4.12 fixed-point step.
constexpr int32_t kStepOne = 4096;

// The menu tick steps wipes on the timer thread while the main thread reads them, with no
// lock; atomic fields keep either side from reading a torn value.
struct DK_WIPE
{
    std::atomic<uint8_t> uType{DKWIPE_FREE};
    std::atomic<int8_t> nSign{1}; // direction of the bounce
    std::atomic<uint32_t> uLength{0};
    std::atomic<int32_t> nBase{0};
    std::atomic<int32_t> nEnd{0};
    std::atomic<int32_t> nStart{0};
    std::atomic<uint8_t> uLinger{0};
    std::atomic<int32_t> nStep{0};
    std::atomic<const uint8_t*> pOwner{nullptr};
    std::atomic<uint32_t> uDelay{0};
    std::atomic<uint32_t> uCounter{0};
};

DK_WIPE gaWipes[DK_MAX_WIPES];
std::atomic<BOOL> gboWipesInstant{FALSE};

// Raw units the value overshoots back towards the from side in the last frames of types 1
// and 4.
constexpr int8_t kaBounce[DK_WIPE_BOUNCE_FRAMES] = {3, 6, 6, 3, 0, 2, 4, 4, 2,
                                                    0, 1, 2, 2, 1, 0, 1, 0};

// Wide enough that neither a long wipe's triangle number nor a big difference of values times
// the step can overflow.
int64_t Triangle(int64_t n)
{
    return n * (n + 1) / 2;
}

// A free slot no longer belongs to its handle, so a wipe that has ended (or was stopped) stops
// counting as running.
void FreeSlot(DK_WIPE& wipe)
{
    wipe.uType = DKWIPE_FREE;
    wipe.pOwner = nullptr;
}

BOOL IsOwnedBy(const uint8_t* pHandle)
{
    return *pHandle < DK_MAX_WIPES && gaWipes[*pHandle].pOwner == pHandle ? TRUE : FALSE;
}

} // namespace

void DkStartWipe(uint8_t* pHandle, int nType, int nFrames, int nDelay, int32_t nFrom, int32_t nTo,
                 BOOL boLinger)
{
    if (!TRYBOOL(pHandle != nullptr))
        return;
    // One handle never holds two slots.
    if (IsOwnedBy(pHandle))
        FreeSlot(gaWipes[*pHandle]);

    int nSlot = 0; // all busy: slot 0 is taken over
    for (int i = 0; i < DK_MAX_WIPES; ++i)
        if (gaWipes[i].uType == DKWIPE_FREE)
        {
            nSlot = i;
            break;
        }
    *pHandle = static_cast<uint8_t>(nSlot);

    const BOOL boInstant = gboWipesInstant;
    if (boInstant)
        nFrom = nTo;

    const int64_t llTowards = static_cast<int64_t>(nTo) - nFrom;
    int64_t llRise = 0;    // value change over the whole curve, as the step measures it
    int64_t llDivisor = 0; // the curve's offset at its far end
    int32_t nBase = 0;
    uint32_t uExtra = 0;
    switch (nType)
    {
        case DKWIPE_LINEAR:
            llRise = llTowards;
            llDivisor = nFrames;
            nBase = nFrom;
            break;
        case DKWIPE_LINEAR_BOUNCE:
            llRise = -llTowards;
            llDivisor = nFrames;
            nBase = nTo;
            uExtra = DK_WIPE_BOUNCE_FRAMES;
            break;
        case DKWIPE_DECELERATE:
            llRise = -llTowards;
            llDivisor = Triangle(nFrames);
            nBase = nTo;
            break;
        case DKWIPE_ACCELERATE:
            llRise = llTowards;
            llDivisor = Triangle(nFrames);
            nBase = nFrom;
            break;
        case DKWIPE_DECELERATE_BOUNCE:
            llRise = -llTowards;
            llDivisor = Triangle(nFrames);
            nBase = nTo;
            uExtra = DK_WIPE_BOUNCE_FRAMES;
            break;
        default:
            DkLog(DkFormatString("Invalid wipe type = %d\n", nType));
            return;
    }

    // A wipe of no frames has nothing to divide by: it is already at its end value, so it
    // gets no step and no length (the bounce types too) and its first step returns the end.
    int32_t nStep = 0;
    uint32_t uLength = 0;
    if (nFrames > 0)
    {
        nStep = static_cast<int32_t>(llRise * kStepOne / llDivisor);
        uLength = static_cast<uint32_t>(nFrames) + uExtra;
    }

    DK_WIPE& wipe = gaWipes[nSlot];
    wipe.uType = static_cast<uint8_t>(nType);
    wipe.uLength = uLength;
    wipe.nBase = nBase;
    wipe.nEnd = nTo;
    wipe.nStart = nFrom;
    wipe.nSign = static_cast<int8_t>(nStep < 0 ? -1 : 1);
    wipe.uLinger = boInstant || !boLinger ? 0 : 1;
    wipe.nStep = nStep;
    wipe.uDelay = boInstant || nDelay < 0 ? 0u : static_cast<uint32_t>(nDelay);
    wipe.pOwner = pHandle;
    wipe.uCounter = 0;
}

int32_t DkStepWipe(uint8_t uHandle)
{
    if (!TRYBOOL(uHandle < DK_MAX_WIPES))
        return 0;
    DK_WIPE& wipe = gaWipes[uHandle];
    const int64_t llLength = wipe.uLength;
    const int64_t k = std::min<int64_t>(wipe.uCounter, llLength);

    if (wipe.uDelay > 0)
    {
        --wipe.uDelay;
        return wipe.nStart;
    }

    const uint8_t uType = wipe.uType;
    // The last 17 frames of a bounce type; k never passes the length, so the table index stays
    // inside 0..16.
    const int64_t llMoveEnd = llLength - DK_WIPE_BOUNCE_FRAMES;
    const bool boInBounce = k > llMoveEnd;
    int64_t llOffset = 0;
    switch (uType)
    {
        case DKWIPE_LINEAR:
            llOffset = k;
            break;
        case DKWIPE_DECELERATE:
            llOffset = Triangle(llLength - k);
            break;
        case DKWIPE_ACCELERATE:
            llOffset = Triangle(k);
            break;
        case DKWIPE_LINEAR_BOUNCE:
        case DKWIPE_DECELERATE_BOUNCE:
            if (boInBounce)
            {
                // The bounce table is in raw units.
                llOffset = wipe.nSign * kaBounce[k + DK_WIPE_BOUNCE_FRAMES - 1 - llLength];
                wipe.nStep = kStepOne;
            }
            else if (uType == DKWIPE_LINEAR_BOUNCE)
                llOffset = llMoveEnd - k;
            else
                llOffset = Triangle(llMoveEnd - k);
            break;
        default:
            return wipe.nEnd;
    }

    if (wipe.uCounter < llLength + DK_WIPE_LINGER_FRAMES)
        ++wipe.uCounter;
    // Type 1 keeps its slot and goes on returning its end value.
    if (uType != DKWIPE_LINEAR_BOUNCE && wipe.uCounter >= llLength)
    {
        FreeSlot(wipe);
        return wipe.nEnd;
    }
    return static_cast<int32_t>(llOffset * wipe.nStep / kStepOne + wipe.nBase);
}

BOOL DkIsWipeRunning(const uint8_t* pHandle)
{
    if (!TRYBOOL(pHandle != nullptr) || !IsOwnedBy(pHandle))
        return FALSE;
    const DK_WIPE& wipe = gaWipes[*pHandle];
    const int64_t llEnd =
        static_cast<int64_t>(wipe.uLength) + (wipe.uLinger ? DK_WIPE_LINGER_FRAMES : 0);
    return wipe.uCounter < llEnd ? TRUE : FALSE;
}

void DkStopWipe(const uint8_t* pHandle)
{
    if (TRYBOOL(pHandle != nullptr) && IsOwnedBy(pHandle))
        FreeSlot(gaWipes[*pHandle]);
}

void DkStopAllWipes(void)
{
    for (DK_WIPE& wipe : gaWipes)
        FreeSlot(wipe);
}

void DkSetWipesInstant(BOOL boInstant)
{
    gboWipesInstant = boInstant;
}

BOOL SyncFadeToPalette(const DK_PALETTE_ENTRY* pTarget, int nSpeed)
{
    const char* const pszAssert = "ASSERT macro used! Please use TRYBOOL in future";
    IDirectDraw2* lpDD2 = d2d != nullptr ? d2d->lpDD2 : nullptr;
    IDirectDrawPalette* lpDDPal = d2d != nullptr ? d2d->lpDDPal : nullptr;
    if (lpDD2 == nullptr)
        DKREPORT(pszAssert);
    if (lpDDPal == nullptr)
        DKREPORT(pszAssert);
    if (pTarget == nullptr)
        DKREPORT(pszAssert);
    // Without any of them there is nothing to wait on, read or fade to.
    if (lpDD2 == nullptr || lpDDPal == nullptr || pTarget == nullptr)
        return FALSE;

    DK_PALETTE_ENTRY aCurrent[256];
    if (lpDDPal->GetEntries(0, 0, 256, reinterpret_cast<PALETTEENTRY*>(aCurrent)) != DD_OK)
        return FALSE;

    const int nStep = 1 << std::clamp(nSpeed, 0, 6);
    DK_PALETTE_ENTRY aFaded[256];
    std::copy(std::begin(aCurrent), std::end(aCurrent), std::begin(aFaded));
    // The last pass (t = 0) writes the target exactly.
    for (int t = 256; t >= 0; t -= nStep)
    {
        lpDD2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
        auto mix = [t](int nTarget, int nCurrent)
        { return static_cast<uint8_t>(nTarget + (((nCurrent - nTarget) * t) >> 8)); };
        for (int i = 0; i < 256; ++i)
        {
            aFaded[i].red = mix(pTarget[i].red, aCurrent[i].red);
            aFaded[i].green = mix(pTarget[i].green, aCurrent[i].green);
            aFaded[i].blue = mix(pTarget[i].blue, aCurrent[i].blue);
        }
        lpDDPal->SetEntries(0, 0, 256, reinterpret_cast<const PALETTEENTRY*>(aFaded));
    }
    DkLog("SyncFadeToPalette() done");
    return TRUE;
}
