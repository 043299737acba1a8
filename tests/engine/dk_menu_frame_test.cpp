// A drawn menu and a drawn prompt, each compared with its golden frame: the owner's callbacks
// print the texts with the menu's fonts and colours, after scripted input has moved the
// selection and changed a value.
#include <string>
#include <vector>

#include "engine/common/dk_menu.h"
#include "engine/pc/display/dk_font.h"
#include "engine/pc/display/dk_prompt.h"
#include "tests/engine/overlay_fixture.h"
#include "tools/datakit/image_writer.h"

namespace
{

const uint8_t kTitle[4] = {255, 210, 60, 255};
const uint8_t kNormal[4] = {170, 170, 190, 255};
const uint8_t kHighlight[4] = {80, 255, 120, 255};
const uint8_t kDisabled[4] = {90, 90, 100, 255};

class MenuFrameTest : public OverlayTest
{
protected:
    void SetUp() override
    {
        OverlayTest::SetUp();
        DkMenu_Reset();
        output += CaptureOutput(
            [&]
            {
                DkInitialiseFonts(2);
                small = Font({1, {255, 255, 255}, false});
                large = Font({2, {255, 255, 255}, true});
            });
        ASSERT_NE(small, nullptr) << output;
        ASSERT_NE(large, nullptr) << output;
    }
    void TearDown() override
    {
        DkMenu_Reset();
        OverlayTest::TearDown();
    }

    static DK_FONT* Font(const datakit::FontStyle& style)
    {
        const std::vector<uint8_t> file = datakit::FormatFont(style);
        return DkCreateFont(file.data(), static_cast<uint32_t>(file.size()), 0);
    }

    // The whole frame.
    void ExpectGoldenScreen(const std::string& name)
    {
        ExpectGoldenFrame(Back(), DEZOR_ENGINE_GOLDEN_DIR, name);
    }

    DK_FONT* small = nullptr;
    DK_FONT* large = nullptr;
};

// The owner's drawing: the title at the top, one line per item, the selected one in the
// highlight font and colour, a disabled one dimmed, a range with its value.
void DrawTitle(DK_MENU* pMenu)
{
    DkPrintTextScaled(0x8000, 0x1000, pMenu->pszTitle, pMenu->apFonts[0], &d2d->BackSurface,
                      pMenu->apColours[0], 0x02);
}

void DrawItem(DK_MENU* pMenu, DK_MENU_ITEM* pItem, BOOL boSelected)
{
    const int32_t nIndex = static_cast<int32_t>(pItem - pMenu->aItems);
    std::string text = pItem->pszText;
    if (pItem->nType == DK_MENU_ITEM_RANGE)
        text += " " + std::to_string(pItem->nValue);
    const uint8_t* pColour = !pItem->uEnabled ? pMenu->apColours[3]
                             : boSelected     ? pMenu->apColours[2]
                                              : pMenu->apColours[1];
    DkPrintTextScaled(0x8000, 0x4000 + nIndex * 0x2000, text.c_str(),
                      pMenu->apFonts[boSelected ? 2 : 1], &d2d->BackSurface, pColour, 0x02);
}

TEST_F(MenuFrameTest, ADrawnMenuMatchesItsGoldenFrame)
{
    DK_MENU menu;
    int32_t volume = 0;
    DkMenu_Init(&menu, "OPTIONS", -1, nullptr, nullptr, nullptr);
    DkMenu_AddTextItem(&menu, "CONTROLS", -1);
    DkMenu_SetItemId(&menu, DrawItem, nullptr, 1);
    DkMenu_AddTextItem(&menu, "NETWORK", -1);
    DkMenu_SetItemId(&menu, DrawItem, nullptr, 2);
    DkMenu_SetItemEnabled(&menu, 2, 0);
    DkMenu_AddRangeItem(&menu, "VOLUME", -1, 10, 7, 0, &volume);
    DkMenu_SetItemId(&menu, DrawItem, nullptr, 3);
    DkMenu_AddToggleItem(&menu, "MUSIC", -1, 1, nullptr);
    DkMenu_SetItemId(&menu, DrawItem, nullptr, 4);
    DkMenu_SetCallbacks(&menu, nullptr, nullptr, DrawTitle, nullptr, nullptr);
    DkMenu_SetFonts(&menu, large, small, large, nullptr);
    DkMenu_SetColours(&menu, kTitle, kNormal, kHighlight, kDisabled);
    DkMenu_Finish(&menu);
    DkMenu_Enter(&menu, 0);
    // Down past the disabled item to the volume, which goes up twice and stops at its top.
    for (uint32_t uFlags : {DK_MENU_INPUT_8, DK_MENU_INPUT_2, DK_MENU_INPUT_2, DK_MENU_INPUT_2})
        DkMenu_HandleInput(&menu, uFlags);
    ASSERT_EQ(menu.nCurrentItem, 2);
    ASSERT_EQ(volume, 9);

    output += CaptureOutput([&] { EXPECT_EQ(DkMenu_Draw(&menu), 4); });
    Frame();
    ExpectGoldenScreen("menu_options");
}

TEST_F(MenuFrameTest, ADrawnPromptMatchesItsGoldenFrame)
{
    DK_FONT* pTitleFont = large;
    DK_FONT* pChoiceFont = small;
    DK_PROMPT_BOX box = {};
    box.xTitleX = 0x8000;
    box.xTitleY = 0x6000;
    box.pszTitle = "QUIT THE STAGE?";
    box.nTitleId = -1;
    box.nTitleJustification = 0x22;
    box.xFirstX = 0x6000;
    box.xFirstY = 0x9000;
    box.pszFirst = "YES";
    box.nFirstId = -1;
    box.nFirstJustification = 0x02;
    box.xSecondX = 0xA000;
    box.xSecondY = 0x9000;
    box.pszSecond = "NO";
    box.nSecondId = -1;
    box.nSecondJustification = 0x02;
    box.ppTitleFont = &pTitleFont;
    box.ppChoiceFont = &pChoiceFont;
    box.ppHardware6ChoiceFont = &pChoiceFont;
    box.pTitleColour = kTitle;
    box.pNormalColour = kNormal;
    box.pHighlightColour = kHighlight;
    box.nFirstByDefault = 0;
    DkPromptBox_Open(&box);
    // Up to the first choice.
    EXPECT_EQ(DkPromptBox_Process(DK_MENU_INPUT_4), 0);

    int32_t xWidest = 0;
    output += CaptureOutput([&] { xWidest = DkPromptBox_Render(); });
    // The title is the widest line: 15 glyphs of 16 pixels on the 320-pixel screen.
    EXPECT_EQ(xWidest, (DkStringLength("QUIT THE STAGE?", large) << 16) / 320);
    Frame();
    ExpectGoldenScreen("prompt_quit");
}

} // namespace
