#include "engine/common/dk_menu.h"

#include <atomic>
#include <cstring>

#include "engine/common/dk_text.h"
#include "engine/include/dk_services.h"

namespace
{

// The colour a menu starts with in all four places: white.
const uint8_t kWhite[4] = {255, 255, 255, 255};

// The engine's state. The menu tick and the drawing both run under the critical section, but
// the owner may set a pending menu from either thread outside it.
std::atomic<DK_MENU*> gpCurrentMenu{nullptr};
std::atomic<DK_MENU*> gpPendingMenu{nullptr};
std::atomic<uint8_t> guWentBack{0};
std::atomic<BOOL> gboOutsideCallback{TRUE};
// The menu whose last add was refused for want of room: the builders that go on to set up "the
// last item" must not rewrite the one before it.
std::atomic<DK_MENU*> gpRefusedMenu{nullptr};

// Holds the engine's critical section for a menu operation unless the caller already excludes
// the other thread: a tick on the timer thread runs with the main thread kept out, and a
// caller already inside the section must not have it ended early (it does not nest).
class MenuSection
{
public:
    MenuSection() : mboTaken(!DkIsTimerThread() && !DkIsInCriticalSection())
    {
        if (mboTaken)
            DkEnterCriticalSection();
    }
    ~MenuSection()
    {
        if (mboTaken)
            DkExitCriticalSection();
    }
    MenuSection(const MenuSection&) = delete;
    MenuSection& operator=(const MenuSection&) = delete;

private:
    BOOL mboTaken;
};

enum Feedback
{
    kMoved,
    kChanged,
    kOpened,
    kWentBack,
};

void CallFeedback(DK_MENU* pMenu, Feedback eWhich, DK_MENU_ITEM* pItem, int32_t nResult)
{
    const DK_MENU_FEEDBACK* pTable = pMenu->pFeedback;
    if (pTable == nullptr)
        return;
    DK_MENU_FEEDBACK_FN pfn = nullptr;
    switch (eWhich)
    {
        case kMoved:
            pfn = pTable->pfnMoved;
            break;
        case kChanged:
            pfn = pTable->pfnChanged;
            break;
        case kOpened:
            pfn = pTable->pfnOpened;
            break;
        case kWentBack:
            pfn = pTable->pfnWentBack;
            break;
    }
    if (pfn != nullptr)
        pfn(pMenu, pItem, nResult);
}

BOOL HasItem(const DK_MENU* pMenu, int32_t nIndex)
{
    return nIndex >= 0 && nIndex < pMenu->nItemCount;
}

DK_MENU_ITEM* CurrentItem(DK_MENU* pMenu)
{
    return HasItem(pMenu, pMenu->nCurrentItem) ? &pMenu->aItems[pMenu->nCurrentItem] : nullptr;
}

DK_MENU_ITEM* LastItem(DK_MENU* pMenu)
{
    if (gpRefusedMenu.load() == pMenu)
        return nullptr;
    return pMenu->nItemCount > 0 ? &pMenu->aItems[pMenu->nItemCount - 1] : nullptr;
}

BOOL Selectable(const DK_MENU_ITEM& item)
{
    return item.uEnabled == 1 && item.uDisplayed == 1;
}

// Resets the next free slot and counts it; null when the table is full.
DK_MENU_ITEM* NewItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId, int32_t nType)
{
    if (pMenu->nItemCount >= DK_MENU_MAX_ITEMS || pMenu->nItemCount < 0)
    {
        DKREPORT(DkFormatString("Menu '%s' is full: no more than %d items",
                                pMenu->pszTitle != nullptr ? pMenu->pszTitle : "",
                                DK_MENU_MAX_ITEMS));
        gpRefusedMenu = pMenu;
        return nullptr;
    }
    DK_MENU* pExpected = pMenu;
    gpRefusedMenu.compare_exchange_strong(pExpected, nullptr);
    DK_MENU_ITEM* pItem = &pMenu->aItems[pMenu->nItemCount++];
    *pItem = DK_MENU_ITEM{};
    pItem->uEnabled = 1;
    pItem->uDisplayed = 1;
    pItem->pszText = pszText;
    pItem->nTextId = nTextId;
    pItem->nType = nType;
    return pItem;
}

// The item with that id in a linked menu, else its last (or first) item.
void SelectLinkedItem(DK_MENU* pLink, int32_t nId, BOOL boLastWhenMissing)
{
    int32_t nIndex = DkMenu_FindItem(pLink, nId);
    if (nIndex < 0)
        nIndex = boLastWhenMissing && pLink->nItemCount > 0 ? pLink->nItemCount - 1 : 0;
    pLink->nCurrentItem = nIndex;
}

// Steps the selection one way until a selectable item is reached. Returns whether it moved.
BOOL StepSelection(DK_MENU* pMenu, int32_t nStep)
{
    int32_t nCount = pMenu->nItemCount;
    int32_t nIndex = pMenu->nCurrentItem;
    for (int32_t n = 0; n < nCount; ++n)
    {
        nIndex += nStep;
        if (nIndex < 0)
            nIndex = nCount - 1;
        else if (nIndex >= nCount)
            nIndex = 0;
        if (Selectable(pMenu->aItems[nIndex]))
        {
            pMenu->nCurrentItem = nIndex;
            return TRUE;
        }
    }
    DkLog("*** HELP - NO MENU ITEMS AVAILABLE!!! ***");
    return FALSE;
}

// Moves the selection back (-1) or on (+1), or to the linked menu past the first or last item.
void Navigate(DK_MENU* pMenu, int32_t nStep)
{
    BOOL boBack = nStep < 0;
    int32_t nEnd = boBack ? 0 : pMenu->nItemCount - 1;
    int nLink = boBack ? 0 : 1;
    BOOL boMoved;
    if (pMenu->nCurrentItem == nEnd && pMenu->apLinks[nLink] != nullptr)
    {
        DK_MENU* pLink = pMenu->apLinks[nLink];
        SelectLinkedItem(pLink, pMenu->anLinkItemIds[nLink], boBack);
        gpPendingMenu = pLink;
        boMoved = TRUE;
    }
    else if (pMenu->nCurrentItem == nEnd && pMenu->uWrap == 0)
    {
        boMoved = FALSE;
    }
    else
    {
        boMoved = StepSelection(pMenu, nStep);
    }
    CallFeedback(pMenu, kMoved, CurrentItem(pMenu), boMoved);
}

// Value-down and value-up (or an accept that advances) on a range or value-list item.
void ChangeValue(DK_MENU* pMenu, DK_MENU_ITEM* pItem, BOOL boDown, BOOL boUp, BOOL boAccept)
{
    int32_t nLast = pItem->nValueCount - 1;
    // A value of an item without values has nowhere to go.
    BOOL boHasValues = nLast >= 0;
    if (boDown)
    {
        BOOL boChanged = FALSE;
        if (boHasValues && (pItem->nValue > 0 || pItem->uValueWraps))
        {
            pItem->nValue = pItem->nValue > 0 ? pItem->nValue - 1 : nLast;
            boChanged = TRUE;
        }
        CallFeedback(pMenu, kChanged, pItem, boChanged);
    }
    BOOL boAdvance = boAccept && pItem->uAcceptAdvances;
    if (boUp || boAdvance)
    {
        BOOL boChanged = FALSE;
        if (boHasValues && (pItem->nValue < nLast || pItem->uValueWraps))
        {
            boChanged = TRUE;
            // An accept callback takes the value's advance on itself.
            if (!(boAdvance && !boUp && pItem->pfnAccept != nullptr))
                pItem->nValue = pItem->nValue < nLast ? pItem->nValue + 1 : 0;
        }
        CallFeedback(pMenu, kChanged, pItem, boChanged);
    }
    pMenu->nRememberedValue = pItem->nValue;
}

} // namespace

DK_MENU* DkMenu_Init(DK_MENU* pMenu, const char* pszTitle, int32_t nTitleId, int32_t* pnUserValue,
                     DK_MENU* pParent, const DK_MENU_FEEDBACK* pFeedback)
{
    DK_MENU* pExpected = pMenu;
    gpRefusedMenu.compare_exchange_strong(pExpected, nullptr);
    *pMenu = DK_MENU{};
    pMenu->pszTitle = pszTitle;
    pMenu->nTitleId = nTitleId;
    pMenu->nLayout = DK_MENU_LAYOUT_VERTICAL;
    pMenu->uNavigateAllowed = 1;
    pMenu->uChangeAllowed = 1;
    pMenu->uAcceptAllowed = 1;
    pMenu->uBackAllowed = 1;
    pMenu->uWrap = 0;
    if (pParent == DK_MENU_PARENT_ON_ENTRY)
    {
        pMenu->uParentOnEntry = 1;
        pMenu->pParent = nullptr;
    }
    else
    {
        pMenu->pParent = pParent;
    }
    pMenu->nItemCount = 0;
    pMenu->nCurrentItem = 0;
    pMenu->nInitialItem = -1;
    pMenu->pnUserValue = pnUserValue;
    for (const uint8_t*& pColour : pMenu->apColours)
        pColour = kWhite;
    pMenu->nRememberedValue = 0;
    pMenu->pFeedback = pFeedback;
    return pMenu;
}

DK_MENU* DkMenu_AddTextItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId)
{
    NewItem(pMenu, pszText, nTextId, DK_MENU_ITEM_ACTION);
    return pMenu;
}

DK_MENU* DkMenu_AddSubmenuItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId,
                               DK_MENU* pSubmenu)
{
    DK_MENU_ITEM* pItem = NewItem(pMenu, pszText, nTextId, DK_MENU_ITEM_SUBMENU);
    if (pItem != nullptr)
        pItem->pSubmenu = pSubmenu;
    return pMenu;
}

namespace
{
// Range, toggle and value-list items: a value counting through nValueCount, wrapping or not.
DK_MENU* AddCountedItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId, int32_t nType,
                        int32_t nValueCount, int32_t nValue, uint8_t uValueWraps, int32_t* pnBound)
{
    DK_MENU_ITEM* pItem = NewItem(pMenu, pszText, nTextId, nType);
    if (pItem != nullptr)
    {
        pItem->nValueCount = nValueCount;
        pItem->nValue = nValue;
        pItem->uValueWraps = uValueWraps;
        pItem->pnBound = pnBound;
    }
    return pMenu;
}
} // namespace

DK_MENU* DkMenu_AddRangeItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId,
                             int32_t nValueCount, int32_t nValue, uint8_t uValueWraps,
                             int32_t* pnBound)
{
    return AddCountedItem(pMenu, pszText, nTextId, DK_MENU_ITEM_RANGE, nValueCount, nValue,
                          uValueWraps, pnBound);
}

DK_MENU* DkMenu_AddToggleItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId, uint8_t uOn,
                              int32_t* pnBound)
{
    return DkMenu_AddRangeItem(pMenu, pszText, nTextId, 2, uOn != 0 ? 1 : 0, 1, pnBound);
}

void DkMenu_AddListItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId, int32_t nListValue,
                        int32_t* pnBound)
{
    DK_MENU_ITEM* pItem = NewItem(pMenu, pszText, nTextId, DK_MENU_ITEM_LIST);
    if (pItem != nullptr)
    {
        pItem->nListValue = nListValue;
        pItem->pnBound = pnBound;
    }
}

DK_MENU* DkMenu_AddValueListItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId,
                                 int32_t nValueCount, int32_t nValue, uint8_t uValueWraps,
                                 int32_t* pnBound)
{
    return AddCountedItem(pMenu, pszText, nTextId, DK_MENU_ITEM_VALUE_LIST, nValueCount, nValue,
                          uValueWraps, pnBound);
}

DK_MENU* DkMenu_SetItemId(DK_MENU* pMenu, DK_MENU_ITEM_DRAW_FN pfnDraw, DK_MENU_ITEM_FN pfnAccept,
                          int32_t nId)
{
    DK_MENU_ITEM* pLast = LastItem(pMenu);
    if (pLast == nullptr)
        return pMenu;
    pLast->pfnDraw = pfnDraw;
    pLast->pfnAccept = pfnAccept;
    pLast->nId = nId;
    if (nId != 0)
    {
        for (int32_t n = 0; n < pMenu->nItemCount - 1; ++n)
            if (pMenu->aItems[n].nId == nId)
                DkLog(DkFormatString("*** WARNING -> MENU ITEM ID %d RE-USED!!!\n", nId));
    }
    return pMenu;
}

DK_MENU* DkMenu_FlagLastItem(DK_MENU* pMenu)
{
    if (DK_MENU_ITEM* pLast = LastItem(pMenu))
        pLast->uAcceptAdvances = 1;
    return pMenu;
}

DK_MENU* DkMenu_SelectLastItem(DK_MENU* pMenu)
{
    if (pMenu->nItemCount > 0)
        pMenu->nCurrentItem = pMenu->nItemCount - 1;
    return pMenu;
}

DK_MENU* DkMenu_DefaultToLastItem(DK_MENU* pMenu)
{
    pMenu->nInitialItem = pMenu->nItemCount - 1;
    return pMenu;
}

DK_MENU* DkMenu_SetOption(DK_MENU* pMenu, int32_t nIndex)
{
    pMenu->nCurrentItem = nIndex;
    return pMenu;
}

DK_MENU* DkMenu_SetParent(DK_MENU* pMenu, DK_MENU* pParent)
{
    pMenu->pParent = pParent;
    return pMenu;
}

void DkMenu_SetCallbacks(DK_MENU* pMenu, DK_MENU_INIT_FN pfnInitialise, DK_MENU_FN pfnHandler,
                         DK_MENU_FN pfnDraw, DK_MENU_LEAVE_FN pfnLeave, DK_MENU_FN pfnExit)
{
    pMenu->pfnInitialise = pfnInitialise;
    pMenu->pfnHandler = pfnHandler;
    pMenu->pfnDraw = pfnDraw;
    pMenu->pfnLeave = pfnLeave;
    pMenu->pfnExit = pfnExit;
}

DK_MENU* DkMenu_SetFonts(DK_MENU* pMenu, DK_FONT* pFont0, DK_FONT* pFont1, DK_FONT* pFont2,
                         DK_FONT* pFont3)
{
    pMenu->apFonts[0] = pFont0;
    pMenu->apFonts[1] = pFont1;
    pMenu->apFonts[2] = pFont2;
    pMenu->apFonts[3] = pFont3;
    return pMenu;
}

DK_MENU* DkMenu_SetColours(DK_MENU* pMenu, const uint8_t* pColour0, const uint8_t* pColour1,
                           const uint8_t* pColour2, const uint8_t* pColour3)
{
    pMenu->apColours[0] = pColour0;
    pMenu->apColours[1] = pColour1;
    pMenu->apColours[2] = pColour2;
    pMenu->apColours[3] = pColour3;
    return pMenu;
}

DK_MENU* DkMenu_SetKeyFlags(DK_MENU* pMenu, uint8_t uNavigate, uint8_t uChange, uint8_t uAccept,
                            uint8_t uBack)
{
    pMenu->uNavigateAllowed = uNavigate;
    pMenu->uChangeAllowed = uChange;
    pMenu->uAcceptAllowed = uAccept;
    pMenu->uBackAllowed = uBack;
    return pMenu;
}

DK_MENU* DkMenu_SetWrap(DK_MENU* pMenu, uint8_t uWrap)
{
    pMenu->uWrap = uWrap;
    return pMenu;
}

DK_MENU* DkMenu_SetLayout(DK_MENU* pMenu, int32_t nLayout)
{
    pMenu->nLayout = nLayout;
    return pMenu;
}

void DkMenu_SetLinks(DK_MENU* pMenu, DK_MENU* pLink0, int32_t nId0, DK_MENU* pLink1, int32_t nId1,
                     DK_MENU* pLink2, int32_t nId2, DK_MENU* pLink3, int32_t nId3)
{
    pMenu->apLinks[0] = pLink0;
    pMenu->apLinks[1] = pLink1;
    pMenu->apLinks[2] = pLink2;
    pMenu->apLinks[3] = pLink3;
    pMenu->anLinkItemIds[0] = nId0;
    pMenu->anLinkItemIds[1] = nId1;
    pMenu->anLinkItemIds[2] = nId2;
    pMenu->anLinkItemIds[3] = nId3;
}

DK_MENU* DkMenu_ResolveTexts(DK_MENU* pMenu)
{
    if (pMenu->nTitleId != -1)
        pMenu->pszTitle = DkGetText(pMenu->nTitleId);
    for (int32_t n = 0; n < pMenu->nItemCount; ++n)
        if (pMenu->aItems[n].nTextId != -1)
            pMenu->aItems[n].pszText = DkGetText(pMenu->aItems[n].nTextId);
    return pMenu;
}

DK_MENU* DkMenu_Finish(DK_MENU* pMenu)
{
    return DkMenu_ResolveTexts(pMenu);
}

int32_t DkMenu_FindItem(DK_MENU* pMenu, int32_t nId)
{
    for (int32_t n = 0; n < pMenu->nItemCount; ++n)
        if (pMenu->aItems[n].nId == nId)
            return n;
    return -1;
}

DK_MENU_ITEM* DkMenu_GetItem(DK_MENU* pMenu, int32_t nId)
{
    int32_t nIndex = DkMenu_FindItem(pMenu, nId);
    return nIndex < 0 ? nullptr : &pMenu->aItems[nIndex];
}

DK_MENU_ITEM* DkMenu_SetItemSubmenu(DK_MENU* pMenu, int32_t nId, DK_MENU* pSubmenu)
{
    DK_MENU_ITEM* pItem = DkMenu_GetItem(pMenu, nId);
    if (pItem != nullptr)
        pItem->pSubmenu = pSubmenu;
    return pItem;
}

BOOL DkMenu_SetItemEnabled(DK_MENU* pMenu, int32_t nId, uint8_t uEnabled)
{
    DK_MENU_ITEM* pItem = DkMenu_GetItem(pMenu, nId);
    if (pItem == nullptr)
        return FALSE;
    pItem->uEnabled = uEnabled;
    return TRUE;
}

BOOL DkMenu_SetItemDisplayed(DK_MENU* pMenu, int32_t nId, uint8_t uDisplayed)
{
    DK_MENU_ITEM* pItem = DkMenu_GetItem(pMenu, nId);
    if (pItem == nullptr)
        return FALSE;
    pItem->uDisplayed = uDisplayed;
    return TRUE;
}

int32_t DkMenu_GetItemValue(DK_MENU* pMenu, int32_t nId)
{
    DK_MENU_ITEM* pItem = DkMenu_GetItem(pMenu, nId);
    if (pItem == nullptr)
        return -1;
    switch (pItem->nType)
    {
        case DK_MENU_ITEM_LIST:
            return pItem->nListValue;
        case DK_MENU_ITEM_RANGE:
        case 5: // a value type no builder makes
        case DK_MENU_ITEM_VALUE_LIST:
            return pItem->nValue;
        default:
            return -1;
    }
}

DK_MENU* DkMenu_Enter(DK_MENU* pMenu, uint8_t uArgument)
{
    if (pMenu == nullptr)
        return nullptr;
    MenuSection section;
    int32_t nCount = pMenu->nItemCount;
    if (pMenu->nInitialItem >= 0 && pMenu->nInitialItem < nCount)
        pMenu->nCurrentItem = pMenu->nInitialItem;
    if (nCount > 0)
    {
        // A selection left outside the items (by the owner) starts again at the first.
        if (!HasItem(pMenu, pMenu->nCurrentItem))
            pMenu->nCurrentItem = 0;
        int32_t nIndex = pMenu->nCurrentItem;
        for (int32_t n = 0; n < nCount; ++n)
        {
            if (Selectable(pMenu->aItems[nIndex]))
            {
                pMenu->nCurrentItem = nIndex;
                break;
            }
            nIndex = (nIndex + 1) % nCount;
        }
    }

    DK_MENU* pPrevious = gpCurrentMenu;
    if (pPrevious != nullptr && pPrevious->pfnExit != nullptr)
        pPrevious->pfnExit(pPrevious);
    // Coming back from its own child must not make the child the parent: going back would
    // then lead down again instead of up.
    if (pMenu->uParentOnEntry && pPrevious != pMenu &&
        (pPrevious == nullptr || pPrevious->pParent != pMenu))
        pMenu->pParent = pPrevious;

    gpCurrentMenu = pMenu;
    if (pMenu->pfnInitialise == nullptr)
        return pMenu;
    gboOutsideCallback = FALSE;
    DK_MENU* pResult = pMenu->pfnInitialise(pMenu, uArgument);
    gboOutsideCallback = TRUE;
    return pResult;
}

int32_t DkMenu_Draw(DK_MENU* pMenu)
{
    if (pMenu == nullptr)
        return 0;
    MenuSection section;
    if (pMenu->pfnDraw != nullptr)
        pMenu->pfnDraw(pMenu);
    for (int32_t n = 0; n < pMenu->nItemCount; ++n)
    {
        DK_MENU_ITEM* pItem = &pMenu->aItems[n];
        if (pItem->uDisplayed == 1 && pItem->pfnDraw != nullptr)
            pItem->pfnDraw(pMenu, pItem, n == pMenu->nCurrentItem ? TRUE : FALSE);
    }
    return pMenu->nItemCount;
}

DK_MENU* DkMenu_HandleInput(DK_MENU* pMenu, uint32_t uFlags)
{
    if (pMenu == nullptr)
        return nullptr;
    MenuSection section;

    BOOL boBack = FALSE;
    if (gpPendingMenu.load() == nullptr)
    {
        BOOL boVertical = pMenu->nLayout == DK_MENU_LAYOUT_VERTICAL;
        uint32_t uPrevBit = boVertical ? DK_MENU_INPUT_4 : DK_MENU_INPUT_1;
        uint32_t uNextBit = boVertical ? DK_MENU_INPUT_8 : DK_MENU_INPUT_2;
        uint32_t uDownBit = boVertical ? DK_MENU_INPUT_1 : DK_MENU_INPUT_4;
        uint32_t uUpBit = boVertical ? DK_MENU_INPUT_2 : DK_MENU_INPUT_8;
        BOOL boNavigation = (uFlags & (uPrevBit | uNextBit)) != 0;
        BOOL boPrev = pMenu->uNavigateAllowed && (uFlags & uPrevBit);
        BOOL boNext = pMenu->uNavigateAllowed && (uFlags & uNextBit);
        BOOL boDown = pMenu->uChangeAllowed && (uFlags & uDownBit) && !boNavigation;
        BOOL boUp = pMenu->uChangeAllowed && (uFlags & uUpBit) && !boNavigation;
        boBack = pMenu->uBackAllowed && (uFlags & DK_MENU_INPUT_BACK);

        int32_t nCount = pMenu->nItemCount;
        // A selection the owner left outside the items starts again at the first.
        if (nCount > 0 && !HasItem(pMenu, pMenu->nCurrentItem))
            pMenu->nCurrentItem = 0;
        if (nCount > 0 && !pMenu->aItems[pMenu->nCurrentItem].uEnabled)
        {
            int32_t nIndex = pMenu->nCurrentItem;
            for (int32_t n = 0; n < nCount; ++n)
            {
                nIndex = (nIndex + 1) % nCount;
                if (pMenu->aItems[nIndex].uEnabled)
                {
                    pMenu->nCurrentItem = nIndex;
                    break;
                }
            }
        }

        if (nCount > 0)
        {
            if (boPrev)
                Navigate(pMenu, -1);
            else if (boNext)
                Navigate(pMenu, +1);
        }

        DK_MENU_ITEM* pItem = CurrentItem(pMenu);
        BOOL boAccept = pMenu->uAcceptAllowed && (uFlags & DK_MENU_INPUT_ACCEPT) &&
                        pItem != nullptr && pItem->uEnabled;

        // An item without values takes none: the shared value would go to -1 and on to the
        // next item.
        if ((boPrev || boNext) && gpPendingMenu.load() == nullptr && pItem != nullptr &&
            pItem->nType == DK_MENU_ITEM_VALUE_LIST && pItem->nValueCount > 0)
        {
            if (pMenu->nRememberedValue >= pItem->nValueCount)
                pMenu->nRememberedValue = pItem->nValueCount - 1;
            pItem->nValue = pMenu->nRememberedValue;
        }

        if (boDown && pMenu->apLinks[2] != nullptr)
        {
            SelectLinkedItem(pMenu->apLinks[2], pMenu->anLinkItemIds[2], TRUE);
            gpPendingMenu = pMenu->apLinks[2];
            CallFeedback(pMenu, kMoved, pItem, 1);
        }
        else if (boUp && pMenu->apLinks[3] != nullptr)
        {
            SelectLinkedItem(pMenu->apLinks[3], pMenu->anLinkItemIds[3], FALSE);
            gpPendingMenu = pMenu->apLinks[3];
            CallFeedback(pMenu, kMoved, pItem, 1);
        }
        else if (pItem != nullptr &&
                 (pItem->nType == DK_MENU_ITEM_RANGE || pItem->nType == DK_MENU_ITEM_VALUE_LIST))
        {
            ChangeValue(pMenu, pItem, boDown, boUp, boAccept);
        }

        if (pItem != nullptr && pItem->pnBound != nullptr)
        {
            if (pItem->nType == DK_MENU_ITEM_RANGE || pItem->nType == DK_MENU_ITEM_VALUE_LIST)
                *pItem->pnBound = pItem->nValue;
            else if (boAccept)
                *pItem->pnBound = pItem->nListValue;
        }

        if (boAccept || boBack)
        {
            if (boAccept && pItem->pfnAccept != nullptr)
                pItem->pfnAccept(pMenu, pItem);
            if (boBack || (pItem != nullptr && pItem->nType == DK_MENU_ITEM_ACTION))
            {
                gpPendingMenu = pMenu->pParent;
                CallFeedback(pMenu, kWentBack, pItem, 1);
            }
            else if (pItem != nullptr && pItem->nType == DK_MENU_ITEM_SUBMENU)
            {
                gpPendingMenu = pItem->pSubmenu;
                CallFeedback(pMenu, kOpened, pItem, 1);
            }
        }

        if (pMenu->pfnHandler != nullptr)
            pMenu->pfnHandler(pMenu);
    }

    if (pMenu->pfnLeave != nullptr && gpPendingMenu.load() != nullptr)
    {
        DK_MENU_ITEM* pItem = CurrentItem(pMenu);
        uint8_t uGoingBack = boBack || (pItem != nullptr && pItem->nType == DK_MENU_ITEM_ACTION);
        guWentBack = uGoingBack;
        pMenu->pfnLeave(pMenu, uGoingBack);
    }
    return gpPendingMenu.exchange(nullptr);
}

DK_MENU* DkMenu_SetPendingMenu(DK_MENU* pMenu)
{
    gpPendingMenu = pMenu;
    return pMenu;
}

void DkMenu_SetPendingMenuB(DK_MENU* pMenu)
{
    gpPendingMenu = pMenu;
}

BOOL DkMenu_IsOutsideCallback(void)
{
    return gboOutsideCallback;
}

DK_MENU* DkMenu_GetCurrentMenu(void)
{
    return gpCurrentMenu;
}

uint8_t DkMenu_WentBack(void)
{
    return guWentBack;
}

void DkMenu_Reset(void)
{
    gpCurrentMenu = nullptr;
    gpPendingMenu = nullptr;
    guWentBack = 0;
    gboOutsideCallback = TRUE;
    gpRefusedMenu = nullptr;
}
