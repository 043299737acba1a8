// The shared two-choice prompt: a menu with a title and two choices, built from a caller's
// description, drawn with the caller's fonts and colours and driven by the menu input flags.
// One prompt exists at a time. Also a byte-swap routine the game code uses.
#pragma once

#include <cstdint>

#include "engine/common/dk_menu.h"
#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

// What a choice's submenu holds: never a menu, so that an accepted choice is told from a stay.
#define DK_PROMPT_CHOSEN (reinterpret_cast<DK_MENU*>(static_cast<intptr_t>(-2)))

// The caller's description of a prompt. Positions are 16.16 fractions of the screen;
// justifications are those of DkPrintTextScaled.
struct DK_PROMPT_BOX
{
    int32_t xTitleX;
    int32_t xTitleY;
    const char* pszTitle;
    int32_t nTitleId;
    int32_t nTitleJustification;
    int32_t xFirstX;
    int32_t xFirstY;
    const char* pszFirst;
    int32_t nFirstId;
    int32_t nFirstJustification;
    int32_t xSecondX;
    int32_t xSecondY;
    const char* pszSecond;
    int32_t nSecondId;
    int32_t nSecondJustification;
    DK_FONT** ppTitleFont;
    // The highlighted choice's font, and the other choice's too except on hardware type 6,
    // where that one uses the third.
    DK_FONT** ppChoiceFont;
    DK_FONT** ppHardware6ChoiceFont;
    const uint8_t* pTitleColour;
    const uint8_t* pNormalColour;
    const uint8_t* pHighlightColour;
    const DK_MENU_FEEDBACK* pFeedback;
    int32_t nFirstByDefault;
};

void DkPromptBox_Open(const DK_PROMPT_BOX* pDescription);
// The prompt menu's Draw callback.
void DkPromptBox_Draw(DK_MENU* pMenu);
// Draws the prompt; returns the width of its widest line as a 16.16 fraction of the screen
// width, by which callers size the panel behind it.
int32_t DkPromptBox_Render(void);
// Handles one tick's input; 1 when a choice was accepted, else 0.
int DkPromptBox_Process(uint32_t uFlags);
// 1 when the first choice is the selected one.
int DkPromptBox_IsFirstChoice(void);

// Test hook: the printing the prompt draws with, DkPrintTextScaled unless replaced (null puts
// it back). A replacement sets gxTextWidestLine as the real one does.
typedef int32_t (*DK_PROMPT_PRINT_FN)(int32_t xX, int32_t xY, const char* pszString, DK_FONT* pFont,
                                      DK_SURFACE* pSurface, const uint8_t* pColour,
                                      int nJustification);
void DkPromptBox_SetPrinter(DK_PROMPT_PRINT_FN pfnPrint);

// Exchanges the first nLength bytes of pA and pB; a length of 0 or less does nothing.
void DkSwapBytes(void* pA, void* pB, int32_t nLength);
