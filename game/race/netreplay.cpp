#include "game/race/netreplay.h"

#include <algorithm>

#include "engine/include/dk_ff.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "game/race/replay.h"

namespace
{

constexpr int32_t kQuarter = DK_FIXED_ONE / 4;
// Two samples farther apart than this on any axis are a jump (a car put back on the road), not
// a slide.
constexpr int64_t kJumpDistance = 20 * static_cast<int64_t>(DK_FIXED_ONE);
// BlendMatrices' mode that blends the forward and up rows.
constexpr int kBlendForwardAndUp = 1;

struct NetReplayStore
{
    NetCarSample aaSamples[NETREPLAY_CARS][NETREPLAY_SAMPLES];
    int nSamples; // taken since the recording started
    int nIndex;   // the next sample playback places
    int nPhase;   // the tick within the four of a sample, 0..3
};
NetReplayStore gStore = {};

int16_t EncodeRowComponent(int32_t xValue)
{
    return static_cast<int16_t>(std::clamp(xValue / 2, -NETREPLAY_ROW_LIMIT, NETREPLAY_ROW_LIMIT));
}

void EncodeRow(int16_t anOut[3], const DK_VECTOR& v)
{
    anOut[0] = EncodeRowComponent(v.x);
    anOut[1] = EncodeRowComponent(v.y);
    anOut[2] = EncodeRowComponent(v.z);
}

DK_VECTOR DecodeRow(const int16_t anRow[3])
{
    return {anRow[0] * 2, anRow[1] * 2, anRow[2] * 2};
}

bool FarApart(const DK_VECTOR& a, const DK_VECTOR& b)
{
    const auto far = [](int32_t p, int32_t q)
    {
        const int64_t d = static_cast<int64_t>(p) - q;
        return d > kJumpDistance || d < -kJumpDistance;
    };
    return far(a.x, b.x) || far(a.y, b.y) || far(a.z, b.z);
}

DK_VECTOR SamplePosition(const NetCarSample& sample)
{
    return {sample.x, sample.y, sample.z};
}

DK_MATRIX Decoded(int nSlot, int nIndex)
{
    DK_MATRIX m;
    NetReplay_DecodeSample(&m, &gStore.aaSamples[nSlot][nIndex]);
    return m;
}

void AdvancePhase(void)
{
    gStore.nPhase = (gStore.nPhase + 1) & 3;
}

// The tick that starts a sample: the previous tick matrix onto the sample, the current one too
// when the car stands more than a jump away from it.
void PlaceOnSample(int nSlot, int nIndex)
{
    DK_MATRIX* pPair = gaSnapCarMatrix[nSlot + 1];
    const DK_MATRIX sample = Decoded(nSlot, nIndex);
    FfMatCopyTo(&pPair[SNAP_PREVIOUS], &sample);
    DK_VECTOR current, target;
    FfMatGetPosition(&current, &pPair[SNAP_CURRENT]);
    FfMatGetPosition(&target, &sample);
    if (nIndex > 0 && FarApart(current, target))
        FfMatCopyTo(&pPair[SNAP_CURRENT], &sample);
}

// The three ticks between two samples: the current tick matrix on their blend by phase / 4,
// both matrices on the later sample when the car jumped between them.
void MoveBetweenSamples(int nSlot, int nIndex, int nPhase)
{
    DK_MATRIX* pPair = gaSnapCarMatrix[nSlot + 1];
    const NetCarSample& from = gStore.aaSamples[nSlot][nIndex - 1];
    const NetCarSample& to = gStore.aaSamples[nSlot][nIndex];
    const DK_MATRIX target = Decoded(nSlot, nIndex);
    if (FarApart(SamplePosition(from), SamplePosition(to)))
    {
        FfMatCopyTo(&pPair[SNAP_PREVIOUS], &target);
        FfMatCopyTo(&pPair[SNAP_CURRENT], &target);
        return;
    }
    const DK_MATRIX origin = Decoded(nSlot, nIndex - 1);
    const int32_t xWeight = nPhase * kQuarter;
    BlendMatrices(&pPair[SNAP_CURRENT], &origin, &target, xWeight, xWeight, 0, kBlendForwardAndUp);
}

} // namespace

NetCarSample NetReplay_EncodeSample(const DK_MATRIX* pMatrix)
{
    NetCarSample sample;
    DK_VECTOR v;
    FfMatGetPosition(&v, pMatrix);
    sample.x = v.x;
    sample.y = v.y;
    sample.z = v.z;
    FfMatGetRow1(&v, pMatrix);
    EncodeRow(sample.anUp, v);
    FfMatGetRow2(&v, pMatrix);
    EncodeRow(sample.anForward, v);
    return sample;
}

void NetReplay_DecodeSample(DK_MATRIX* pOut, const NetCarSample* pSample)
{
    const DK_VECTOR up = DecodeRow(pSample->anUp);
    const DK_VECTOR forward = DecodeRow(pSample->anForward);
    const DK_VECTOR position = SamplePosition(*pSample);
    DK_VECTOR side;
    FfVecCross(&side, &up, &forward);
    DkIdentityMatrix(pOut);
    FfMatSetRow0(&side, pOut);
    FfMatSetRow1(&up, pOut);
    FfMatSetRow2(&forward, pOut);
    FfMatSetPosition(&position, pOut);
}

void NetReplay_Record(void)
{
    if (!gboNetworkGame || !Replay_IsAnyRecording())
        return;
    if (gStore.nPhase == 0 && gStore.nSamples < NETREPLAY_SAMPLES)
    {
        for (int s = 0; s < NETREPLAY_CARS; ++s)
            if (GameData_IsRemotePlayerActive(s))
                gStore.aaSamples[s][gStore.nSamples] =
                    NetReplay_EncodeSample(&gaSnapCarMatrix[s + 1][SNAP_CURRENT]);
        ++gStore.nSamples;
    }
    AdvancePhase();
}

void NetReplay_Play(void)
{
    if (!gboNetworkGame || !Replay_IsAnyPlaying())
        return;
    // Only samples that were taken are read: the last one places the cars, and nothing moves
    // them after it.
    const int nIndex = gStore.nIndex;
    if (gStore.nPhase == 0)
    {
        if (nIndex < gStore.nSamples)
        {
            for (int s = 0; s < NETREPLAY_CARS; ++s)
                if (GameData_IsRemotePlayerActive(s))
                    PlaceOnSample(s, nIndex);
            ++gStore.nIndex;
        }
    }
    else if (nIndex > 0 && nIndex < gStore.nSamples)
    {
        for (int s = 0; s < NETREPLAY_CARS; ++s)
            if (GameData_IsRemotePlayerActive(s))
                MoveBetweenSamples(s, nIndex, gStore.nPhase);
    }
    AdvancePhase();
}

void NetReplay_ResetRecording(void)
{
    gStore.nSamples = 0;
    gStore.nIndex = 0;
    gStore.nPhase = 0;
}

void NetReplay_ResetPlayback(void)
{
    gStore.nIndex = 0;
    gStore.nPhase = 0;
}

int NetReplay_GetSampleCount(void)
{
    return gStore.nSamples;
}

int NetReplay_GetPlaybackIndex(void)
{
    return gStore.nIndex;
}

int NetReplay_GetPhase(void)
{
    return gStore.nPhase;
}

const NetCarSample* NetReplay_GetSample(int nSlot, int nIndex)
{
    if (nSlot < 0 || nSlot >= NETREPLAY_CARS || nIndex < 0 || nIndex >= NETREPLAY_SAMPLES)
        return nullptr;
    return &gStore.aaSamples[nSlot][nIndex];
}
