// Menus: a caller-owned record of up to DK_MENU_MAX_ITEMS items, a current and a pending menu,
// selection and values moved by abstract input flags, links to neighbouring menus and
// submenus. Nothing is drawn here: the owner's callbacks draw and decide everything.
//
// Input handling runs on the timer thread (the front end's menu tick) and drawing on the main
// thread. Drawing holds the engine's critical section, which a tick never runs inside (one due
// meanwhile runs at its exit), so neither ever sees a menu the other has half changed. Calls
// made off the timer thread hold the section too; callbacks run inside it, on the caller's
// thread, so one run there must not wait for a tick: none runs until the call returns.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define DK_MENU_MAX_ITEMS 20

// Input flags: two direction pairs, accept and back. In the vertical layout 4 and 8 move the
// selection and 1 and 2 change values; in any other layout the pairs swap roles.
#define DK_MENU_INPUT_1 0x01
#define DK_MENU_INPUT_2 0x02
#define DK_MENU_INPUT_4 0x04
#define DK_MENU_INPUT_8 0x08
#define DK_MENU_INPUT_ACCEPT 0x10
#define DK_MENU_INPUT_BACK 0x20

#define DK_MENU_LAYOUT_VERTICAL 1

// Item types.
#define DK_MENU_ITEM_ACTION 1
#define DK_MENU_ITEM_SUBMENU 2
#define DK_MENU_ITEM_RANGE 3
#define DK_MENU_ITEM_LIST 4
#define DK_MENU_ITEM_VALUE_LIST 6

// The parent given to DkMenu_Init for a menu whose parent is the menu current when it is
// entered.
#define DK_MENU_PARENT_ON_ENTRY (reinterpret_cast<DK_MENU*>(static_cast<intptr_t>(-1)))

struct DK_FONT;
struct DK_MENU;
struct DK_MENU_ITEM;

typedef DK_MENU* (*DK_MENU_INIT_FN)(DK_MENU* pMenu, uint8_t uArgument);
typedef void (*DK_MENU_FN)(DK_MENU* pMenu);
typedef void (*DK_MENU_LEAVE_FN)(DK_MENU* pMenu, uint8_t uGoingBack);
typedef void (*DK_MENU_ITEM_DRAW_FN)(DK_MENU* pMenu, DK_MENU_ITEM* pItem, BOOL boSelected);
typedef void (*DK_MENU_ITEM_FN)(DK_MENU* pMenu, DK_MENU_ITEM* pItem);
// The item is the menu's current item; the result says whether the selection moved, the value
// changed, or (always 1) a menu was opened or left.
typedef void (*DK_MENU_FEEDBACK_FN)(DK_MENU* pMenu, DK_MENU_ITEM* pItem, int32_t nResult);

// What the owner is told so that it can play its menu sounds; any entry may be null.
struct DK_MENU_FEEDBACK
{
    DK_MENU_FEEDBACK_FN pfnMoved;
    DK_MENU_FEEDBACK_FN pfnChanged;
    DK_MENU_FEEDBACK_FN pfnOpened;
    DK_MENU_FEEDBACK_FN pfnWentBack;
};

struct DK_MENU_ITEM
{
    const char* pszText;
    int32_t nTextId;
    int32_t nType;
    int32_t nId;
    DK_MENU_ITEM_DRAW_FN pfnDraw;
    int32_t* pnBound;
    int32_t nValueCount;
    int32_t nValue;
    int32_t nListValue;
    DK_MENU* pSubmenu;
    DK_MENU_ITEM_FN pfnAccept;
    uint8_t uEnabled;
    uint8_t uDisplayed;
    uint8_t uValueWraps;
    uint8_t uAcceptAdvances;
};

struct DK_MENU
{
    const char* pszTitle;
    int32_t nTitleId;
    int32_t nLayout;
    uint8_t uNavigateAllowed;
    uint8_t uChangeAllowed;
    uint8_t uAcceptAllowed;
    uint8_t uBackAllowed;
    uint8_t uWrap;
    uint8_t uParentOnEntry;
    DK_MENU* pParent;
    DK_MENU* apLinks[4];
    int32_t anLinkItemIds[4];
    int32_t nItemCount;
    int32_t nCurrentItem;
    int32_t nInitialItem;
    DK_MENU_ITEM aItems[DK_MENU_MAX_ITEMS];
    int32_t* pnUserValue;
    DK_MENU_INIT_FN pfnInitialise;
    DK_MENU_FN pfnHandler;
    DK_MENU_FN pfnDraw;
    DK_MENU_LEAVE_FN pfnLeave;
    DK_MENU_FN pfnExit;
    DK_FONT* apFonts[4];
    const uint8_t* apColours[4];
    int32_t nRememberedValue;
    const DK_MENU_FEEDBACK* pFeedback;
};

// Builders.
DK_MENU* DkMenu_Init(DK_MENU* pMenu, const char* pszTitle, int32_t nTitleId, int32_t* pnUserValue,
                     DK_MENU* pParent, const DK_MENU_FEEDBACK* pFeedback);
DK_MENU* DkMenu_AddTextItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId);
DK_MENU* DkMenu_AddSubmenuItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId,
                               DK_MENU* pSubmenu);
DK_MENU* DkMenu_AddRangeItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId,
                             int32_t nValueCount, int32_t nValue, uint8_t uValueWraps,
                             int32_t* pnBound);
DK_MENU* DkMenu_AddToggleItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId, uint8_t uOn,
                              int32_t* pnBound);
void DkMenu_AddListItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId, int32_t nListValue,
                        int32_t* pnBound);
DK_MENU* DkMenu_AddValueListItem(DK_MENU* pMenu, const char* pszText, int32_t nTextId,
                                 int32_t nValueCount, int32_t nValue, uint8_t uValueWraps,
                                 int32_t* pnBound);
DK_MENU* DkMenu_SetItemId(DK_MENU* pMenu, DK_MENU_ITEM_DRAW_FN pfnDraw, DK_MENU_ITEM_FN pfnAccept,
                          int32_t nId);
DK_MENU* DkMenu_FlagLastItem(DK_MENU* pMenu);
DK_MENU* DkMenu_SelectLastItem(DK_MENU* pMenu);
DK_MENU* DkMenu_DefaultToLastItem(DK_MENU* pMenu);
DK_MENU* DkMenu_SetOption(DK_MENU* pMenu, int32_t nIndex);
DK_MENU* DkMenu_SetParent(DK_MENU* pMenu, DK_MENU* pParent);
void DkMenu_SetCallbacks(DK_MENU* pMenu, DK_MENU_INIT_FN pfnInitialise, DK_MENU_FN pfnHandler,
                         DK_MENU_FN pfnDraw, DK_MENU_LEAVE_FN pfnLeave, DK_MENU_FN pfnExit);
DK_MENU* DkMenu_SetFonts(DK_MENU* pMenu, DK_FONT* pFont0, DK_FONT* pFont1, DK_FONT* pFont2,
                         DK_FONT* pFont3);
DK_MENU* DkMenu_SetColours(DK_MENU* pMenu, const uint8_t* pColour0, const uint8_t* pColour1,
                           const uint8_t* pColour2, const uint8_t* pColour3);
DK_MENU* DkMenu_SetKeyFlags(DK_MENU* pMenu, uint8_t uNavigate, uint8_t uChange, uint8_t uAccept,
                            uint8_t uBack);
DK_MENU* DkMenu_SetWrap(DK_MENU* pMenu, uint8_t uWrap);
DK_MENU* DkMenu_SetLayout(DK_MENU* pMenu, int32_t nLayout);
void DkMenu_SetLinks(DK_MENU* pMenu, DK_MENU* pLink0, int32_t nId0, DK_MENU* pLink1, int32_t nId1,
                     DK_MENU* pLink2, int32_t nId2, DK_MENU* pLink3, int32_t nId3);
// The title and item texts from their language text ids (those that are not -1).
DK_MENU* DkMenu_ResolveTexts(DK_MENU* pMenu);
DK_MENU* DkMenu_Finish(DK_MENU* pMenu);

// Queries and switches.
int32_t DkMenu_FindItem(DK_MENU* pMenu, int32_t nId);
DK_MENU_ITEM* DkMenu_GetItem(DK_MENU* pMenu, int32_t nId);
DK_MENU_ITEM* DkMenu_SetItemSubmenu(DK_MENU* pMenu, int32_t nId, DK_MENU* pSubmenu);
BOOL DkMenu_SetItemEnabled(DK_MENU* pMenu, int32_t nId, uint8_t uEnabled);
BOOL DkMenu_SetItemDisplayed(DK_MENU* pMenu, int32_t nId, uint8_t uDisplayed);
int32_t DkMenu_GetItemValue(DK_MENU* pMenu, int32_t nId);

// Running.
DK_MENU* DkMenu_Enter(DK_MENU* pMenu, uint8_t uArgument);
int32_t DkMenu_Draw(DK_MENU* pMenu);
DK_MENU* DkMenu_HandleInput(DK_MENU* pMenu, uint32_t uFlags);
DK_MENU* DkMenu_SetPendingMenu(DK_MENU* pMenu);
void DkMenu_SetPendingMenuB(DK_MENU* pMenu);
BOOL DkMenu_IsOutsideCallback(void);

// Test hooks: the menu last entered, whether the last menu left was left by going back, and
// forgetting the engine's state.
DK_MENU* DkMenu_GetCurrentMenu(void);
uint8_t DkMenu_WentBack(void);
void DkMenu_Reset(void);
