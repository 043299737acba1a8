#include "engine/pc/display/dk_prompt.h"

#include <algorithm>

#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"

namespace
{

DK_MENU gPromptMenu;
const DK_PROMPT_BOX* gpPromptBox = nullptr;
int32_t gxWidestLine = 0;
DK_PROMPT_PRINT_FN gpfnPrint = DkPrintTextScaled;

DK_FONT* FontOf(DK_FONT** ppFont)
{
    return ppFont != nullptr ? *ppFont : nullptr;
}

void PrintChoice(DK_MENU* pMenu, int32_t nIndex, int32_t xX, int32_t xY, int32_t nJustification)
{
    BOOL boHighlighted = pMenu->nCurrentItem == nIndex;
    DK_FONT* pFont = pMenu->apFonts[boHighlighted ? 2 : 1];
    const uint8_t* pColour = pMenu->apColours[boHighlighted ? 2 : 1];
    gpfnPrint(xX, xY, pMenu->aItems[nIndex].pszText, pFont, &d2d->BackSurface, pColour,
              nJustification);
    gxWidestLine = std::max(gxWidestLine, gxTextWidestLine);
}

} // namespace

void DkPromptBox_Open(const DK_PROMPT_BOX* pDescription)
{
    DK_MENU* pMenu = &gPromptMenu;
    DkMenu_Init(pMenu, pDescription->pszTitle, pDescription->nTitleId, nullptr, nullptr,
                pDescription->pFeedback);
    DkMenu_AddSubmenuItem(pMenu, pDescription->pszFirst, pDescription->nFirstId, DK_PROMPT_CHOSEN);
    DkMenu_AddSubmenuItem(pMenu, pDescription->pszSecond, pDescription->nSecondId,
                          DK_PROMPT_CHOSEN);
    DkMenu_SetCallbacks(pMenu, nullptr, nullptr, DkPromptBox_Draw, nullptr, nullptr);
    DK_FONT* pChoiceFont = FontOf(pDescription->ppChoiceFont);
    DK_FONT* pOtherFont =
        DkGetHardwareType() == 6 ? FontOf(pDescription->ppHardware6ChoiceFont) : pChoiceFont;
    DkMenu_SetFonts(pMenu, FontOf(pDescription->ppTitleFont), pOtherFont, pChoiceFont, nullptr);
    DkMenu_SetColours(pMenu, pDescription->pTitleColour, pDescription->pNormalColour,
                      pDescription->pHighlightColour, nullptr);
    DkMenu_SetOption(pMenu, pDescription->nFirstByDefault != 0 ? 0 : 1);
    DkMenu_Finish(pMenu);
    gpPromptBox = pDescription;
}

void DkPromptBox_Draw(DK_MENU* pMenu)
{
    gxWidestLine = 0;
    const DK_PROMPT_BOX* pBox = gpPromptBox;
    if (pBox == nullptr || pMenu->nItemCount < 2)
        return;
    gpfnPrint(pBox->xTitleX, pBox->xTitleY, pMenu->pszTitle, pMenu->apFonts[0], &d2d->BackSurface,
              pMenu->apColours[0], pBox->nTitleJustification);
    gxWidestLine = std::max(gxWidestLine, gxTextWidestLine);
    PrintChoice(pMenu, 0, pBox->xFirstX, pBox->xFirstY, pBox->nFirstJustification);
    PrintChoice(pMenu, 1, pBox->xSecondX, pBox->xSecondY, pBox->nSecondJustification);
}

int32_t DkPromptBox_Render(void)
{
    DkMenu_Draw(&gPromptMenu);
    return gxWidestLine;
}

int DkPromptBox_Process(uint32_t uFlags)
{
    return DkMenu_HandleInput(&gPromptMenu, uFlags) == DK_PROMPT_CHOSEN ? 1 : 0;
}

int DkPromptBox_IsFirstChoice(void)
{
    return gPromptMenu.nCurrentItem == 0 ? 1 : 0;
}

void DkPromptBox_SetPrinter(DK_PROMPT_PRINT_FN pfnPrint)
{
    gpfnPrint = pfnPrint != nullptr ? pfnPrint : DkPrintTextScaled;
}

void DkSwapBytes(void* pA, void* pB, int32_t nLength)
{
    auto* pByteA = static_cast<uint8_t*>(pA);
    auto* pByteB = static_cast<uint8_t*>(pB);
    for (int32_t n = 0; n < nLength; ++n)
    {
        uint8_t uByte = pByteA[n];
        pByteA[n] = pByteB[n];
        pByteB[n] = uByte;
    }
}
