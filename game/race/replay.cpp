#include "game/race/replay.h"

#include <cstdio>

#include "engine/common/destruct.h"
#include "engine/include/dk_services.h"

namespace
{
// The sizes of a car's snapshot and of a control frame in a replay file.
constexpr int kGameStateSaveSize = 86508;
constexpr int kFrameStateSaveSize = 4;

ReplayHeader* gapRecorders[REPLAY_SLOTS] = {};
int gnNumRecorders = 0;
int gnNumLoadedReplays = 0;
int gnCreateCalls = 0;
int gnLastCreateFrames = 0;
int gnLoadCalls = 0;
char gszLastLoadPath[260] = "";

void EmptySlots()
{
    for (int n = 0; n < REPLAY_SLOTS; ++n)
        gapRecorders[n] = gapLoadedReplays[n] = nullptr;
    gnNumRecorders = gnNumLoadedReplays = 0;
}

BOOL Replay_Destructor(void)
{
    // The blocks live on the heap that is being reset.
    EmptySlots();
    return TRUE;
}
} // namespace

ReplayHeader* gapLoadedReplays[REPLAY_SLOTS] = {};

void Replay_UpdateAll(void) {}

void Replay_StepAllPlaybacks(void) {}

void Replay_ResetGhostFlags(void)
{
}

void Replay_Init(void)
{
    DkAddDestructor(Replay_Destructor, "Replay destructor");
    DkLog(DkFormatString("\nSize of REPLAY_GAME_STATESAVE: %d bytes", kGameStateSaveSize));
    DkLog(DkFormatString("Size of REPLAY_FRAME_STATESAVE %d bytes\n", kFrameStateSaveSize));
    EmptySlots();
    gnCreateCalls = gnLoadCalls = 0;
    gnLastCreateFrames = 0;
    gszLastLoadPath[0] = '\0';
}

ReplayHeader* Replay_Create(int, int nFrames)
{
    ++gnCreateCalls;
    gnLastCreateFrames = nFrames;
    return nullptr;
}

ReplayHeader* Replay_LoadFile(const char* pszPath)
{
    ++gnLoadCalls;
    std::snprintf(gszLastLoadPath, sizeof gszLastLoadPath, "%s", pszPath != nullptr ? pszPath : "");
    return nullptr;
}

int Replay_GetCreateCallsForTests(void)
{
    return gnCreateCalls;
}

int Replay_GetLastCreateFramesForTests(void)
{
    return gnLastCreateFrames;
}

int Replay_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

const char* Replay_GetLastLoadPathForTests(void)
{
    return gszLastLoadPath;
}

ReplayHeader* gpreplSuperCPU = nullptr;
uint16_t gnSuperCPUStartFrame = 0;

namespace
{
BOOL gaboHasRecorder[2] = {};
BOOL gaboRecordingStarts[2] = {};
int gnRecordingStarts = 0;
int gnPlaybackStarts = 0;
int gnPlaybackStops = 0;
} // namespace

BOOL Replay_HasRecorder(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < 2 ? gaboHasRecorder[nPlayer] : FALSE;
}

BOOL Replay_StartRecording(int nPlayer)
{
    if (!Replay_HasRecorder(nPlayer))
        return FALSE;
    ++gnRecordingStarts;
    return gaboRecordingStarts[nPlayer];
}

ReplayHeader* Replay_GetPlayerSlot(int)
{
    return nullptr;
}

ReplayHeader* Replay_GetPodiumSlot(int)
{
    return nullptr;
}

void Replay_StartPlayback(ReplayHeader* pReplay, int32_t, int, int)
{
    if (pReplay != nullptr)
        ++gnPlaybackStarts;
}

void Replay_StopPlayback(ReplayHeader* pReplay)
{
    if (pReplay != nullptr)
        ++gnPlaybackStops;
}

BOOL Replay_IsPlaying(const ReplayHeader*)
{
    return FALSE;
}

BOOL Replay_HasPlayed(const ReplayHeader*)
{
    return FALSE;
}

void PlayDonutReplay(void) {}

void Replay_SetRecorderForTests(int nPlayer, BOOL boHasRecorder, BOOL boStarts)
{
    if (nPlayer < 0 || nPlayer >= 2)
        return;
    gaboHasRecorder[nPlayer] = boHasRecorder;
    gaboRecordingStarts[nPlayer] = boStarts;
}

int Replay_GetRecordingStartsForTests(void)
{
    return gnRecordingStarts;
}

int Replay_GetPlaybackStartsForTests(void)
{
    return gnPlaybackStarts;
}

int Replay_GetPlaybackStopsForTests(void)
{
    return gnPlaybackStops;
}

void Replay_ResetFlowForTests(void)
{
    for (int p = 0; p < 2; ++p)
        gaboHasRecorder[p] = gaboRecordingStarts[p] = FALSE;
    gnRecordingStarts = gnPlaybackStarts = gnPlaybackStops = 0;
    gpreplSuperCPU = nullptr;
    gnSuperCPUStartFrame = 0;
}
