// The network-car recorder. In a network game the remote players' cars are not driven by
// controls on this machine, so the control replay cannot reproduce them. While the local replay
// records, every fourth tick this module samples each present remote car's placement (its
// current tick matrix) into a store of 2,250 samples a car (9,000 ticks); while the replay plays
// back, it places the remote cars on those samples, blending the three ticks between two samples
// and jumping where a car moved more than 20.0 between them. In a local game it does nothing.
//
// Remote slot s (0..6) is car record s + 1 of the tick matrices (gaSnapCarMatrix).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

#define NETREPLAY_CARS 7
#define NETREPLAY_SAMPLES 2250
// Rows are stored as half their 16.16 value, within this bound.
#define NETREPLAY_ROW_LIMIT 32761

// One car's placement: the position as 16.16, the up (row 1) and forward (row 2) rows of the
// car matrix halved into 16 bits. The side row is rebuilt from the other two.
struct NetCarSample
{
    int32_t x;
    int32_t y;
    int32_t z;
    int16_t anUp[3];
    int16_t anForward[3];
};
static_assert(sizeof(NetCarSample) == 24);
static_assert(offsetof(NetCarSample, x) == 0);
static_assert(offsetof(NetCarSample, y) == 4);
static_assert(offsetof(NetCarSample, z) == 8);
static_assert(offsetof(NetCarSample, anUp) == 12);
static_assert(offsetof(NetCarSample, anForward) == 18);

// Each tick (the per-tick driver, network games only): take the samples while any recorder
// records; move the remote cars while any replay plays.
void NetReplay_Record(void);
void NetReplay_Play(void);
// The local replay starts recording: samples, playback index and phase back to 0.
void NetReplay_ResetRecording(void);
// The local replay starts playing: playback index and phase back to 0.
void NetReplay_ResetPlayback(void);

// A car matrix into a sample and back; decoding doubles the rows and sets the side row to
// up x forward.
NetCarSample NetReplay_EncodeSample(const DK_MATRIX* pMatrix);
void NetReplay_DecodeSample(DK_MATRIX* pOut, const NetCarSample* pSample);

// Test hooks: the counters, and remote slot s's sample k (NULL out of range).
int NetReplay_GetSampleCount(void);
int NetReplay_GetPlaybackIndex(void);
int NetReplay_GetPhase(void);
const NetCarSample* NetReplay_GetSample(int nSlot, int nIndex);
