// The shared prompt and the byte-swap routine. The prompt prints through a recorder here, so
// that what it prints, where, and with which font and colour can be read back.

#include "engine/pc/display/dk_prompt.h"

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "engine/pc/core/dk_timer.h"

namespace
{

struct Print
{
    int32_t x, y;
    std::string text;
    DK_FONT* font;
    DK_SURFACE* surface;
    const uint8_t* colour;
    int justification;
};
std::vector<Print> gPrints;

// The fonts module's printing, as the prompt sees it: each print is recorded and reports a
// width of 0x1000 for every character.
int32_t RecordPrint(int32_t xX, int32_t xY, const char* pszString, DK_FONT* pFont,
                    DK_SURFACE* pSurface, const uint8_t* pColour, int nJustification)
{
    std::string text = pszString != nullptr ? pszString : "";
    // Printing takes a while, as real printing does, so that ticks fall due in the middle.
    volatile unsigned sink = 0;
    for (unsigned i = 0; i < 50000; ++i)
        sink = sink + i;
    gPrints.push_back({xX, xY, text, pFont, pSurface, pColour, nJustification});
    gxTextWidestLine = static_cast<int32_t>(text.size()) * 0x1000;
    return xY + 0x1000;
}

constexpr uint32_t kUp = DK_MENU_INPUT_4;
constexpr uint32_t kDown = DK_MENU_INPUT_8;
constexpr uint32_t kAccept = DK_MENU_INPUT_ACCEPT;
constexpr uint32_t kBack = DK_MENU_INPUT_BACK;

DK_FONT gTitleFont, gChoiceFont, gHardware6Font;
DK_FONT* gpTitleFont = &gTitleFont;
DK_FONT* gpChoiceFont = &gChoiceFont;
DK_FONT* gpHardware6Font = &gHardware6Font;
const uint8_t kTitleColour[4] = {1, 2, 3, 4};
const uint8_t kNormalColour[4] = {5, 6, 7, 8};
const uint8_t kHighlightColour[4] = {9, 10, 11, 12};

std::vector<std::string> gFeedback;
void OnOpened(DK_MENU*, DK_MENU_ITEM* pItem, int32_t n)
{
    gFeedback.push_back(std::string("opened ") + pItem->pszText + " " + std::to_string(n));
}
void OnWentBack(DK_MENU*, DK_MENU_ITEM* pItem, int32_t n)
{
    gFeedback.push_back(std::string("went back ") + pItem->pszText + " " + std::to_string(n));
}
void OnMoved(DK_MENU*, DK_MENU_ITEM* pItem, int32_t n)
{
    gFeedback.push_back(std::string("moved ") + pItem->pszText + " " + std::to_string(n));
}
const DK_MENU_FEEDBACK kFeedback = {OnMoved, nullptr, OnOpened, OnWentBack};

DK_PROMPT_BOX Description(int32_t nFirstByDefault)
{
    DK_PROMPT_BOX box = {};
    box.xTitleX = 0x8000;
    box.xTitleY = 0x4000;
    box.pszTitle = "Quit the stage?";
    box.nTitleId = -1;
    box.nTitleJustification = 0x22;
    box.xFirstX = 0x6000;
    box.xFirstY = 0x8000;
    box.pszFirst = "Yes";
    box.nFirstId = -1;
    box.nFirstJustification = 0x02;
    box.xSecondX = 0xA000;
    box.xSecondY = 0x8000;
    box.pszSecond = "No";
    box.nSecondId = -1;
    box.nSecondJustification = 0x03;
    box.ppTitleFont = &gpTitleFont;
    box.ppChoiceFont = &gpChoiceFont;
    box.ppHardware6ChoiceFont = &gpHardware6Font;
    box.pTitleColour = kTitleColour;
    box.pNormalColour = kNormalColour;
    box.pHighlightColour = kHighlightColour;
    box.pFeedback = &kFeedback;
    box.nFirstByDefault = nFirstByDefault;
    return box;
}

class DkPromptBoxTest : public testing::Test
{
protected:
    void SetUp() override
    {
        DkMenu_Reset();
        DkPromptBox_SetPrinter(RecordPrint);
        gPrints.clear();
        gFeedback.clear();
    }
    void TearDown() override
    {
        DkPromptBox_SetPrinter(nullptr);
        DkSetHardwareType(0);
        DkMenu_Reset();
    }
};

// First of the suite, as no prompt has been opened yet.
TEST_F(DkPromptBoxTest, BeforeAPromptIsOpenedNothingIsDrawnOrChosen)
{
    EXPECT_EQ(DkPromptBox_Render(), 0);
    EXPECT_TRUE(gPrints.empty());
    EXPECT_EQ(DkPromptBox_Process(kAccept), 0);
    EXPECT_EQ(DkPromptBox_Process(kDown | kBack), 0);
}

TEST_F(DkPromptBoxTest, EitherChoiceIsTakenByAcceptAndBackTakesNone)
{
    struct Case
    {
        const char* what;
        int32_t firstByDefault;
        std::vector<uint32_t> flags;
        std::vector<int> processed;
        int first;
        std::vector<std::string> feedback;
    };
    const Case cases[] = {
        {"the first by default, accepted at once", 5, {kAccept}, {1}, 1, {"opened Yes 1"}},
        {"the second by default, accepted at once", 0, {kAccept}, {1}, 0, {"opened No 1"}},
        {"down to the second", 1, {kDown, kAccept}, {0, 1}, 0, {"moved No 1", "opened No 1"}},
        {"up to the first", 0, {kUp, kAccept}, {0, 1}, 1, {"moved Yes 1", "opened Yes 1"}},
        {"the selection stops at the second", 0, {kDown}, {0}, 0, {"moved No 0"}},
        {"back chooses nothing and keeps the choice",
         0,
         {kBack, kBack},
         {0, 0},
         0,
         {"went back No 1", "went back No 1"}},
        {"and so does nothing at all", 1, {0}, {0}, 1, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DK_PROMPT_BOX box = Description(c.firstByDefault);
        DkPromptBox_Open(&box);
        gFeedback.clear();
        std::vector<int> processed;
        for (uint32_t uFlags : c.flags)
            processed.push_back(DkPromptBox_Process(uFlags));
        EXPECT_EQ(processed, c.processed);
        EXPECT_EQ(DkPromptBox_IsFirstChoice(), c.first);
        EXPECT_EQ(gFeedback, c.feedback);
    }
}

TEST_F(DkPromptBoxTest, BothChoicesAreSubmenuItemsWithTheMarker)
{
    // The prompt's menu is the one the feedback is given.
    static DK_MENU* pPromptMenu = nullptr;
    static const DK_MENU_FEEDBACK kCatch = {
        nullptr, nullptr, [](DK_MENU* pMenu, DK_MENU_ITEM*, int32_t) { pPromptMenu = pMenu; },
        nullptr};
    DK_PROMPT_BOX box = Description(1);
    box.pFeedback = &kCatch;
    DkPromptBox_Open(&box);
    ASSERT_EQ(DkPromptBox_Process(kAccept), 1);
    ASSERT_NE(pPromptMenu, nullptr);

    EXPECT_EQ(reinterpret_cast<intptr_t>(DK_PROMPT_CHOSEN), -2);
    EXPECT_EQ(pPromptMenu->nItemCount, 2);
    for (const DK_MENU_ITEM& item : {pPromptMenu->aItems[0], pPromptMenu->aItems[1]})
    {
        EXPECT_EQ(item.nType, DK_MENU_ITEM_SUBMENU);
        EXPECT_EQ(item.pSubmenu, DK_PROMPT_CHOSEN);
    }
    EXPECT_EQ(pPromptMenu->pParent, nullptr);
    EXPECT_EQ(pPromptMenu->pfnDraw, DkPromptBox_Draw);
    EXPECT_EQ(DkMenu_HandleInput(pPromptMenu, kDown | kAccept), DK_PROMPT_CHOSEN);
    EXPECT_EQ(DkPromptBox_IsFirstChoice(), 0);
    EXPECT_EQ(DkMenu_HandleInput(pPromptMenu, kBack), nullptr);
}

TEST_F(DkPromptBoxTest, RenderPrintsTheTitleThenBothChoicesAndReturnsTheWidest)
{
    struct Case
    {
        const char* what;
        int hardwareType;
        int32_t firstByDefault;
        DK_FONT* firstFont;
        const uint8_t* firstColour;
        DK_FONT* secondFont;
        const uint8_t* secondColour;
    };
    const Case cases[] = {
        {"first highlighted", 0, 1, &gChoiceFont, kHighlightColour, &gChoiceFont, kNormalColour},
        {"second highlighted", 2, 0, &gChoiceFont, kNormalColour, &gChoiceFont, kHighlightColour},
        {"hardware 6: the other choice in its own font", 6, 1, &gChoiceFont, kHighlightColour,
         &gHardware6Font, kNormalColour},
        {"hardware 6, second highlighted", 6, 0, &gHardware6Font, kNormalColour, &gChoiceFont,
         kHighlightColour},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DkSetHardwareType(c.hardwareType);
        DK_PROMPT_BOX box = Description(c.firstByDefault);
        DkPromptBox_Open(&box);
        gPrints.clear();
        EXPECT_EQ(DkPromptBox_Render(), 15 * 0x1000) << "the title is the widest line";
        ASSERT_EQ(gPrints.size(), 3u);
        const Print& title = gPrints[0];
        EXPECT_EQ(title.text, "Quit the stage?");
        EXPECT_EQ(title.x, 0x8000);
        EXPECT_EQ(title.y, 0x4000);
        EXPECT_EQ(title.font, &gTitleFont);
        EXPECT_EQ(title.colour, kTitleColour);
        EXPECT_EQ(title.justification, 0x22);
        EXPECT_EQ(title.surface, &d2d->BackSurface);
        const Print& first = gPrints[1];
        EXPECT_EQ(first.text, "Yes");
        EXPECT_EQ(first.x, 0x6000);
        EXPECT_EQ(first.justification, 0x02);
        EXPECT_EQ(first.font, c.firstFont);
        EXPECT_EQ(first.colour, c.firstColour);
        const Print& second = gPrints[2];
        EXPECT_EQ(second.text, "No");
        EXPECT_EQ(second.x, 0xA000);
        EXPECT_EQ(second.justification, 0x03);
        EXPECT_EQ(second.font, c.secondFont);
        EXPECT_EQ(second.colour, c.secondColour);
    }

    // A choice wider than the title sets the width.
    DK_PROMPT_BOX box = Description(1);
    box.pszSecond = "Not now, thank you";
    DkPromptBox_Open(&box);
    EXPECT_EQ(DkPromptBox_Render(), 18 * 0x1000);
    // Moving the highlight is seen by the next drawing.
    DkPromptBox_Process(kDown);
    gPrints.clear();
    DkPromptBox_Render();
    ASSERT_EQ(gPrints.size(), 3u);
    EXPECT_EQ(gPrints[1].colour, kNormalColour);
    EXPECT_EQ(gPrints[2].colour, kHighlightColour);
}

TEST_F(DkPromptBoxTest, TextsComeFromTheirIds)
{
    // Without a language table every id gives the fixed stand-in text.
    DK_PROMPT_BOX box = Description(1);
    box.nFirstId = 3;
    testing::internal::CaptureStderr();
    DkPromptBox_Open(&box);
    testing::internal::GetCapturedStderr();
    DkPromptBox_Render();
    ASSERT_EQ(gPrints.size(), 3u);
    EXPECT_EQ(gPrints[0].text, "Quit the stage?");
    EXPECT_EQ(gPrints[1].text, "INVALID TEXT STRING");
    EXPECT_EQ(gPrints[2].text, "No");
}

// A game tick on the timer thread opens one prompt after another and drives it while this
// thread draws: every drawing shows one whole prompt, never the title of one with the choices
// of the other.
DK_PROMPT_BOX gQuitBox, gRetryBox;
std::atomic<int> gnPromptTicks{0};

int PromptTick()
{
    int n = gnPromptTicks++;
    DkPromptBox_Open(n % 2 == 0 ? &gRetryBox : &gQuitBox);
    DkPromptBox_Process(n % 3 == 0 ? kDown : kUp);
    return 0;
}

TEST_F(DkPromptBoxTest, APromptOpenedOnTheTimerThreadIsNeverDrawnHalfBuilt)
{
    gQuitBox = Description(1);
    gRetryBox = Description(0);
    gRetryBox.pszTitle = "Retry the stage from its start?";
    gRetryBox.pszFirst = "Again";
    gRetryBox.pszSecond = "Leave";
    DkPromptBox_Open(&gQuitBox);
    gnPromptTicks = 0;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(DkStartTimerProcedure(5, PromptTick, 200));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int bad = 0;
    while (gnPromptTicks < 200 && std::chrono::steady_clock::now() < deadline)
    {
        gPrints.clear();
        DkPromptBox_Render();
        std::string seen;
        for (const Print& print : gPrints)
            seen += print.text + "|";
        if (seen != "Quit the stage?|Yes|No|" &&
            seen != "Retry the stage from its start?|Again|Leave|")
            ++bad;
    }
    DkStopTimerProcedure();
    DkCallAllDestructors();
    testing::internal::GetCapturedStderr();
    EXPECT_GE(gnPromptTicks, 200);
    EXPECT_EQ(bad, 0);
}

TEST(DkSwapBytesTest, ExchangesTheFirstBytesOnly)
{
    struct Case
    {
        int32_t length;
        std::string a, b; // after the swap
    };
    const Case cases[] = {
        {0, "abcdef", "UVWXYZ"}, {-3, "abcdef", "UVWXYZ"}, {1, "Ubcdef", "aVWXYZ"},
        {4, "UVWXef", "abcdYZ"}, {6, "UVWXYZ", "abcdef"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.length);
        // Guard bytes after the six show that nothing past the length is touched.
        char a[8] = "abcdef!";
        char b[8] = "UVWXYZ?";
        DkSwapBytes(a, b, c.length);
        EXPECT_EQ(std::string(a, 6), c.a);
        EXPECT_EQ(std::string(b, 6), c.b);
        EXPECT_EQ(a[6], '!');
        EXPECT_EQ(b[6], '?');
    }
    // A record swapped with itself stays as it was.
    char same[4] = "abc";
    DkSwapBytes(same, same, 3);
    EXPECT_STREQ(same, "abc");
}

} // namespace
