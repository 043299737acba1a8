// The stage timer and the split-time display: the clock and the players' timers, the split
// line's comparison, text, colour, fade and cue, the clock's place on the screen, and the
// split cues loaded from the demo installation and played on the mixer.
#include "game/race/splttime.h"

#include <string>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/sound/dk_qsnd.h"
#include "game/hud/catseye.h"
#include "game/hud/osd.h"
#include "game/race/cameras.h"
#include "platform/qmix/qmix.h"
#include "tests/game/race_fixture.h"
#include "tools/datakit/install.h"

namespace
{

constexpr int32_t kOne = 1 << 16;

class SplitTimeTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        StageTimer_ResetForTests();
        Osd_ResetForTests();
        Cameras_ResetForTests();
        gNumberOfPlayers = 1;
        GameHandler_SetFinishedForTests(0, FALSE);
        GameHandler_SetFinishedForTests(1, FALSE);
    }
    void TearDown() override
    {
        StageTimer_ResetForTests();
        gNumberOfPlayers = 1;
        RaceTest::TearDown();
    }
    // Player p passes split nIndex with the timer at nHundredths.
    static void PassSplit(int p, int nIndex, int32_t nHundredths)
    {
        StageTimer_ResetAll();
        StageTimer_Start(p);
        StageTimer_Advance(nHundredths / 100 * kOne + (nHundredths % 100) * kOne / 100 + 1);
        ASSERT_EQ(StageTimer_GetHundredths(p), nHundredths);
        gaSplitsPassed[p] = static_cast<int16_t>(nIndex);
        // The frame's copy, as the display takes it.
        SplitTime_TakeFrame();
    }
};

// The clock runs up to one hour and stays there.
TEST_F(SplitTimeTest, TheClockStopsAtOneHour)
{
    StageTimer_Advance(STAGE_CLOCK_LIMIT - 1);
    StageTimer_Advance(kOne);
    EXPECT_EQ(StageTimer_GetClockForTests(), STAGE_CLOCK_LIMIT - 1 + kOne);
    StageTimer_Advance(kOne);
    EXPECT_EQ(StageTimer_GetClockForTests(), STAGE_CLOCK_LIMIT - 1 + kOne);
}

// Elapsed time by the clock's distance from the start: whole seconds, and hundredths from the
// seconds and the fraction.
TEST_F(SplitTimeTest, ElapsedTimeInSecondsAndHundredths)
{
    struct Case
    {
        int32_t xStart, xClock;
        int32_t nSeconds, nHundredths;
    };
    const Case aCases[] = {
        {0, 0, 0, 0},
        {0, kOne, 1, 100},
        {0, kOne + kOne / 2, 1, 150},
        {0, 0xFFFF, 0, 99},
        {5 * kOne, 5 * kOne + 0x18000, 1, 150},
        {0, STAGE_CLOCK_LIMIT, 3600, 360000},
        {kOne / 4, 61 * kOne, 60, 6075},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.xClock);
        StageTimer_ResetAll();
        StageTimer_Advance(c.xStart);
        StageTimer_Start(0);
        StageTimer_Advance(c.xClock - c.xStart);
        EXPECT_EQ(StageTimer_GetSeconds(0), c.nSeconds);
        EXPECT_EQ(StageTimer_GetHundredths(0), c.nHundredths);
        EXPECT_EQ(StageTimer_GetHundredths(1), 0) << "player 1's timer was never started";
    }
}

// A stopped timer reads 0; starting a running one keeps its start and says so.
TEST_F(SplitTimeTest, StopReadsZeroAndASecondStartKeepsTheFirst)
{
    StageTimer_Start(0);
    StageTimer_Advance(2 * kOne);
    StageTimer_Start(0);
    StageTimer_Advance(kOne);
    EXPECT_EQ(StageTimer_GetHundredths(0), 300);
    EXPECT_NE(TakeLog().find("\n ATTEMPTED TO START TIMER, BUT IT WAS ALREADY RUNNING"),
              std::string::npos);
    StageTimer_Stop(0);
    EXPECT_FALSE(StageTimer_IsRunning(0));
    EXPECT_EQ(StageTimer_GetHundredths(0), 0);
    EXPECT_EQ(StageTimer_GetSeconds(0), 0);
    EXPECT_EQ(StageTimer_GetHundredths(7), 0);
}

// The final time follows the timer until the player has finished.
TEST_F(SplitTimeTest, TheFinalTimeStopsAtTheFinish)
{
    StageTimer_Start(0);
    StageTimer_Start(1);
    StageTimer_Advance(kOne);
    SplitTime_RecordFinish();
    GameHandler_SetFinishedForTests(0, TRUE);
    StageTimer_Advance(kOne);
    SplitTime_RecordFinish();
    EXPECT_EQ(gaPlayerFinishTime[0], 100);
    EXPECT_EQ(gaPlayerFinishTime[1], 200);
}

// A split line against its reference: sign, text, state and cue; split 0 is silent.
TEST_F(SplitTimeTest, ASplitComparesWithItsReference)
{
    struct Case
    {
        const char* pszName;
        int nIndex;
        int32_t nTime;
        uint32_t uReference;
        bool boSplits;
        const char* pszText;
        int nState;
        int nCue; // -1 none
    };
    const Case aCases[] = {
        {"faster", 3, 900, 1000, true, "-00:01.00", 1, 1},
        {"slower", 3, 7123, 1000, true, "+01:01.23", 0, 0},
        {"equal", 3, 1000, 1000, true, "00:00.00", 2, -1},
        {"split 0 is silent", 0, 900, 1000, true, "-00:01.00", 1, -1},
        {"no reference", 3, 900, NO_SPLIT_REFERENCE, true, "00:00.00", 1, 1},
        {"splits off: the time itself", 3, 900, 1000, false, "-00:09.00", 1, 1},
        {"the finish", 8, 12000, 11000, true, "+00:10.00", 0, 0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        if (c.boSplits)
            SplitTime_InitStage();
        gaBestSplitTimes[c.nIndex] = c.uReference;
        PassSplit(0, c.nIndex, c.nTime);
        SplitTime_Draw(0, TRUE, TRUE);
        const SplitTimeView view = SplitTime_GetViewForTests(0);
        EXPECT_STREQ(view.szText, c.pszText);
        EXPECT_EQ(view.nState, c.nState);
        EXPECT_EQ(SplitTime_GetLastCueForTests(), c.nCue);
        EXPECT_EQ(SplitTime_GetCuesForTests(), c.nCue < 0 ? 0 : 1);
        EXPECT_EQ(gaSplitTimeTable[0][c.nIndex], c.nTime);
        EXPECT_EQ(Osd_GetSplitMarkCallsForTests(), c.boSplits ? 1 : 0);
    }
}

// The split line shows for 120 ticks: full alpha to tick 95, then 245 at 96 down to 15 at
// 119; then the split is gone. Its time is taken on the first tick only.
TEST_F(SplitTimeTest, ASplitShowsFor120TicksAndFades)
{
    SplitTime_InitStage();
    gaBestSplitTimes[2] = 5000;
    PassSplit(1, 2, 4000);
    for (int t = 0; t < SPLIT_DISPLAY_TICKS; ++t)
    {
        SplitTime_Draw(1, TRUE, TRUE);
        const uint8_t uAlpha = SplitTime_GetViewForTests(1).auColour[3];
        const int nExpected = t < SPLIT_FADE_TICK ? 255 : 1205 - 10 * t;
        ASSERT_EQ(uAlpha, nExpected) << "tick " << t;
        StageTimer_Advance(kOne);
    }
    EXPECT_EQ(SplitTime_GetViewForTests(1).auColour[3], 15);
    // The split leaves the tick's record with the next frame's copy.
    EXPECT_EQ(gaSplitsPassed[1], 2);
    SplitTime_TakeFrame();
    EXPECT_EQ(gaSplitsPassed[1], -1);
    EXPECT_EQ(SplitTime_GetViewForTests(1).nCounter, 0);
    EXPECT_EQ(gaSplitTimeTable[1][2], 4000);
    EXPECT_EQ(SplitTime_GetCuesForTests(), 1);
    // Without advancing (the pause) the display stands still.
    PassSplit(1, 3, 100);
    SplitTime_Draw(1, TRUE, FALSE);
    SplitTime_Draw(1, TRUE, FALSE);
    EXPECT_EQ(SplitTime_GetViewForTests(1).nCounter, 0);
    EXPECT_EQ(SplitTime_GetCuesForTests(), 3);
}

// The display reads the frame's copy: a split the tick takes after the copy waits for the next
// frame, and a split passed while another is shown is not lost when that display ends.
TEST_F(SplitTimeTest, TheDisplayReadsTheFramesCopy)
{
    SplitTime_InitStage();
    gaBestSplitTimes[1] = 1000;
    gaBestSplitTimes[2] = 800;
    PassSplit(0, 1, 900);
    gaSplitsPassed[0] = 2; // the tick, after the frame's copy
    SplitTime_Draw(0, TRUE, TRUE);
    EXPECT_EQ(SplitTime_GetLastCueForTests(), 1) << "split 1, faster";
    EXPECT_EQ(SplitTime_GetCuesForTests(), 1);
    for (int t = 1; t < SPLIT_DISPLAY_TICKS; ++t)
    {
        SplitTime_TakeFrame();
        SplitTime_Draw(0, TRUE, TRUE);
    }
    SplitTime_TakeFrame();
    EXPECT_EQ(gaSplitsPassed[0], 2);
    SplitTime_Draw(0, TRUE, TRUE);
    EXPECT_EQ(SplitTime_GetLastCueForTests(), 0) << "split 2, slower, shown in its turn";
}

// The split marker says whether the difference is no worse than the last split's.
TEST_F(SplitTimeTest, TheSplitMarkerComparesWithTheLastDifference)
{
    SplitTime_InitStage();
    const struct
    {
        int nIndex;
        int32_t nTime;
        uint32_t uReference;
        BOOL boBetter;
    } aSplits[] = {{1, 1100, 1000, FALSE},
                   {2, 2050, 2000, TRUE},
                   {3, 3050, 3000, TRUE},
                   {4, 4060, 4000, FALSE}};
    for (const auto& s : aSplits)
    {
        gaBestSplitTimes[s.nIndex] = s.uReference;
        PassSplit(0, s.nIndex, s.nTime);
        for (int t = 0; t < SPLIT_DISPLAY_TICKS; ++t)
            SplitTime_Draw(0, TRUE, TRUE);
        const OsdSplitMark mark = Osd_GetLastSplitMarkForTests();
        EXPECT_EQ(mark.nSplit, s.nIndex);
        EXPECT_EQ(mark.boBetter, s.boBetter) << "split " << s.nIndex;
        EXPECT_EQ(mark.nPlayer, 0);
    }
}

// A split index beyond the nine-entry table (a checkpoint file with more split points) is
// reported and ends the display; nothing is written past the table.
TEST_F(SplitTimeTest, ASplitIndexBeyondTheTableIsRefused)
{
    SplitTime_InitStage();
    PassSplit(0, SPLIT_TIMES, 500);
    const int32_t nAfter = gaSplitTimeTable[1][0];
    const std::string out = CaptureOutput([] { SplitTime_Draw(0, TRUE, TRUE); });
    EXPECT_EQ(CountReports(out), 1);
    SplitTime_TakeFrame();
    EXPECT_EQ(gaSplitsPassed[0], -1);
    EXPECT_EQ(gaSplitTimeTable[1][0], nAfter);
    EXPECT_EQ(SplitTime_GetCuesForTests(), 0);
}

// No split line in the rally school, when not asked, or with no split.
TEST_F(SplitTimeTest, NoSplitLineInSchoolOrWhenNotAsked)
{
    SplitTime_InitStage();
    gaBestSplitTimes[1] = 1000;
    for (int nCase = 0; nCase < 3; ++nCase)
    {
        gboRaceSchool = nCase == 0 ? TRUE : FALSE;
        PassSplit(0, nCase == 2 ? -1 : 1, 900);
        SplitTime_Draw(0, nCase == 1 ? FALSE : TRUE, TRUE);
        EXPECT_EQ(SplitTime_GetCuesForTests(), 0) << nCase;
        EXPECT_EQ(Osd_GetSplitMarkCallsForTests(), 0) << nCase;
    }
}

// The new stage's split state: no split, timers stopped; the ".spl" row enables the
// differences.
TEST_F(SplitTimeTest, TheStageStartsWithNoSplitAndStoppedTimers)
{
    StageTimer_Start(0);
    gaSplitsPassed[0] = gaSplitsPassed[1] = 4;
    EXPECT_FALSE(SplitTime_GetSplitsEnabledForTests());
    SplitTime_InitStage();
    EXPECT_EQ(gaSplitsPassed[0], -1);
    EXPECT_EQ(gaSplitsPassed[1], -1);
    EXPECT_FALSE(StageTimer_IsRunning(0));
    EXPECT_TRUE(SplitTime_GetSplitsEnabledForTests());
}

TEST_F(SplitTimeTest, DifferenceIsUnsignedAndSaysWhichIsSmaller)
{
    uint32_t u = 7;
    EXPECT_TRUE(SplitTime_Difference(&u, 100, 250));
    EXPECT_EQ(u, 150u);
    EXPECT_FALSE(SplitTime_Difference(&u, 250, 100));
    EXPECT_EQ(u, 150u);
    EXPECT_FALSE(SplitTime_Difference(nullptr, 5, 5));
}

// The clock's place: one player, a stacked pair and a side-by-side pair.
TEST_F(SplitTimeTest, TheClockPositionByLayout)
{
    struct Case
    {
        const char* pszName;
        int nPlayers;
        BOOL boStacked;
        int nPlayer, nWidth, nHeight;
        int x, y;
    };
    const Case aCases[] = {
        {"one player", 1, FALSE, 0, 640, 480, 28, 428},
        {"one player, 320x240", 1, FALSE, 0, 320, 240, 14, 214},
        {"stacked, top", 2, TRUE, 0, 640, 480, 28, 194},
        {"stacked, bottom", 2, TRUE, 1, 640, 480, 28, 428},
        {"side by side, left", 2, FALSE, 0, 800, 600, 27, 87},
        {"side by side, right", 2, FALSE, 1, 800, 600, 427, 87},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        gNumberOfPlayers = c.nPlayers;
        gboSplitHorizontal = c.boStacked;
        int x = -1, y = -1;
        SplitTime_GetClockPosition(c.nPlayer, c.nWidth, c.nHeight, &x, &y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
    }
}

// The time font by screen width: each listed width its own folder, any other 640x480's.
TEST_F(SplitTimeTest, TheTimeFontFolderByWidth)
{
    const std::pair<int, const char*> aCases[] = {
        {320, "fonts\\320x240\\timenum.fon"},  {512, "fonts\\512x384\\timenum.fon"},
        {640, "fonts\\640x480\\timenum.fon"},  {800, "fonts\\800x600\\timenum.fon"},
        {1024, "fonts\\640x480\\timenum.fon"}, {400, "fonts\\640x480\\timenum.fon"}};
    for (const auto& [nWidth, pszPath] : aCases)
        EXPECT_STREQ(SplitTime_GetFontPath(nWidth), pszPath) << nWidth;
}

// The demo installation's cues, loaded from the game root and played on their own channel:
// "UP.WAV" for a faster split, "DOWN.WAV" for a slower one.
TEST_F(SplitTimeTest, TheInstalledCuesPlayOnTheMixer)
{
    QmixUseLoopbackForTests(TRUE);
    const datakit::InstallSummary install = datakit::InstallDemo(env.DriveC() + "/demo");
    DkSetCDPath((install.root / "disc" / "game").string().c_str());
    std::string out = CaptureOutput([] { DkInitQSound(); });
    ASSERT_TRUE(DkIsQSoundInitialised());
    const int nFirstWave = DkGetNumQSamples();
    const int nChannel = DkGetNumQChannels();
    out += CaptureOutput([] { SplitTime_LoadSounds(); });
    EXPECT_EQ(CountReports(out), 0) << out;
    ASSERT_EQ(DkGetNumQSamples(), nFirstWave + 2);
    EXPECT_EQ(DkGetQChannelVolume(nChannel), 7000);

    SplitTime_InitStage();
    gaBestSplitTimes[1] = 1000;
    gaBestSplitTimes[2] = 1000;
    PassSplit(0, 1, 900);
    SplitTime_Draw(0, TRUE, TRUE);
    EXPECT_EQ(DkGetQChannelSampleId(nChannel), nFirstWave + 1);
    EXPECT_EQ(DkGetQChannelVolume(nChannel), 11250);
    PassSplit(0, 2, 1200);
    gaSplitsPassed[0] = 2;
    SplitTime_Draw(0, TRUE, TRUE); // still split 1's display: no new cue
    for (int t = 1; t < SPLIT_DISPLAY_TICKS; ++t)
        SplitTime_Draw(0, TRUE, TRUE);
    // The next frame's copy clears the split shown; then the car passes split 2 again.
    SplitTime_TakeFrame();
    gaSplitsPassed[0] = 2;
    SplitTime_TakeFrame();
    SplitTime_Draw(0, TRUE, TRUE);
    EXPECT_EQ(DkGetQChannelSampleId(nChannel), nFirstWave);

    CaptureOutput([] { DkCallAllDestructors(); });
    QmixUseLoopbackForTests(FALSE);
    DkResetDataPathsForTests();
}

} // namespace
