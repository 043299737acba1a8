#include "engine/pc/core/dk_qtime.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/time/time.h"
#include "tests/support/engine_test.h"

namespace
{

// About ten milliseconds of the performance counter instead of the measured second.
const uint32_t kShortMeasure = DK_PERFORMANCE_FREQUENCY / 100;

class QuickTimeTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        DkSetClockMeasureCounts(kShortMeasure);
        CaptureOutput([] { DkCallAllDestructors(); });
        QuickTime_Init();
    }
    void TearDown() override
    {
        CaptureOutput([] { DkCallAllDestructors(); });
        DkSetClockMeasureCounts(0);
        LoggedTest::TearDown();
    }
};

TEST_F(QuickTimeTest, TheMeasuringOverheadIsTakenOffEveryRun)
{
    struct Case
    {
        uint32_t raw;
        uint32_t recorded;
    };
    const Case cases[] = {{30, 0}, {34, 0}, {35, 0}, {36, 1}, {1035, 1000}, {0, 0}};
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
    {
        SCOPED_TRACE(cases[i].raw);
        std::string name = "run" + std::to_string(i);
        QuickTime_Start(name.c_str());
        ASSERT_TRUE(DkQuickTimeRecordRun(name.c_str(), cases[i].raw));
        const DK_QTIMER* slot = DkQuickTimeGetSlot(i);
        EXPECT_EQ(slot->uCount, 1u);
        EXPECT_EQ(slot->ullTotal, cases[i].recorded);
        EXPECT_EQ(slot->auFastest[0], cases[i].recorded);
        EXPECT_EQ(slot->auSlowest[0], cases[i].recorded);
    }
}

TEST_F(QuickTimeTest, ElevenRunsKeepTheTenShortestAndTheTenLongest)
{
    QuickTime_Start("physics");
    for (uint32_t run : {50u, 10u, 90u, 30u, 110u, 70u, 20u, 100u, 40u, 80u, 60u})
        DkQuickTimeRecordRun("physics", run + DK_QTIMER_OVERHEAD);

    const DK_QTIMER* slot = DkQuickTimeGetSlot(0);
    EXPECT_EQ(slot->uCount, 11u);
    EXPECT_EQ(slot->ullTotal, 660u);
    EXPECT_EQ(std::vector<uint32_t>(std::begin(slot->auFastest), std::end(slot->auFastest)),
              (std::vector<uint32_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(std::vector<uint32_t>(std::begin(slot->auSlowest), std::end(slot->auSlowest)),
              (std::vector<uint32_t>{110, 100, 90, 80, 70, 60, 50, 40, 30, 20}));
}

TEST_F(QuickTimeTest, SlotsAreNamedByTheFirst32CharactersWithCaseCounting)
{
    const std::string prefix(32, 'n');
    QuickTime_Start("Mechanics");
    QuickTime_Start("mechanics");
    QuickTime_Start((prefix + "-one").c_str());
    QuickTime_Start((prefix + "-two").c_str());

    EXPECT_STREQ(DkQuickTimeGetSlot(0)->szName, "Mechanics");
    EXPECT_STREQ(DkQuickTimeGetSlot(1)->szName, "mechanics");
    EXPECT_STREQ(DkQuickTimeGetSlot(2)->szName, prefix.c_str());
    EXPECT_FALSE(DkQuickTimeGetSlot(3)->boInUse);
}

TEST_F(QuickTimeTest, TheTwentyFirstNameIsRefusedAndTheOthersGoOn)
{
    for (int i = 0; i < MAX_QTIMERS; ++i)
        QuickTime_Start(("timer" + std::to_string(i)).c_str());

    std::string out = CaptureOutput(
        []
        {
            QuickTime_Start("one too many");
            EXPECT_FALSE(QuickTime_End("one too many"));
        });
    EXPECT_TRUE(Reported(out, "QuickTime_Start() : Too many timers added. Increase MAX_QTIMERS"))
        << out;
    EXPECT_TRUE(Reported(out, "QuickTime_End() : Couldn't match the name to an existing "
                              "timer\nCheck for case!"))
        << out;

    EXPECT_TRUE(QuickTime_End("timer19"));
    EXPECT_EQ(DkQuickTimeGetSlot(19)->uCount, 1u);
}

TEST_F(QuickTimeTest, MisuseIsReported)
{
    struct Case
    {
        const char* name;
        std::function<void()> call;
        const char* report;
    };
    const Case cases[] = {
        {"second init", [] { QuickTime_Init(); }, "Quick timer already inited"},
        {"end of an unknown name", [] { EXPECT_FALSE(QuickTime_End("Physics")); },
         "QuickTime_End() : Couldn't match the name to an existing timer\nCheck for case!"},
        {"start after the report",
         []
         {
             QuickTime_Destroy();
             QuickTime_Start("late");
         },
         "QuickTime_Start() : Quick timer not yet initialised"},
        {"end after the report", [] { QuickTime_End("late"); },
         "QuickTime_Start() : Quick timer not yet initialised"},
    };
    QuickTime_Start("physics");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string out = CaptureOutput(c.call);
        EXPECT_TRUE(Reported(out, c.report)) << out;
    }
}

TEST_F(QuickTimeTest, ABracketCountsOneRunOfTheCycleCounter)
{
    QuickTime_Start("loop");
    volatile int sink = 0;
    for (int i = 0; i < 10000; ++i)
        sink = sink + i;
    EXPECT_TRUE(QuickTime_End("loop"));

    const DK_QTIMER* slot = DkQuickTimeGetSlot(0);
    EXPECT_EQ(slot->uCount, 1u);
    EXPECT_GT(slot->ullTotal, 0u);
    EXPECT_EQ(slot->auFastest[0], slot->ullTotal);
    EXPECT_EQ(slot->auFastest[1], 0xFFFFFFFFu);
}

TEST_F(QuickTimeTest, TheReportListsEveryNamedSlotThroughTheDestroyCallback)
{
    QuickTime_Start("never ended");
    QuickTime_Start("timed");
    DkQuickTimeRecordRun("timed", 1000 + DK_QTIMER_OVERHEAD);
    DkQuickTimeRecordRun("timed", 2000 + DK_QTIMER_OVERHEAD);

    CaptureOutput([] { DkCallAllDestructors(); });
    std::string log = Log();

    const std::string header = "\n--- QUICK-TIME REPORT ---\r\n";
    size_t at = log.find(header);
    ASSERT_NE(at, std::string::npos) << log;
    // The clock measured for the report is the line before it.
    size_t clockAt = log.rfind("PC Clock speed : ", at);
    ASSERT_NE(clockAt, std::string::npos) << log;
    unsigned long megahertz = 0;
    ASSERT_EQ(std::sscanf(log.c_str() + clockAt, "PC Clock speed : %luMHz", &megahertz), 1);
    unsigned long clock = megahertz * 1000000ul;
    char time[64];
    std::snprintf(time, sizeof time, "Time : 0.%09lus\n\r\n",
                  (1500ul * 1000000000ul + clock / 2) / clock);

    std::string expected = header + "never ended not timed (QUICKTIME_END() not called)\r\n" +
                           "Average Clock Ticks for 'timed' : 1500 cycles\r\n" + time +
                           "10 Fastest Clock Times:\r\n" + "\t\t0: 1000 cycles (500)\r\n" +
                           "\t\t1: 2000 cycles (-500)\r\n";
    for (int j = 2; j < 10; ++j)
        expected += "\t\t" + std::to_string(j) + ": 4294967295 cycles (1501)\r\n";
    expected += "10 Slowest Clock Times:\r\n\t\t0: 2000 cycles (-500)\r\n"
                "\t\t1: 1000 cycles (500)\r\n";
    for (int j = 2; j < 10; ++j)
        expected += "\t\t" + std::to_string(j) + ": 0 cycles (1500)\r\n";
    expected += std::string(37, '-') + "\r\n";
    EXPECT_EQ(log.substr(at, expected.size()), expected);
}

TEST(DkClockRateTest, WholeMegahertzOfOneSecondPlusOne)
{
    struct Case
    {
        uint64_t cycles;
        uint32_t counts;
        uint32_t frequency;
        uint32_t hz;
    };
    const uint32_t f = DK_PERFORMANCE_FREQUENCY;
    const Case cases[] = {
        {233400000, f, f, 234000000},
        {233000000, f, f, 234000000},
        {999999, f, f, 1000000},
        {0, f, f, 1000000},
        // A shorter span is scaled up to the second.
        {233400, 1000, 1000000, 234000000},
        {116700000, f / 2, f / 2 * 2, 234000000},
        // The rate stays within 32 bits.
        {4293999999ull, f, f, 4294000000u},
        {4294000000ull, f, f, 4294000000u},
        {10000000000ull, f, f, 4294000000u},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.cycles);
        EXPECT_EQ(DkClockRateFromCycles(c.cycles, c.counts, c.frequency), c.hz);
    }
}

TEST(DkClockRateTest, MulDivRoundsToTheNearestAndFailsWithMinusOne)
{
    struct Case
    {
        uint32_t number, numerator, denominator;
        int32_t result;
    };
    const Case cases[] = {
        {5, 1, 2, 3},
        {7, 1, 3, 2},
        {1500, 1000000000, 2100000000, 714},
        {1000, 1000000000, 3000000000u, 333},
        {2147483647, 1, 1, 2147483647},
        {2147483648u, 1, 1, -1},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 1, -1},
        {1, 1, 0, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.number << " " << c.numerator << " " << c.denominator);
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result);
    }
}

TEST(DkClockRateTest, TheMeasuredRateMatchesTheCycleCounterAndIsLogged)
{
    TestEnv env;

    // An independent estimate over a span of its own; only a gross error must show. Either
    // span can be stretched by a busy machine, so a disagreement is measured again a few
    // times before it counts.
    uint32_t hz = 0;
    double estimate = 0;
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        auto wallStart = std::chrono::steady_clock::now();
        uint64_t cyclesStart = DkReadCycleCounter();
        while (std::chrono::steady_clock::now() - wallStart < std::chrono::milliseconds(20))
        {
        }
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        estimate = static_cast<double>(DkReadCycleCounter() - cyclesStart) / seconds;

        ASSERT_TRUE(DkOpenLogFile("c:\\error.txt"));
        DkEnableLog();
        DkSetClockMeasureCounts(kShortMeasure);
        hz = DkMeasureCpuClock();
        DkSetClockMeasureCounts(0);
        DkCloseLogFile();
        DkDisableLog();
        if (hz > estimate / 2 && hz < estimate * 2 + 1000000)
            break;
    }

    EXPECT_EQ(hz % 1000000u, 0u);
    EXPECT_GT(hz, estimate / 2);
    EXPECT_LT(hz, estimate * 2 + 1000000);
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/error.txt"),
              "PC Clock speed : " + std::to_string(hz / 1000000u) + "MHz\r\n");
}

} // namespace
