#include "engine/pc/display/dk_pal.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pc/display/2dinit.h"
#include "platform/ddraw/ddraw.h"
#include "tests/support/engine_test.h"

namespace
{

class WipeTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        DkSetWipesInstant(FALSE);
        DkStopAllWipes();
    }
    void TearDown() override
    {
        DkSetWipesInstant(FALSE);
        DkStopAllWipes();
        LoggedTest::TearDown();
    }
};

std::vector<int32_t> Steps(uint8_t uHandle, size_t uCount)
{
    std::vector<int32_t> values;
    for (size_t i = 0; i < uCount; ++i)
        values.push_back(DkStepWipe(uHandle));
    return values;
}

struct WipeCase
{
    const char* name;
    int type;
    int frames;
    int delay;
    int32_t from;
    int32_t to;
    BOOL linger;
    std::vector<int32_t> values;
    // DkIsWipeRunning is true before this many steps and false from then on.
    size_t runningSteps;
};

TEST_F(WipeTest, EachCurveReturnsItsSequenceAndStopsRunningOnTime)
{
    const std::vector<int32_t> bounceDown = {97,  94, 94, 97, 100, 98,  96, 96, 98,
                                             100, 99, 98, 98, 99,  100, 99, 100};
    auto cat = [](std::vector<int32_t> a, const std::vector<int32_t>& b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const WipeCase cases[] = {
        {"linear", DKWIPE_LINEAR, 4, 0, 0, 100, FALSE, {0, 25, 50, 100, 100}, 4},
        // Truncation toward zero on a falling wipe.
        {"linear down", DKWIPE_LINEAR, 6, 0, 100, 0, FALSE, {100, 84, 67, 51, 34, 0, 0}, 6},
        {"accelerating", DKWIPE_ACCELERATE, 4, 0, 0, 100, FALSE, {0, 10, 30, 100, 100}, 4},
        {"decelerating", DKWIPE_DECELERATE, 4, 0, 0, 100, FALSE, {0, 40, 70, 100, 100}, 4},
        {"linear bounce", DKWIPE_LINEAR_BOUNCE, 2, 0, 0, 100, FALSE,
         cat(cat({0, 50, 100}, bounceDown), {100, 100, 100}), 19},
        {"linear bounce, lingering", DKWIPE_LINEAR_BOUNCE, 2, 0, 0, 100, TRUE,
         cat(cat({0, 50, 100}, bounceDown), {100, 100, 100}), 22},
        // A positive step bounces the other way, still back towards the from side.
        {"linear bounce down",
         DKWIPE_LINEAR_BOUNCE,
         2,
         0,
         100,
         0,
         FALSE,
         {100, 50, 0, 3, 6, 6, 3, 0, 2, 4, 4, 2, 0, 1, 2, 2, 1, 0, 1, 0, 0},
         19},
        // Freed when the counter reaches the length, one step before the last table entry.
        {"decelerating bounce",
         DKWIPE_DECELERATE_BOUNCE,
         2,
         0,
         0,
         100,
         FALSE,
         {1, 67, 100, 97, 94, 94, 97, 100, 98, 96, 96, 98, 100, 99, 98, 98, 99, 100, 100, 100},
         19},
        // Freeing the slot ends it even with linger set.
        {"decelerating bounce, lingering",
         DKWIPE_DECELERATE_BOUNCE,
         2,
         0,
         0,
         100,
         TRUE,
         {1, 67, 100, 97, 94, 94, 97, 100, 98, 96, 96, 98, 100, 99, 98, 98, 99, 100, 100, 100},
         19},
        {"linear, lingering", DKWIPE_LINEAR, 4, 0, 0, 100, TRUE, {0, 25, 50, 100, 100}, 4},
        {"delay of 3", DKWIPE_LINEAR, 4, 3, 10, 50, FALSE, {10, 10, 10, 10, 20, 30, 50, 50}, 7},
        // No frames: nothing to divide by, the end value at once.
        {"0 frames, linear", DKWIPE_LINEAR, 0, 0, 10, 50, FALSE, {50, 50}, 0},
        {"0 frames, linear bounce", DKWIPE_LINEAR_BOUNCE, 0, 0, 10, 50, FALSE, {50, 50, 50}, 0},
        {"0 frames, decelerating, delay 2",
         DKWIPE_DECELERATE,
         0,
         2,
         10,
         50,
         FALSE,
         {10, 10, 50},
         0},
        {"0 frames, accelerating", DKWIPE_ACCELERATE, 0, 0, 10, 50, FALSE, {50, 50}, 0},
        {"0 frames, decelerating bounce",
         DKWIPE_DECELERATE_BOUNCE,
         0,
         0,
         10,
         50,
         FALSE,
         {50, 50},
         0},
    };
    for (const WipeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        DkStopAllWipes();
        uint8_t uHandle = 0xFF;
        DkStartWipe(&uHandle, c.type, c.frames, c.delay, c.from, c.to, c.linger);
        ASSERT_EQ(uHandle, 0);
        std::vector<int32_t> values;
        for (size_t i = 0; i < c.values.size(); ++i)
        {
            EXPECT_EQ(DkIsWipeRunning(&uHandle), i < c.runningSteps ? TRUE : FALSE) << "step " << i;
            values.push_back(DkStepWipe(uHandle));
        }
        EXPECT_EQ(values, c.values);
        EXPECT_FALSE(DkIsWipeRunning(&uHandle));
    }
}

TEST_F(WipeTest, AHandleNeverHoldsTwoSlots)
{
    uint8_t a = 0xFF;
    uint8_t b = 0xFF;
    DkStartWipe(&a, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
    DkStartWipe(&a, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
    DkStartWipe(&b, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);

    // A stale byte naming a slot someone else owns neither stops nor frees it.
    DkStopWipe(&a);
    EXPECT_FALSE(DkIsWipeRunning(&a));
    uint8_t c = 0xFF;
    DkStartWipe(&c, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
    ASSERT_EQ(c, 0);
    DkStopWipe(&a);
    DkStartWipe(&a, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
    EXPECT_EQ(a, 2);
    EXPECT_TRUE(DkIsWipeRunning(&c));
    EXPECT_TRUE(DkIsWipeRunning(&b));

    DkStopAllWipes();
    for (const uint8_t* p : {&a, &b, &c})
        EXPECT_FALSE(DkIsWipeRunning(p));
    uint8_t d = 0xFF;
    DkStartWipe(&d, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
    EXPECT_EQ(d, 0);
}

TEST_F(WipeTest, WithAllSlotsBusySlotZeroIsTakenOver)
{
    uint8_t auHandles[DK_MAX_WIPES + 1];
    for (int i = 0; i < DK_MAX_WIPES; ++i)
    {
        DkStartWipe(&auHandles[i], DKWIPE_LINEAR, 100, 0, 0, 1000, FALSE);
        ASSERT_EQ(auHandles[i], i);
    }
    uint8_t& uLate = auHandles[DK_MAX_WIPES];
    uLate = 0xFF;
    DkStartWipe(&uLate, DKWIPE_LINEAR, 2, 0, 500, 700, FALSE);

    EXPECT_EQ(uLate, 0);
    EXPECT_TRUE(DkIsWipeRunning(&uLate));
    EXPECT_FALSE(DkIsWipeRunning(&auHandles[0]));
    EXPECT_TRUE(DkIsWipeRunning(&auHandles[1]));
    EXPECT_EQ(Steps(0, 3), (std::vector<int32_t>{500, 700, 700}));
}

TEST_F(WipeTest, AnInvalidTypeIsLoggedAndStartsNothing)
{
    for (int nType : {7, DKWIPE_FREE, -1})
    {
        SCOPED_TRACE(nType);
        DkStopAllWipes();
        uint8_t uBusy = 0xFF;
        uint8_t uHandle = 0xFF;
        DkStartWipe(&uBusy, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
        DkStartWipe(&uHandle, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
        ASSERT_EQ(uHandle, 1);

        DkStartWipe(&uHandle, nType, 10, 0, 0, 100, FALSE);

        // The handle's old wipe is gone and its byte names the free slot it would have used.
        EXPECT_EQ(uHandle, 1);
        EXPECT_FALSE(DkIsWipeRunning(&uHandle));
        uint8_t uNext = 0xFF;
        DkStartWipe(&uNext, DKWIPE_LINEAR, 10, 0, 0, 100, FALSE);
        EXPECT_EQ(uNext, 1);
        EXPECT_TRUE(DkIsWipeRunning(&uBusy));
    }
    const std::string log = Log();
    for (const char* line :
         {"Invalid wipe type = 7\n", "Invalid wipe type = 5\n", "Invalid wipe type = -1\n"})
        EXPECT_EQ(CountOf(log, line), 1) << line;
}

TEST_F(WipeTest, TheInstantSwitchHoldsNewWipesAtTheirEndValue)
{
    uint8_t uBefore = 0xFF;
    DkStartWipe(&uBefore, DKWIPE_LINEAR, 4, 0, 0, 100, FALSE);
    DkSetWipesInstant(TRUE);

    for (int nType : {DKWIPE_LINEAR, DKWIPE_DECELERATE, DKWIPE_ACCELERATE})
    {
        SCOPED_TRACE(nType);
        uint8_t uHandle = 0xFF;
        // Delay and linger are dropped too.
        DkStartWipe(&uHandle, nType, 4, 3, 0, 100, TRUE);
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_TRUE(DkIsWipeRunning(&uHandle));
            EXPECT_EQ(DkStepWipe(uHandle), 100) << "step " << i;
        }
        EXPECT_FALSE(DkIsWipeRunning(&uHandle));
    }

    // A wipe started before the switch moves as it would have.
    EXPECT_EQ(Steps(uBefore, 4), (std::vector<int32_t>{0, 25, 50, 100}));

    DkSetWipesInstant(FALSE);
    uint8_t uAfter = 0xFF;
    DkStartWipe(&uAfter, DKWIPE_LINEAR, 4, 1, 0, 100, FALSE);
    EXPECT_EQ(Steps(uAfter, 5), (std::vector<int32_t>{0, 0, 25, 50, 100}));
}

TEST_F(WipeTest, AHandleByteOutsideTheSlotsFindsNoWipe)
{
    uint8_t uHandle = DK_MAX_WIPES;
    EXPECT_FALSE(DkIsWipeRunning(&uHandle));
    DkStopWipe(&uHandle);
    int32_t nValue = -1;
    const std::string out = CaptureOutput([&] { nValue = DkStepWipe(uHandle); });
    EXPECT_EQ(nValue, 0);
    EXPECT_EQ(CountReports(out), 1);
}

const char kAssertUsed[] = "ASSERT macro used! Please use TRYBOOL in future";

// A DirectDraw object and an 8-bit palette in the display record, put back afterwards.
class FadeTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        savedDD2 = d2d->lpDD2;
        savedPal = d2d->lpDDPal;
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        for (int i = 0; i < 256; ++i)
            start[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i),
                        static_cast<BYTE>(i * 7 % 256), 0};
        ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, start, &pal, nullptr), DD_OK);
        d2d->lpDD2 = dd;
        d2d->lpDDPal = pal;
        for (int i = 0; i < 256; ++i)
            target[i] = {static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2),
                         static_cast<uint8_t>(i % 3 * 100), 0};
    }
    void TearDown() override
    {
        d2d->lpDD2 = savedDD2;
        d2d->lpDDPal = savedPal;
        if (pal != nullptr)
            pal->Release();
        if (dd != nullptr)
            dd->Release();
        LoggedTest::TearDown();
    }
    std::vector<PALETTEENTRY> Current()
    {
        std::vector<PALETTEENTRY> entries(256);
        EXPECT_EQ(pal->GetEntries(0, 0, 256, entries.data()), DD_OK);
        return entries;
    }
    static bool Same(const std::vector<PALETTEENTRY>& a, const PALETTEENTRY* b)
    {
        for (int i = 0; i < 256; ++i)
            if (a[i].peRed != b[i].peRed || a[i].peGreen != b[i].peGreen ||
                a[i].peBlue != b[i].peBlue)
                return false;
        return true;
    }

    IDirectDraw2* savedDD2 = nullptr;
    IDirectDrawPalette* savedPal = nullptr;
    LPDIRECTDRAW dd = nullptr;
    LPDIRECTDRAWPALETTE pal = nullptr;
    PALETTEENTRY start[256];
    DK_PALETTE_ENTRY target[256];
};

TEST_F(FadeTest, TheDisplayPaletteEndsExactlyAtTheTarget)
{
    EXPECT_TRUE(SyncFadeToPalette(target, 6));
    EXPECT_TRUE(Same(Current(), reinterpret_cast<const PALETTEENTRY*>(target)));
    EXPECT_EQ(CountOf(Log(), "SyncFadeToPalette() done"), 1);
}

TEST_F(FadeTest, MissingObjectsAreReportedAndNothingIsFaded)
{
    struct Case
    {
        const char* name;
        bool noDD;
        bool noPalette;
        bool noTarget;
        int reports;
    };
    const Case cases[] = {
        {"no DirectDraw object", true, false, false, 1},
        {"no display palette", false, true, false, 1},
        {"no target", false, false, true, 1},
        {"none of them", true, true, true, 3},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        d2d->lpDD2 = c.noDD ? nullptr : dd;
        d2d->lpDDPal = c.noPalette ? nullptr : pal;
        BOOL boResult = TRUE;
        const std::string out =
            CaptureOutput([&] { boResult = SyncFadeToPalette(c.noTarget ? nullptr : target, 6); });
        EXPECT_FALSE(boResult);
        EXPECT_EQ(CountReports(out), c.reports);
        EXPECT_EQ(CountOf(out, std::string("\n\n") + kAssertUsed + "\n\n"), c.reports);
        EXPECT_TRUE(Same(Current(), start));
    }
}

} // namespace
