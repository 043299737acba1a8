// Menus driven by scripted input flags: what each input does to the selection, the values, the
// bound ints and the pending menu, and what the owner's callbacks are told, in which order.

#include "engine/common/dk_menu.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_text.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_timer.h"
#include "tests/support/engine_test.h"

namespace
{

// The vertical layout's bits; the horizontal layout swaps the pairs.
constexpr uint32_t kUp = DK_MENU_INPUT_4;
constexpr uint32_t kDown = DK_MENU_INPUT_8;
constexpr uint32_t kLess = DK_MENU_INPUT_1;
constexpr uint32_t kMore = DK_MENU_INPUT_2;
constexpr uint32_t kAccept = DK_MENU_INPUT_ACCEPT;
constexpr uint32_t kBack = DK_MENU_INPUT_BACK;

// Everything the callbacks are told, in order.
std::vector<std::string> gEvents;

std::string Name(const DK_MENU* pMenu)
{
    return pMenu != nullptr && pMenu->pszTitle != nullptr ? pMenu->pszTitle : "?";
}

std::string ItemName(const DK_MENU_ITEM* pItem)
{
    return pItem != nullptr && pItem->pszText != nullptr ? pItem->pszText : "-";
}

void Record(const std::string& event)
{
    gEvents.push_back(event);
}

void OnMoved(DK_MENU* m, DK_MENU_ITEM* i, int32_t r)
{
    Record("moved " + Name(m) + " " + ItemName(i) + " " + std::to_string(r));
}
void OnChanged(DK_MENU* m, DK_MENU_ITEM* i, int32_t r)
{
    Record("changed " + Name(m) + " " + ItemName(i) + " " + std::to_string(r));
}
void OnOpened(DK_MENU* m, DK_MENU_ITEM* i, int32_t r)
{
    Record("opened " + Name(m) + " " + ItemName(i) + " " + std::to_string(r));
}
void OnWentBack(DK_MENU* m, DK_MENU_ITEM* i, int32_t r)
{
    Record("went back " + Name(m) + " " + ItemName(i) + " " + std::to_string(r));
}
const DK_MENU_FEEDBACK kFeedback = {OnMoved, OnChanged, OnOpened, OnWentBack};

DK_MENU* OnInitialise(DK_MENU* m, uint8_t uArgument)
{
    Record("initialise " + Name(m) + " " + std::to_string(uArgument) + " outside " +
           std::to_string(DkMenu_IsOutsideCallback()));
    return m;
}
void OnHandler(DK_MENU* m)
{
    Record("handler " + Name(m));
}
void OnDraw(DK_MENU* m)
{
    Record("draw " + Name(m));
}
void OnLeave(DK_MENU* m, uint8_t uGoingBack)
{
    Record("leave " + Name(m) + " " + std::to_string(uGoingBack));
}
void OnExit(DK_MENU* m)
{
    Record("exit " + Name(m));
}
void OnAccept(DK_MENU* m, DK_MENU_ITEM* i)
{
    Record("accept " + Name(m) + " " + ItemName(i));
}
void OnDrawItem(DK_MENU* m, DK_MENU_ITEM* i, BOOL boSelected)
{
    Record("draw " + Name(m) + " " + ItemName(i) + (boSelected ? " selected" : ""));
}

class DkMenuTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        DkMenu_Reset();
        gEvents.clear();
    }
    void TearDown() override
    {
        DkMenu_Reset();
        LoggedTest::TearDown();
    }

    // Runs the flags one call each and returns the events they raised.
    static std::vector<std::string> Drive(DK_MENU* pMenu, const std::vector<uint32_t>& flags)
    {
        gEvents.clear();
        for (uint32_t uFlags : flags)
            DkMenu_HandleInput(pMenu, uFlags);
        return gEvents;
    }
};

// Item kinds of the table tests.
enum Kind
{
    kAction,
    kHidden,
    kDisabled,
};

void BuildMenu(DK_MENU* pMenu, const char* pszTitle, const std::vector<Kind>& kinds)
{
    static const char* const kNames[] = {"a", "b", "c", "d", "e", "f"};
    DkMenu_Init(pMenu, pszTitle, -1, nullptr, nullptr, &kFeedback);
    for (size_t n = 0; n < kinds.size(); ++n)
    {
        DkMenu_AddTextItem(pMenu, kNames[n], -1);
        DkMenu_SetItemId(pMenu, nullptr, nullptr, static_cast<int32_t>(n + 1));
        if (kinds[n] == kHidden)
            DkMenu_SetItemDisplayed(pMenu, static_cast<int32_t>(n + 1), 0);
        if (kinds[n] == kDisabled)
            DkMenu_SetItemEnabled(pMenu, static_cast<int32_t>(n + 1), 0);
    }
}

TEST_F(DkMenuTest, NavigationMovesOverSelectableItemsInEitherLayout)
{
    struct Case
    {
        const char* what;
        int32_t layout;
        uint8_t wrap;
        uint8_t navigate;
        std::vector<Kind> items;
        int32_t start;
        std::vector<uint32_t> flags;
        std::vector<int32_t> selection; // after each call
        std::vector<int32_t> moved;     // what the feedback was told, one per navigation
    };
    const Case cases[] = {
        {"vertical: 8 is next, 4 previous",
         1,
         0,
         1,
         {kAction, kAction, kAction},
         0,
         {kDown, kDown, kUp},
         {1, 2, 1},
         {1, 1, 1}},
        {"horizontal: 2 is next, 1 previous",
         0,
         0,
         1,
         {kAction, kAction, kAction},
         0,
         {DK_MENU_INPUT_2, DK_MENU_INPUT_2, DK_MENU_INPUT_1},
         {1, 2, 1},
         {1, 1, 1}},
        {"any layout but 1 is horizontal",
         7,
         0,
         1,
         {kAction, kAction},
         0,
         {DK_MENU_INPUT_2, DK_MENU_INPUT_8},
         {1, 1},
         {1}},
        {"vertical: the value bits do not move",
         1,
         0,
         1,
         {kAction, kAction},
         0,
         {DK_MENU_INPUT_1, DK_MENU_INPUT_2},
         {0, 0},
         {}},
        {"horizontal: the value bits do not move",
         0,
         0,
         1,
         {kAction, kAction},
         0,
         {DK_MENU_INPUT_4, DK_MENU_INPUT_8},
         {0, 0},
         {}},
        {"a disabled middle item is stepped over both ways",
         1,
         0,
         1,
         {kAction, kDisabled, kAction},
         0,
         {kDown, kUp},
         {2, 0},
         {1, 1}},
        {"a hidden item is stepped over",
         1,
         0,
         1,
         {kAction, kHidden, kHidden, kAction},
         0,
         {kDown, kUp},
         {3, 0},
         {1, 1}},
        {"without wrap the last item stays and reports no move",
         1,
         0,
         1,
         {kAction, kAction, kAction},
         2,
         {kDown},
         {2},
         {0}},
        {"without wrap the first item stays and reports no move",
         1,
         0,
         1,
         {kAction, kAction},
         0,
         {kUp},
         {0},
         {0}},
        {"with wrap the selection goes round both ways",
         1,
         1,
         1,
         {kAction, kAction, kAction},
         2,
         {kDown, kUp, kUp},
         {0, 2, 1},
         {1, 1, 1}},
        {"wrapping passes a disabled first item",
         1,
         1,
         1,
         {kDisabled, kAction, kAction},
         2,
         {kDown},
         {1},
         {1}},
        {"a disabled selection is moved to the next enabled item first",
         1,
         0,
         1,
         {kAction, kAction, kAction, kAction},
         0,
         {0},
         {0},
         {}},
        {"navigation not allowed", 1, 1, 0, {kAction, kAction}, 0, {kDown, kUp}, {0, 0}, {}},
        {"no selectable item keeps the selection",
         1,
         1,
         1,
         {kHidden, kHidden, kHidden},
         0,
         {kDown},
         {0},
         {0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DK_MENU menu;
        BuildMenu(&menu, "m", c.items);
        DkMenu_SetLayout(&menu, c.layout);
        DkMenu_SetWrap(&menu, c.wrap);
        DkMenu_SetKeyFlags(&menu, c.navigate, 1, 1, 1);
        DkMenu_SetOption(&menu, c.start);
        gEvents.clear();
        std::vector<int32_t> selection;
        for (uint32_t uFlags : c.flags)
        {
            EXPECT_EQ(DkMenu_HandleInput(&menu, uFlags), nullptr);
            selection.push_back(menu.nCurrentItem);
        }
        EXPECT_EQ(selection, c.selection);
        std::vector<int32_t> moved;
        for (const std::string& event : gEvents)
        {
            ASSERT_EQ(event.rfind("moved m ", 0), 0u) << event;
            moved.push_back(event.back() - '0');
        }
        EXPECT_EQ(moved, c.moved);
    }
}

TEST_F(DkMenuTest, ADisabledSelectionMovesToTheNextEnabledItemBeforeAnythingElse)
{
    DK_MENU menu;
    BuildMenu(&menu, "m", {kAction, kAction, kAction});
    DkMenu_SetItemEnabled(&menu, 1, 0);
    DkMenu_SetItemEnabled(&menu, 2, 0);
    DkMenu_HandleInput(&menu, 0);
    EXPECT_EQ(menu.nCurrentItem, 2);
}

TEST_F(DkMenuTest, ValuesChangeWrapOrStopAndReachTheBoundInt)
{
    enum ItemKind
    {
        kRange,
        kToggle,
        kValueList,
    };
    struct Case
    {
        const char* what;
        ItemKind kind;
        int32_t layout;
        int32_t count;
        int32_t value;
        uint8_t wraps;
        uint8_t change;
        BOOL acceptAdvances;
        BOOL acceptCallback;
        uint32_t flags;
        int32_t expected;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"a toggle at 1 wraps to 0",
         kToggle,
         1,
         0,
         1,
         0,
         1,
         FALSE,
         FALSE,
         kMore,
         0,
         {"changed m v 1"}},
        {"a toggle at 0 wraps down to 1",
         kToggle,
         1,
         0,
         0,
         0,
         1,
         FALSE,
         FALSE,
         kLess,
         1,
         {"changed m v 1"}},
        {"a range at its top stays without wrap",
         kRange,
         1,
         6,
         5,
         0,
         1,
         FALSE,
         FALSE,
         kMore,
         5,
         {"changed m v 0"}},
        {"a range at 0 stays without wrap",
         kRange,
         1,
         6,
         0,
         0,
         1,
         FALSE,
         FALSE,
         kLess,
         0,
         {"changed m v 0"}},
        {"a wrapping range goes from 0 to its top",
         kRange,
         1,
         6,
         0,
         1,
         1,
         FALSE,
         FALSE,
         kLess,
         5,
         {"changed m v 1"}},
        {"a range rises", kRange, 1, 6, 2, 0, 1, FALSE, FALSE, kMore, 3, {"changed m v 1"}},
        {"horizontal: 8 raises",
         kRange,
         0,
         6,
         2,
         0,
         1,
         FALSE,
         FALSE,
         DK_MENU_INPUT_8,
         3,
         {"changed m v 1"}},
        {"horizontal: 4 lowers",
         kRange,
         0,
         6,
         2,
         0,
         1,
         FALSE,
         FALSE,
         DK_MENU_INPUT_4,
         1,
         {"changed m v 1"}},
        {"horizontal: 2 moves instead",
         kRange,
         0,
         6,
         2,
         0,
         1,
         FALSE,
         FALSE,
         DK_MENU_INPUT_2,
         2,
         {"moved m v 0"}},
        {"a navigation bit in the same call stops the change",
         kRange,
         1,
         6,
         2,
         0,
         1,
         FALSE,
         FALSE,
         kMore | kDown,
         2,
         {"moved m v 0"}},
        {"changes not allowed", kRange, 1, 6, 2, 0, 0, FALSE, FALSE, kMore, 2, {}},
        {"a value list rises",
         kValueList,
         1,
         4,
         1,
         0,
         1,
         FALSE,
         FALSE,
         kMore,
         2,
         {"changed m v 1"}},
        {"accept without the advance flag leaves the value",
         kRange,
         1,
         6,
         2,
         0,
         1,
         FALSE,
         FALSE,
         kAccept,
         2,
         {}},
        {"accept with the advance flag raises it",
         kRange,
         1,
         6,
         2,
         0,
         1,
         TRUE,
         FALSE,
         kAccept,
         3,
         {"changed m v 1"}},
        {"and wraps it", kRange, 1, 6, 5, 1, 1, TRUE, FALSE, kAccept, 0, {"changed m v 1"}},
        {"an accept callback takes over the advance",
         kRange,
         1,
         6,
         2,
         0,
         1,
         TRUE,
         TRUE,
         kAccept,
         2,
         {"changed m v 1", "accept m v"}},
        {"but value-up still raises it",
         kRange,
         1,
         6,
         2,
         0,
         1,
         FALSE,
         TRUE,
         kMore,
         3,
         {"changed m v 1"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DK_MENU menu;
        int32_t bound = -7;
        DkMenu_Init(&menu, "m", -1, nullptr, nullptr, &kFeedback);
        DkMenu_SetLayout(&menu, c.layout);
        DkMenu_SetKeyFlags(&menu, 1, c.change, 1, 1);
        if (c.kind == kToggle)
            DkMenu_AddToggleItem(&menu, "v", -1, static_cast<uint8_t>(c.value), &bound);
        else if (c.kind == kRange)
            DkMenu_AddRangeItem(&menu, "v", -1, c.count, c.value, c.wraps, &bound);
        else
            DkMenu_AddValueListItem(&menu, "v", -1, c.count, c.value, c.wraps, &bound);
        DkMenu_SetItemId(&menu, nullptr, c.acceptCallback ? OnAccept : nullptr, 1);
        if (c.acceptAdvances)
            DkMenu_FlagLastItem(&menu);
        EXPECT_EQ(Drive(&menu, {c.flags}), c.events);
        EXPECT_EQ(menu.aItems[0].nValue, c.expected);
        EXPECT_EQ(bound, c.expected) << "the bound int gets the value after every call";
        EXPECT_EQ(DkMenu_GetItemValue(&menu, 1), c.expected);
        EXPECT_EQ(menu.nRememberedValue, c.expected);
    }
}

TEST_F(DkMenuTest, ValueListItemsShareTheRememberedValue)
{
    DK_MENU menu;
    int32_t first = -1, second = -1;
    DkMenu_Init(&menu, "m", -1, nullptr, nullptr, &kFeedback);
    DkMenu_AddValueListItem(&menu, "five", -1, 5, 0, 0, &first);
    DkMenu_AddTextItem(&menu, "plain", -1);
    DkMenu_AddValueListItem(&menu, "two", -1, 2, 0, 0, &second);
    Drive(&menu, {kMore, kMore, kMore});
    EXPECT_EQ(first, 3);
    EXPECT_EQ(menu.nRememberedValue, 3);

    Drive(&menu, {kDown, kDown});
    EXPECT_EQ(menu.nCurrentItem, 2);
    EXPECT_EQ(menu.nRememberedValue, 1) << "held within the values of the item moved onto";
    EXPECT_EQ(menu.aItems[2].nValue, 1);
    EXPECT_EQ(second, 1);

    Drive(&menu, {kLess, kUp, kUp});
    EXPECT_EQ(second, 0);
    EXPECT_EQ(menu.aItems[0].nValue, 0) << "the first item takes the shared value on arrival";
    EXPECT_EQ(first, 0);

    // A value list without values passes no value below 0 on to the next one.
    int32_t none = -7, three = -7;
    DkMenu_Init(&menu, "m", -1, nullptr, nullptr, &kFeedback);
    DkMenu_AddValueListItem(&menu, "five", -1, 5, 3, 0, &first);
    DkMenu_AddValueListItem(&menu, "none", -1, 0, 0, 0, &none);
    DkMenu_AddValueListItem(&menu, "three", -1, 3, 0, 0, &three);
    Drive(&menu, {kMore, kDown, kDown});
    EXPECT_EQ(menu.nCurrentItem, 2);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(menu.aItems[1].nValue, 0);
    EXPECT_GE(three, 0);
    EXPECT_GE(menu.nRememberedValue, 0);
}

TEST_F(DkMenuTest, ListEntriesAndActionsWriteTheirListValueWhenAccepted)
{
    DK_MENU parent, menu;
    int32_t bound = -1;
    BuildMenu(&parent, "parent", {kAction});
    DkMenu_Init(&menu, "m", -1, nullptr, &parent, &kFeedback);
    DkMenu_AddListItem(&menu, "red", -1, 30, &bound);
    DkMenu_SetItemId(&menu, nullptr, nullptr, 1);
    DkMenu_AddListItem(&menu, "blue", -1, 40, &bound);
    DkMenu_SetItemId(&menu, nullptr, nullptr, 2);
    DkMenu_AddTextItem(&menu, "done", -1);
    DkMenu_SetItemId(&menu, nullptr, nullptr, 3);

    EXPECT_EQ(DkMenu_GetItemValue(&menu, 2), 40);
    EXPECT_EQ(DkMenu_GetItemValue(&menu, 3), -1);
    EXPECT_EQ(DkMenu_GetItemValue(&menu, 9), -1);
    DkMenu_HandleInput(&menu, kDown);
    EXPECT_EQ(bound, -1) << "only an accept writes a list entry's value";
    EXPECT_EQ(DkMenu_HandleInput(&menu, kAccept), nullptr) << "a list entry goes nowhere";
    EXPECT_EQ(bound, 40);
    DkMenu_HandleInput(&menu, kDown);
    EXPECT_EQ(DkMenu_HandleInput(&menu, kAccept), &parent);
}

TEST_F(DkMenuTest, SubmenusOpenAndBackReturnsTheParentWithTheCallbacksInOrder)
{
    DK_MENU top, sub;
    DkMenu_Init(&top, "top", -1, nullptr, nullptr, &kFeedback);
    DkMenu_Init(&sub, "sub", -1, nullptr, &top, &kFeedback);
    DkMenu_AddSubmenuItem(&top, "open", -1, &sub);
    DkMenu_SetItemId(&top, nullptr, OnAccept, 1);
    DkMenu_SetCallbacks(&top, nullptr, OnHandler, nullptr, OnLeave, nullptr);
    DkMenu_AddRangeItem(&sub, "range", -1, 3, 0, 0, nullptr);
    DkMenu_AddTextItem(&sub, "ok", -1);
    DkMenu_SetItemId(&sub, nullptr, OnAccept, 2);
    DkMenu_SetCallbacks(&sub, nullptr, OnHandler, nullptr, OnLeave, nullptr);

    struct Step
    {
        DK_MENU* menu;
        uint32_t flags;
        DK_MENU* result;
        std::vector<std::string> events;
        uint8_t wentBack;
    };
    const Step steps[] = {
        {&top,
         kAccept,
         &sub,
         {"accept top open", "opened top open 1", "handler top", "leave top 0"},
         0},
        {&sub, kBack, &top, {"went back sub range 1", "handler sub", "leave sub 1"}, 1},
        {&sub, kDown, nullptr, {"moved sub ok 1", "handler sub"}, 1},
        {&sub,
         kAccept,
         &top,
         {"accept sub ok", "went back sub ok 1", "handler sub", "leave sub 1"},
         1},
        {&top, kBack, nullptr, {"went back top open 1", "handler top"}, 1},
    };
    for (const Step& step : steps)
    {
        SCOPED_TRACE(Name(step.menu) + " " + std::to_string(step.flags));
        gEvents.clear();
        EXPECT_EQ(DkMenu_HandleInput(step.menu, step.flags), step.result);
        EXPECT_EQ(gEvents, step.events);
        EXPECT_EQ(DkMenu_WentBack(), step.wentBack);
    }

    // Nothing happens where the menu's bytes forbid it.
    DkMenu_SetKeyFlags(&sub, 1, 1, 0, 0);
    EXPECT_EQ(DkMenu_HandleInput(&sub, kAccept), nullptr);
    EXPECT_EQ(DkMenu_HandleInput(&sub, kBack), nullptr);
    // A disabled item is not accepted, but back still works.
    DkMenu_SetItemEnabled(&top, 1, 0);
    gEvents.clear();
    EXPECT_EQ(DkMenu_HandleInput(&top, kAccept), nullptr);
    EXPECT_EQ(gEvents, (std::vector<std::string>{"handler top"}));
}

TEST_F(DkMenuTest, AnOwnersPendingMenuIsReturnedWithoutHandlingTheInput)
{
    DK_MENU menu, other;
    BuildMenu(&menu, "m", {kAction, kAction});
    BuildMenu(&other, "other", {kAction});
    DkMenu_SetCallbacks(&menu, nullptr, OnHandler, nullptr, OnLeave, nullptr);
    EXPECT_EQ(DkMenu_SetPendingMenu(&other), &other);
    EXPECT_EQ(Drive(&menu, {kDown}), (std::vector<std::string>{"leave m 1"}))
        << "no input is decoded; an action item counts as going back";
    EXPECT_EQ(menu.nCurrentItem, 0);
    EXPECT_EQ(DkMenu_HandleInput(&menu, 0), nullptr) << "the pending menu is given once";
    DkMenu_SetPendingMenuB(&other);
    EXPECT_EQ(DkMenu_HandleInput(nullptr, kDown), nullptr);
    EXPECT_EQ(DkMenu_HandleInput(&menu, 0), &other);
}

TEST_F(DkMenuTest, LinksLeadToNeighbouringMenusAtTheEndsAndOnValueInputs)
{
    struct Case
    {
        const char* what;
        int link;
        int32_t linkedId;
        int32_t start;
        uint32_t flags;
        int32_t linkedSelection;
    };
    const Case cases[] = {
        {"previous past the first item", 0, 2, 0, kUp, 1},
        {"previous, id not there: its last item", 0, 99, 0, kUp, 2},
        {"next past the last item", 1, 3, 2, kDown, 2},
        {"next, id not there: its first item", 1, 99, 2, kDown, 0},
        {"value down", 2, 1, 1, kLess, 0},
        {"value down, id not there: its last item", 2, 99, 1, kLess, 2},
        {"value up", 3, 3, 1, kMore, 2},
        {"value up, id not there: its first item", 3, 99, 1, kMore, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DK_MENU menu, linked;
        BuildMenu(&menu, "m", {kAction, kAction, kAction});
        BuildMenu(&linked, "linked", {kAction, kAction, kAction});
        DK_MENU* links[4] = {};
        int32_t ids[4] = {};
        links[c.link] = &linked;
        ids[c.link] = c.linkedId;
        DkMenu_SetLinks(&menu, links[0], ids[0], links[1], ids[1], links[2], ids[2], links[3],
                        ids[3]);
        DkMenu_SetOption(&menu, c.start);
        DkMenu_SetOption(&linked, 7);
        gEvents.clear();
        EXPECT_EQ(DkMenu_HandleInput(&menu, c.flags), &linked);
        EXPECT_EQ(linked.nCurrentItem, c.linkedSelection);
        EXPECT_EQ(menu.nCurrentItem, c.start);
        ASSERT_EQ(gEvents.size(), 1u);
        EXPECT_EQ(gEvents[0].substr(0, 8), "moved m ");
        EXPECT_EQ(gEvents[0].back(), '1');
    }
}

TEST_F(DkMenuTest, EnteringSelectsCallsExitAndInitialiseAndAdoptsTheParent)
{
    DK_MENU a, b, c;
    BuildMenu(&a, "a", {kAction});
    DkMenu_SetCallbacks(&a, nullptr, nullptr, nullptr, nullptr, OnExit);
    DkMenu_Init(&b, "b", -1, nullptr, DK_MENU_PARENT_ON_ENTRY, &kFeedback);
    DkMenu_AddTextItem(&b, "hidden", -1);
    DkMenu_SetItemId(&b, nullptr, nullptr, 1);
    DkMenu_SetItemDisplayed(&b, 1, 0);
    DkMenu_AddTextItem(&b, "one", -1);
    DkMenu_AddSubmenuItem(&b, "two", -1, &c);
    DkMenu_SetCallbacks(&b, OnInitialise, nullptr, nullptr, nullptr, OnExit);
    DkMenu_Init(&c, "c", -1, nullptr, &b, &kFeedback);
    DkMenu_AddTextItem(&c, "back", -1);

    EXPECT_EQ(DkMenu_Enter(nullptr, 0), nullptr);
    EXPECT_EQ(DkMenu_Enter(&a, 0), &a);
    EXPECT_EQ(b.pParent, nullptr);
    gEvents.clear();
    EXPECT_EQ(DkMenu_Enter(&b, 9), &b);
    EXPECT_EQ(gEvents, (std::vector<std::string>{"exit a", "initialise b 9 outside 0"}));
    EXPECT_TRUE(DkMenu_IsOutsideCallback());
    EXPECT_EQ(DkMenu_GetCurrentMenu(), &b);
    EXPECT_EQ(b.pParent, &a) << "the menu current until then is the parent";
    EXPECT_EQ(b.nCurrentItem, 1) << "the hidden first item is passed over";

    // Into the submenu and back: coming back from its child keeps the parent it had.
    DkMenu_HandleInput(&b, kDown);
    EXPECT_EQ(DkMenu_HandleInput(&b, kAccept), &c);
    DkMenu_Enter(&c, 0);
    EXPECT_EQ(DkMenu_HandleInput(&c, kAccept), &b);
    DkMenu_Enter(&b, 0);
    EXPECT_EQ(b.pParent, &a);
    EXPECT_EQ(b.nCurrentItem, 2) << "the selection is kept without an initial item";
    EXPECT_EQ(DkMenu_HandleInput(&b, kBack), &a);

    // An initial item wins over the current one; one out of range is ignored.
    DkMenu_DefaultToLastItem(&b);
    DkMenu_SetOption(&b, 1);
    DkMenu_Enter(&b, 0);
    EXPECT_EQ(b.nCurrentItem, 2);
    b.nInitialItem = 7;
    DkMenu_SetOption(&b, 1);
    DkMenu_Enter(&b, 0);
    EXPECT_EQ(b.nCurrentItem, 1);
}

TEST_F(DkMenuTest, DrawingCallsTheMenuThenEachShownItem)
{
    DK_MENU menu;
    DkMenu_Init(&menu, "m", -1, nullptr, nullptr, nullptr);
    DkMenu_SetCallbacks(&menu, nullptr, nullptr, OnDraw, nullptr, nullptr);
    for (const char* text : {"a", "b", "c", "d"})
    {
        DkMenu_AddTextItem(&menu, text, -1);
        DkMenu_SetItemId(&menu, OnDrawItem, nullptr, text[0]);
    }
    DkMenu_SetItemId(&menu, nullptr, nullptr, 'd');
    DkMenu_SetItemDisplayed(&menu, 'b', 0);
    DkMenu_SetOption(&menu, 2);
    gEvents.clear();
    EXPECT_EQ(DkMenu_Draw(&menu), 4);
    EXPECT_EQ(gEvents, (std::vector<std::string>{"draw m", "draw m a", "draw m c selected"}));
    EXPECT_EQ(DkMenu_Draw(nullptr), 0);
    // Without feedback the input goes on quietly.
    gEvents.clear();
    DkMenu_HandleInput(&menu, kUp | kAccept);
    EXPECT_TRUE(gEvents.empty());
}

TEST_F(DkMenuTest, BuildersSetDefaultsIdsAndTexts)
{
    DK_MENU menu;
    int32_t user = 0;
    std::memset(&menu, 0x5A, sizeof menu);
    DkMenu_Init(&menu, "title", -1, &user, nullptr, nullptr);
    EXPECT_EQ(menu.nLayout, 1);
    EXPECT_EQ(menu.uNavigateAllowed + menu.uChangeAllowed + menu.uAcceptAllowed + menu.uBackAllowed,
              4);
    EXPECT_EQ(menu.uWrap, 0);
    EXPECT_EQ(menu.nItemCount, 0);
    EXPECT_EQ(menu.nInitialItem, -1);
    EXPECT_EQ(menu.pnUserValue, &user);
    for (int n = 0; n < 4; ++n)
    {
        EXPECT_EQ(menu.apLinks[n], nullptr);
        EXPECT_EQ(menu.apFonts[n], nullptr);
        ASSERT_NE(menu.apColours[n], nullptr);
        EXPECT_EQ(std::memcmp(menu.apColours[n], "\xFF\xFF\xFF\xFF", 4), 0) << "white";
    }
    DkMenu_AddToggleItem(&menu, "on", -1, 5, nullptr);
    EXPECT_EQ(menu.aItems[0].nValueCount, 2);
    EXPECT_EQ(menu.aItems[0].nValue, 1);
    EXPECT_EQ(menu.aItems[0].uValueWraps, 1);
    EXPECT_EQ(menu.aItems[0].nId, 0);
    EXPECT_EQ(menu.aItems[0].uEnabled + menu.aItems[0].uDisplayed, 2);

    // Ids: a re-used id warns once for each item that has it; id 0 never does.
    struct Case
    {
        std::vector<int32_t> ids;
        int warnings;
    };
    const Case cases[] = {{{7, 7}, 1}, {{7, 3, 7, 7}, 3}, {{0, 0, 0}, 0}, {{1, 2, 3}, 0}};
    int warnings = 0;
    for (const Case& c : cases)
    {
        DkMenu_Init(&menu, "ids", -1, nullptr, nullptr, nullptr);
        for (int32_t id : c.ids)
        {
            DkMenu_AddTextItem(&menu, "x", -1);
            DkMenu_SetItemId(&menu, nullptr, nullptr, id);
        }
        warnings += c.warnings;
    }
    std::string log = Log();
    EXPECT_EQ(CountOf(log, "*** WARNING -> MENU ITEM ID 7 RE-USED!!!"), warnings);
    EXPECT_EQ(CountOf(log, "RE-USED"), warnings);
    EXPECT_EQ(DkMenu_FindItem(&menu, 3), 2);
    EXPECT_EQ(DkMenu_FindItem(&menu, 4), -1);
    EXPECT_EQ(DkMenu_GetItem(&menu, 2), &menu.aItems[1]);
    EXPECT_EQ(DkMenu_GetItem(&menu, 4), nullptr);
    EXPECT_EQ(DkMenu_SetItemSubmenu(&menu, 2, &menu), &menu.aItems[1]);
    EXPECT_EQ(menu.aItems[1].pSubmenu, &menu);
    EXPECT_EQ(DkMenu_SetItemSubmenu(&menu, 4, &menu), nullptr);
    EXPECT_FALSE(DkMenu_SetItemEnabled(&menu, 4, 0));
    EXPECT_FALSE(DkMenu_SetItemDisplayed(&menu, 4, 0));
    DkMenu_SelectLastItem(&menu);
    EXPECT_EQ(menu.nCurrentItem, 2);
}

TEST_F(DkMenuTest, TextsComeFromTheLanguageTable)
{
    DkHeapInit(64 * 1024);
    const char text[] = "Options\r\nSound\r\nMusic\r\n";
    char* image = static_cast<char*>(DkHeapAlloc(sizeof text));
    std::memcpy(image, text, sizeof text);
    uint32_t size = sizeof text - 1;
    DkInitialiseLanguageText(1, 3, &image, &size);

    DK_MENU menu;
    DkMenu_Init(&menu, "untranslated", 0, nullptr, nullptr, nullptr);
    DkMenu_AddTextItem(&menu, "kept", -1);
    DkMenu_AddTextItem(&menu, "replaced", 2);
    EXPECT_EQ(DkMenu_Finish(&menu), &menu);
    EXPECT_STREQ(menu.pszTitle, "Options");
    EXPECT_STREQ(menu.aItems[0].pszText, "kept");
    EXPECT_STREQ(menu.aItems[1].pszText, "Music");

    DkFreeLanguageText();
    CaptureOutput([] { DkCallAllDestructors(); });
}

TEST_F(DkMenuTest, AFullMenuRefusesMoreItemsAndAnEmptyOneIgnoresItemInput)
{
    DK_MENU parent, menu;
    BuildMenu(&parent, "parent", {kAction});
    DkMenu_Init(&menu, "full", -1, nullptr, &parent, &kFeedback);
    for (int n = 0; n < DK_MENU_MAX_ITEMS; ++n)
        DkMenu_AddTextItem(&menu, "x", -1);
    DkMenu_SetItemId(&menu, OnDrawItem, nullptr, 20);
    std::string out = CaptureOutput(
        [&]
        {
            DkMenu_AddRangeItem(&menu, "one too many", -1, 3, 0, 0, nullptr);
            // What the owner goes on to set up belongs to the refused item, not to the last one.
            DkMenu_SetItemId(&menu, nullptr, OnAccept, 21);
            DkMenu_FlagLastItem(&menu);
            DkMenu_AddListItem(&menu, "and another", -1, 0, nullptr);
            DkMenu_SetItemId(&menu, nullptr, OnAccept, 20);
        });
    EXPECT_EQ(CountReports(out), 2);
    EXPECT_EQ(menu.nItemCount, DK_MENU_MAX_ITEMS);
    const DK_MENU_ITEM& last = menu.aItems[DK_MENU_MAX_ITEMS - 1];
    EXPECT_EQ(last.nId, 20);
    EXPECT_EQ(last.pfnDraw, OnDrawItem);
    EXPECT_EQ(last.pfnAccept, nullptr);
    EXPECT_EQ(last.uAcceptAdvances, 0);
    EXPECT_EQ(CountOf(Log(), "RE-USED"), 0);
    // Built again from the start, the menu's last item is its own once more.
    DkMenu_Init(&menu, "full", -1, nullptr, &parent, &kFeedback);
    DkMenu_AddTextItem(&menu, "x", -1);
    DkMenu_SetItemId(&menu, nullptr, nullptr, 3);
    EXPECT_EQ(menu.aItems[0].nId, 3);
    for (int n = 1; n < DK_MENU_MAX_ITEMS; ++n)
        DkMenu_AddTextItem(&menu, "x", -1);

    DK_MENU empty;
    DkMenu_Init(&empty, "empty", -1, nullptr, &parent, &kFeedback);
    DkMenu_SetItemId(&empty, OnDrawItem, OnAccept, 5);
    DkMenu_FlagLastItem(&empty);
    DkMenu_SelectLastItem(&empty);
    EXPECT_EQ(empty.nCurrentItem, 0);
    EXPECT_EQ(DkMenu_Enter(&empty, 0), &empty);
    EXPECT_EQ(Drive(&empty, {kDown, kUp, kMore, kAccept}), std::vector<std::string>{});
    EXPECT_EQ(DkMenu_HandleInput(&empty, kBack), &parent);

    // A selection the owner set outside the items is brought back to the first.
    DkMenu_SetOption(&menu, 40);
    EXPECT_EQ(DkMenu_HandleInput(&menu, kAccept), &parent);
    EXPECT_EQ(menu.nCurrentItem, 0);
}

// The menu tick on the timer thread and the drawing on this one never overlap: the handler and
// the draw callbacks each mark their work, check the other's mark, and take a while, so that
// ticks keep falling due in the middle of a drawing.
std::atomic<bool> gboInTick{false};
std::atomic<bool> gboInDraw{false};
std::atomic<int> gnOverlaps{0};
std::atomic<int> gnMenuTicks{0};
DK_MENU gThreadMenu;
int32_t gnThreadBound = 0;

void BusyFor(int n)
{
    volatile unsigned sink = 0;
    for (int i = 0; i < n; ++i)
        sink = sink + static_cast<unsigned>(i);
}

void ThreadHandler(DK_MENU*)
{
    if (gboInDraw)
        ++gnOverlaps;
    gboInTick = true;
    BusyFor(20000);
    gboInTick = false;
}

void ThreadDraw(DK_MENU*)
{
    if (gboInTick)
        ++gnOverlaps;
    gboInDraw = true;
    BusyFor(100000);
    gboInDraw = false;
}

void ThreadDrawItem(DK_MENU*, DK_MENU_ITEM* pItem, BOOL boSelected)
{
    if (gboInTick)
        ++gnOverlaps;
    gboInDraw = true;
    // A selected item is one that can be selected, and a value lies within its range.
    if (boSelected && !(pItem->uEnabled && pItem->uDisplayed))
        ++gnOverlaps;
    if (pItem->nType == DK_MENU_ITEM_RANGE &&
        (pItem->nValue < 0 || pItem->nValue >= pItem->nValueCount))
        ++gnOverlaps;
    BusyFor(5000);
    gboInDraw = false;
}

int MenuTick()
{
    static const uint32_t kScript[] = {kDown, kMore, kDown, kMore, kUp, kLess, kDown, kDown};
    int n = gnMenuTicks++;
    DkMenu_HandleInput(&gThreadMenu, kScript[n % 8]);
    return 0;
}

TEST(DkMenuThreadTest, TheMenuTickAndTheDrawingNeverSeeEachOthersHalfWork)
{
    DkMenu_Reset();
    DkMenu_Init(&gThreadMenu, "threads", -1, nullptr, nullptr, nullptr);
    DkMenu_SetWrap(&gThreadMenu, 1);
    DkMenu_SetCallbacks(&gThreadMenu, nullptr, ThreadHandler, ThreadDraw, nullptr, nullptr);
    for (int n = 0; n < 6; ++n)
    {
        DkMenu_AddRangeItem(&gThreadMenu, "r", -1, 3 + n, 0, 1, &gnThreadBound);
        DkMenu_SetItemId(&gThreadMenu, ThreadDrawItem, nullptr, n + 1);
        DkMenu_AddTextItem(&gThreadMenu, "off", -1);
        DkMenu_SetItemId(&gThreadMenu, ThreadDrawItem, nullptr, 100 + n);
        DkMenu_SetItemEnabled(&gThreadMenu, 100 + n, 0);
    }
    gnMenuTicks = 0;
    gnOverlaps = 0;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(DkStartTimerProcedure(5, MenuTick, 200));
    // Drawing as the front end does, a frame and a short rest, until enough ticks have run
    // (with a generous limit).
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int draws = 0;
    while ((gnMenuTicks < 200 || draws < 200) && std::chrono::steady_clock::now() < deadline)
    {
        DkMenu_Draw(&gThreadMenu);
        ++draws;
        std::this_thread::sleep_for(std::chrono::microseconds(draws % 3 == 0 ? 500 : 0));
    }
    DkStopTimerProcedure();
    DkCallAllDestructors();
    testing::internal::GetCapturedStderr();
    EXPECT_GE(gnMenuTicks, 200);
    EXPECT_EQ(gnOverlaps, 0);
    EXPECT_EQ(gThreadMenu.nCurrentItem % 2, 0) << "only the enabled items are ever selected";
    DkMenu_Reset();
}

// Menu calls and reports made from inside the section on either thread neither wait for
// themselves nor let a tick in: this thread's draw callback reports and drives another menu, and
// the tick's handler reports and draws that menu (also when the tick is the deferred one, run on
// this thread as the drawing ends).
DK_MENU gNestedMenu;
DK_MENU gNestedOther;

void NestedHandler(DK_MENU*)
{
    if (gboInDraw)
        ++gnOverlaps;
    gboInTick = true;
    DKREPORT("menu tick report");
    DkMenu_Draw(&gNestedOther);
    gboInTick = false;
}

void NestedDraw(DK_MENU*)
{
    if (gboInTick)
        ++gnOverlaps;
    gboInDraw = true;
    DKREPORT("menu draw report");
    DkMenu_HandleInput(&gNestedOther, kDown);
    BusyFor(50000);
    // The report and the inner menu call have not ended the section early.
    if (gboInTick)
        ++gnOverlaps;
    gboInDraw = false;
}

int NestedTick()
{
    ++gnMenuTicks;
    DkMenu_HandleInput(&gNestedMenu, kDown);
    return 0;
}

TEST(DkMenuThreadTest, MenuCallsAndReportsInsideTheSectionNeitherDeadlockNorLetATickIn)
{
    DkMenu_Reset();
    DkMenu_Init(&gNestedMenu, "nested", -1, nullptr, nullptr, nullptr);
    DkMenu_SetCallbacks(&gNestedMenu, nullptr, NestedHandler, NestedDraw, nullptr, nullptr);
    DkMenu_AddTextItem(&gNestedMenu, "a", -1);
    DkMenu_Init(&gNestedOther, "other", -1, nullptr, nullptr, nullptr);
    DkMenu_SetWrap(&gNestedOther, 1);
    for (int n = 0; n < 3; ++n)
        DkMenu_AddTextItem(&gNestedOther, "b", -1);
    gnMenuTicks = 0;
    gnOverlaps = 0;
    gboInTick = false;
    gboInDraw = false;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(DkStartTimerProcedure(5, NestedTick, 200));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int draws = 0;
    while ((gnMenuTicks < 100 || draws < 100) && std::chrono::steady_clock::now() < deadline)
    {
        DkMenu_Draw(&gNestedMenu);
        ++draws;
    }
    DkStopTimerProcedure();
    DkCallAllDestructors();
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_GE(gnMenuTicks, 100);
    EXPECT_GE(draws, 100);
    EXPECT_EQ(gnOverlaps, 0);
    EXPECT_GE(CountOf(out, "menu tick report"), 100);
    DkMenu_Reset();
}

} // namespace
