#include "game/race/splttime.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "engine/pc/sound/dk_qsnd.h"
#include "game/hud/catseye.h"
#include "game/hud/osd.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"

int16_t gaSplitsPassed[8];
int32_t gnLastSplitTime = 0;
int32_t gnLastSplitState = -1;
int32_t gboFinishReached = 0;
int32_t gaPlayerFinishTime[SPLIT_PLAYERS];
int32_t gaSplitTimeTable[SPLIT_PLAYERS][SPLIT_TIMES];
DK_FONT* gapTimeFont[2] = {};

namespace
{

enum
{
    kSlower,
    kFaster,
    kEqual
};
constexpr int kCueDown = 0;
constexpr int kCueUp = 1;
constexpr int kSampleRate = 11025;
constexpr int kChannelVolume = 7000;
constexpr int kPlayVolume = 11250;
// The time-display option: two bits of the graphics option byte.
constexpr int kGraphicsOptions = 8;
constexpr int kTimeDisplayShift = 3;
constexpr int kSplitLineRise = 24;
constexpr int32_t kOne = 1 << 16;
// The sign colours: slower, faster, equal.
constexpr uint8_t kColours[3][3] = {{255, 72, 72}, {72, 255, 72}, {255, 255, 255}};
constexpr const char* kSigns[3] = {"+", "-", ""};

int32_t gxClock = 0;
int gnAdvanceCalls = 0;
int32_t gxLastAdvance = 0;

int32_t gaxStart[SPLIT_PLAYERS] = {};
BOOL gaboRunning[SPLIT_PLAYERS] = {};
int32_t ganCounter[SPLIT_PLAYERS] = {};
int32_t ganLastSplitShown[SPLIT_PLAYERS] = {};
int ganState[SPLIT_PLAYERS] = {kEqual, kEqual};
char gaszText[SPLIT_PLAYERS][SPLIT_TEXT_SIZE] = {};
char gaszLine[SPLIT_PLAYERS][SPLIT_TEXT_SIZE] = {};
uint8_t gaauColour[SPLIT_PLAYERS][4] = {};
int64_t gnLastDifference = 0;
BOOL gboSplitsEnabled = FALSE;

// The frame's copies of what the tick writes, each player's time and split index (taken by
// SplitTime_TakeFrame inside the display's critical section); and the split whose display has
// ended, cleared from the tick's record at the next copy unless another split came meanwhile.
constexpr int16_t kNoSplit = -1;
int32_t ganFrameTime[SPLIT_PLAYERS] = {};
int16_t ganFrameSplit[SPLIT_PLAYERS] = {kNoSplit, kNoSplit};
BOOL gaboSplitEnded[SPLIT_PLAYERS] = {};
int16_t ganEndedSplit[SPLIT_PLAYERS] = {kNoSplit, kNoSplit};
// The split whose display runs (taken on its first frame).
int16_t ganShownSplit[SPLIT_PLAYERS] = {kNoSplit, kNoSplit};

void ClearFrame()
{
    for (int p = 0; p < SPLIT_PLAYERS; ++p)
    {
        ganFrameTime[p] = 0;
        ganFrameSplit[p] = kNoSplit;
        gaboSplitEnded[p] = FALSE;
        ganEndedSplit[p] = kNoSplit;
        ganShownSplit[p] = kNoSplit;
    }
}

// The display of the player's split is over: none in this frame, and none in the tick's record
// from the next copy on.
void EndSplit(int p, int nIndex)
{
    ganCounter[p] = 0;
    ganFrameSplit[p] = kNoSplit;
    gaboSplitEnded[p] = TRUE;
    ganEndedSplit[p] = static_cast<int16_t>(nIndex);
}

int gnFirstWave = -1;
int gnChannel = -1;
int gnCues = 0;
int gnLastCue = -1;

bool ValidPlayer(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < SPLIT_PLAYERS;
}

// "mm:ss.hh" of a time in hundredths.
void FormatTime(char* pszOut, size_t uSize, const char* pszSign, int64_t nHundredths)
{
    std::snprintf(pszOut, uSize, "%s%02d:%02d.%02d", pszSign, static_cast<int>(nHundredths / 6000),
                  static_cast<int>(nHundredths / 100 % 60), static_cast<int>(nHundredths % 100));
}

void PlayCue(int nCue)
{
    ++gnCues;
    gnLastCue = nCue;
    if (gnFirstWave < 0)
        return;
    DkSetQChannelVolume(gnChannel, kPlayVolume);
    DkPlayQSample(gnFirstWave + nCue, gnChannel, 0);
}

// The split's first tick: its time taken, compared with the reference, its cue, sign, colour
// and text.
void TakeSplit(int p, int nIndex, int32_t nTime)
{
    gaSplitTimeTable[p][nIndex] = nTime;
    ganLastSplitShown[p] = nTime;
    const uint32_t uReference = gaBestSplitTimes[nIndex];
    uint32_t uDifference = 0;
    const BOOL boFaster =
        SplitTime_Difference(&uDifference, static_cast<uint32_t>(nTime), uReference);
    const int nState = boFaster ? kFaster : uDifference == 0 ? kEqual : kSlower;
    ganState[p] = nState;
    if (nIndex != 0 && nState != kEqual)
        PlayCue(nState == kFaster ? kCueUp : kCueDown);
    std::memcpy(gaauColour[p], kColours[nState], 3);
    if (gboSplitsEnabled)
    {
        FormatTime(gaszText[p], SPLIT_TEXT_SIZE, kSigns[nState], uDifference);
        const int64_t nSigned = static_cast<int64_t>(nTime) - uReference;
        Osd_SetSplitMark(nIndex, nSigned <= gnLastDifference ? TRUE : FALSE, p);
        gnLastDifference = nIndex == 0 ? 0 : nSigned;
    }
    else
        FormatTime(gaszText[p], SPLIT_TEXT_SIZE, kSigns[nState], nTime);
    std::snprintf(gaszLine[p], SPLIT_TEXT_SIZE, "%s",
                  uReference == NO_SPLIT_REFERENCE ? "00:00.00" : gaszText[p]);
}

// Where the split's difference line is drawn, as fractions of the screen.
void DifferencePosition(int p, int32_t* pxX, int32_t* pxY)
{
    if (gNumberOfPlayers != 2)
    {
        *pxX = kOne / 2;
        *pxY = 4260; // 0.065
    }
    else if (gboSplitHorizontal)
    {
        *pxX = kOne / 2;
        *pxY = p == 0 ? 4260 : 37028; // 0.065, 0.565
    }
    else
    {
        *pxX = p == 0 ? kOne / 4 : 3 * kOne / 4;
        *pxY = 17367; // 0.265
    }
}

void Print(int nX, int nY, const char* pszText, const uint8_t* pColour)
{
    if (d2d != nullptr && gapTimeFont[0] != nullptr)
        DkPrintText(nX, nY, pszText, gapTimeFont[0], &d2d->BackSurface, pColour, 0);
}

} // namespace

void StageTimer_Start(int nPlayer)
{
    if (!ValidPlayer(nPlayer))
        return;
    if (gaboRunning[nPlayer])
    {
        DkLog("\n ATTEMPTED TO START TIMER, BUT IT WAS ALREADY RUNNING");
        return;
    }
    gaxStart[nPlayer] = gxClock;
    gaboRunning[nPlayer] = TRUE;
}

void StageTimer_Stop(int nPlayer)
{
    if (ValidPlayer(nPlayer))
        gaboRunning[nPlayer] = FALSE;
}

BOOL StageTimer_IsRunning(int nPlayer)
{
    return ValidPlayer(nPlayer) && gaboRunning[nPlayer] ? TRUE : FALSE;
}

void StageTimer_ResetAll(void)
{
    gxClock = 0;
    for (int p = 0; p < SPLIT_PLAYERS; ++p)
    {
        gaxStart[p] = 0;
        gaboRunning[p] = FALSE;
    }
}

void StageTimer_Advance(int32_t xSeconds)
{
    ++gnAdvanceCalls;
    gxLastAdvance = xSeconds;
    if (gxClock < STAGE_CLOCK_LIMIT)
        gxClock += xSeconds;
}

int32_t StageTimer_GetSeconds(int nPlayer)
{
    if (!StageTimer_IsRunning(nPlayer))
        return 0;
    return (gxClock - gaxStart[nPlayer]) >> 16;
}

int32_t StageTimer_GetHundredths(int nPlayer)
{
    if (!StageTimer_IsRunning(nPlayer))
        return 0;
    const int32_t xElapsed = gxClock - gaxStart[nPlayer];
    return (xElapsed >> 16) * 100 + (((xElapsed & 0xFFFF) * 100) >> 16);
}

void SplitTime_Reset(void)
{
    for (int p = 0; p < SPLIT_PLAYERS; ++p)
    {
        gaSplitsPassed[p] = -1;
        gaboRunning[p] = FALSE;
        ganCounter[p] = 0;
    }
    gnLastDifference = 0;
    ClearFrame();
}

void SplitTime_TakeFrame(void)
{
    for (int p = 0; p < SPLIT_PLAYERS; ++p)
    {
        if (gaboSplitEnded[p] && gaSplitsPassed[p] == ganEndedSplit[p])
            gaSplitsPassed[p] = kNoSplit;
        gaboSplitEnded[p] = FALSE;
        ganFrameTime[p] = StageTimer_GetHundredths(p);
        ganFrameSplit[p] = gaSplitsPassed[p];
    }
}

const char* SplitTime_GetFontPath(int nWidth)
{
    switch (nWidth)
    {
        case 320:
            return "fonts\\320x240\\timenum.fon";
        case 512:
            return "fonts\\512x384\\timenum.fon";
        case 800:
            return "fonts\\800x600\\timenum.fon";
        default:
            return "fonts\\640x480\\timenum.fon";
    }
}

void SplitTime_LoadFont(void)
{
    const char* pszPath = SplitTime_GetFontPath(d2d != nullptr ? d2d->nWidth : 640);
    void* pData = DkMallocLoadFile(pszPath, DKLF_HARDDRIVE);
    DK_FONT* pFont = pData != nullptr ? DkCreateFont(pData, DkGetLastFileSize(), 0) : nullptr;
    if (pData != nullptr)
        DkHeapFree(pData);
    if (pFont == nullptr)
        DKREPORT(DkFormatString("Error creating font, from file %s", pszPath));
    gapTimeFont[0] = gapTimeFont[1] = pFont;
}

void SplitTime_EnableSplits(const char*)
{
    gboSplitsEnabled = TRUE;
}

BOOL SplitTime_Difference(uint32_t* pOut, uint32_t uA, uint32_t uB)
{
    if (pOut != nullptr)
        *pOut = uA > uB ? uA - uB : uB - uA;
    return uA < uB ? TRUE : FALSE;
}

void SplitTime_GetClockPosition(int nPlayer, int nWidth, int nHeight, int* pnX, int* pnY)
{
    if (gNumberOfPlayers != 2)
    {
        *pnX = nWidth * 28 / 640;
        *pnY = nHeight * 428 / 480;
    }
    else if (gboSplitHorizontal)
    {
        *pnX = nWidth * 28 / 640;
        *pnY = nHeight * (nPlayer == 1 ? 428 : 194) / 480;
    }
    else
    {
        *pnX = nWidth * 22 / 640 + (nPlayer == 1 ? nWidth / 2 : 0);
        *pnY = nHeight * 70 / 480;
    }
}

void SplitTime_Draw(int nPlayer, BOOL boShowSplit, BOOL boAdvance)
{
    if (!ValidPlayer(nPlayer))
        return;
    const int p = nPlayer;
    int nX = 0, nY = 0;
    if (d2d != nullptr)
        SplitTime_GetClockPosition(p, d2d->nWidth, d2d->nHeight, &nX, &nY);
    const int32_t nTime = ganFrameTime[p];
    if (((GameData_GetByte(kGraphicsOptions) >> kTimeDisplayShift) & 3) != 0)
    {
        char szClock[SPLIT_TEXT_SIZE];
        FormatTime(szClock, sizeof szClock, "", nTime);
        Print(nX, nY, szClock, nullptr);
    }

    const int nIndex = ganFrameSplit[p];
    if (DkEntries().IsRallySchool() || !boShowSplit || nIndex < 0)
        return;
    // The index comes from the checkpoint records: a stage with more split points than the
    // table holds shows none of the extra ones.
    if (nIndex >= SPLIT_TIMES)
    {
        TRYBOOL_MSG(FALSE, "The split index is beyond the split table");
        EndSplit(p, nIndex);
        return;
    }
    const int32_t nCounter = ganCounter[p];
    if (nCounter == 0)
    {
        ganShownSplit[p] = static_cast<int16_t>(nIndex);
        TakeSplit(p, nIndex, nTime);
    }
    gaauColour[p][3] =
        static_cast<uint8_t>(nCounter < SPLIT_FADE_TICK ? 255 : 1205 - nCounter * 10);

    char szSplit[SPLIT_TEXT_SIZE];
    FormatTime(szSplit, sizeof szSplit, "", gaSplitTimeTable[p][nIndex]);
    Print(nX, nY - kSplitLineRise, szSplit, gaauColour[p]);
    int32_t xX = 0, xY = 0;
    DifferencePosition(p, &xX, &xY);
    if (d2d != nullptr && gapTimeFont[0] != nullptr)
        DkPrintTextScaled(xX, xY, gaszLine[p], gapTimeFont[0], &d2d->BackSurface, gaauColour[p],
                          DKJ_CENTRE);

    if (boAdvance)
    {
        if (++ganCounter[p] >= SPLIT_DISPLAY_TICKS)
            EndSplit(p, ganShownSplit[p]);
    }
}

void SplitTime_RecordFinish(void)
{
    for (int p = 0; p < SPLIT_PLAYERS; ++p)
        if (!HasPlayerFinished(p))
            gaPlayerFinishTime[p] = StageTimer_GetHundredths(p);
}

void SplitTime_LoadSounds(void)
{
    gnChannel = DkGetNumQChannels();
    DkOpenQChannel(gnChannel);
    gnFirstWave = DkGetNumQSamples();
    const char* pszRoot = DkGetCDPath() != nullptr ? DkGetCDPath() : "";
    for (const char* pszName : {"DOWN.WAV", "UP.WAV"})
        DkLoadQSample(DkFormatString("%ssounds\\%s", pszRoot, pszName), kSampleRate, 16, 0);
    if (DkGetNumQSamples() < gnFirstWave + 2)
        gnFirstWave = -1;
    DkSetQChannelVolume(gnChannel, kChannelVolume);
}

void SplitTime_InitStage(void)
{
    SplitTime_Reset();
    SplitTime_EnableSplits(nullptr);
}

int32_t StageTimer_GetClockForTests(void)
{
    return gxClock;
}

int StageTimer_GetAdvanceCallsForTests(void)
{
    return gnAdvanceCalls;
}

int32_t StageTimer_GetLastAdvanceForTests(void)
{
    return gxLastAdvance;
}

void StageTimer_ResetForTests(void)
{
    StageTimer_ResetAll();
    gnAdvanceCalls = 0;
    gxLastAdvance = 0;
    for (int16_t& nPassed : gaSplitsPassed)
        nPassed = 0;
    ClearFrame();
    gnLastSplitTime = 0;
    gnLastSplitState = -1;
    gboFinishReached = 0;
    for (int p = 0; p < SPLIT_PLAYERS; ++p)
    {
        ganCounter[p] = 0;
        ganLastSplitShown[p] = 0;
        ganState[p] = kEqual;
        gaszText[p][0] = gaszLine[p][0] = '\0';
        gaPlayerFinishTime[p] = 0;
        for (int32_t& nTime : gaSplitTimeTable[p])
            nTime = 0;
    }
    gnLastDifference = 0;
    gboSplitsEnabled = FALSE;
    gnFirstWave = gnChannel = -1;
    gnCues = 0;
    gnLastCue = -1;
    for (uint32_t& uTime : gaBestSplitTimes)
        uTime = NO_SPLIT_REFERENCE;
}

SplitTimeView SplitTime_GetViewForTests(int nPlayer)
{
    SplitTimeView view{};
    if (!ValidPlayer(nPlayer))
        return view;
    std::memcpy(view.szText, gaszLine[nPlayer], SPLIT_TEXT_SIZE);
    std::memcpy(view.auColour, gaauColour[nPlayer], 4);
    view.nState = ganState[nPlayer];
    view.nCounter = ganCounter[nPlayer];
    return view;
}

int SplitTime_GetCuesForTests(void)
{
    return gnCues;
}

int SplitTime_GetLastCueForTests(void)
{
    return gnLastCue;
}

BOOL SplitTime_GetSplitsEnabledForTests(void)
{
    return gboSplitsEnabled;
}
