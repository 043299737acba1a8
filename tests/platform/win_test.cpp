#include "platform/win/win.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/time/time.h"
#include "platform/win/input_script.h"
#include "platform/win/keys.h"
#include "platform/win/win_internal.h"
#include "tests/support/test_env.h"

namespace
{

constexpr const char* kClass = "DezorTest";
constexpr const char* kTitle = "Test Window";
constexpr const char* kGameName = "Dravik Dezor";

struct Record
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the window procedures saw, in order.
std::vector<Record> gRecords;

LRESULT RecordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    gRecords.push_back({message, wParam, lParam});
    // A result of its own shows that SendMessageA and DispatchMessageA hand it back.
    if (message == WM_USER)
        return static_cast<LRESULT>(wParam) + lParam;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

LRESULT IgnoreCloseProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    gRecords.push_back({message, wParam, lParam});
    if (message == WM_CLOSE)
        return 0;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

bool IsDown(int vk)
{
    return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

// Lets the queue take in what SDL and the input script have for it.
void Pump()
{
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

class WinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WinInputScriptClear();
        WinKeysReset();
        Drain();
        gRecords.clear();
    }

    void TearDown() override
    {
        if (HWND hWnd = WinCurrentWindow())
            DestroyWindow(hWnd);
        for (const std::string& name : classes_)
            UnregisterClassA(name.c_str(), nullptr);
        WinInputScriptClear();
        WinKeysReset();
        Drain();
        gRecords.clear();
    }

    ATOM Register(const char* className, WNDPROC proc)
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc;
        wc.lpszClassName = className;
        ATOM atom = RegisterClassA(&wc);
        if (atom != 0)
            classes_.push_back(className);
        return atom;
    }

    HWND MakeWindow(WNDPROC proc = RecordingProc, const char* className = kClass,
                    const char* title = kTitle)
    {
        if (Register(className, proc) == 0)
        {
            ADD_FAILURE() << "cannot register " << className;
            return nullptr;
        }
        HWND hWnd = CreateWindowExA(0, className, title, WS_CAPTION, 0, 0, 320, 240, nullptr,
                                    nullptr, nullptr, nullptr);
        EXPECT_NE(hWnd, nullptr);
        return hWnd;
    }

    // Takes every message that matches out of the queue.
    static std::vector<MSG> Drain(HWND hWnd = nullptr, UINT filterMin = 0, UINT filterMax = 0)
    {
        std::vector<MSG> taken;
        MSG msg;
        while (PeekMessageA(&msg, hWnd, filterMin, filterMax, PM_REMOVE))
            taken.push_back(msg);
        return taken;
    }

    static std::vector<MSG> DrainKeys() { return Drain(nullptr, WM_KEYDOWN, WM_SYSKEYUP); }

    static int Count(const std::vector<MSG>& messages, UINT message)
    {
        int n = 0;
        for (const MSG& m : messages)
            n += m.message == message;
        return n;
    }

    TestEnv env;
    std::vector<std::string> classes_;
};

// --- Message queue -------------------------------------------------------------------------

TEST_F(WinTest, PostedMessagesComeOutInOrder)
{
    for (UINT i = 1; i <= 3; ++i)
        ASSERT_TRUE(PostMessageA(nullptr, WM_USER + i, i, 10 * i));

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    // PM_NOREMOVE left it at the head.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 10);

    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_USER + 2u);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_USER + 3u);
    EXPECT_EQ(msg.lParam, 30);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WinTest, PeekFiltersByWindowAndRange)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(PostMessageA(hWnd, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 5, 0, 0));
    ASSERT_TRUE(PostMessageA(hWnd, WM_USER + 9, 0, 0));

    MSG msg;
    // Nothing in the range, and the thread message is not the window's.
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 4, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, hWnd, WM_USER + 5, WM_USER + 5, PM_REMOVE));

    // A later message is taken past earlier ones, which stay in order.
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, WM_USER + 2, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 9u);
    EXPECT_EQ(msg.hwnd, hWnd);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 5, WM_USER + 5, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);

    std::vector<MSG> rest = Drain(nullptr, WM_USER, WM_USER + 100);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].message, WM_USER + 1u);
}

TEST_F(WinTest, GetMessageReturnsFalseForQuit)
{
    PostQuitMessage(7);
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

    // No filter keeps WM_QUIT out.
    PostQuitMessage(3);
    EXPECT_FALSE(GetMessageA(&msg, nullptr, WM_USER, WM_USER));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(WinTest, DispatchAndSendCallTheWindowProcedure)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    gRecords.clear();

    ASSERT_TRUE(PostMessageA(hWnd, WM_USER, 3, 4));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(DispatchMessageA(&msg), 7);
    ASSERT_EQ(gRecords.size(), 1u);
    EXPECT_EQ(gRecords[0].message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(gRecords[0].wParam, 3u);
    EXPECT_EQ(gRecords[0].lParam, 4);

    // Sent messages go straight to the procedure, not through the queue.
    EXPECT_EQ(SendMessageA(hWnd, WM_USER, 20, 22), 42);
    ASSERT_EQ(gRecords.size(), 2u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE));
}

TEST_F(WinTest, QueueHoldsOnePaint)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(PostMessageA(hWnd, WM_PAINT, 0, 0));
    // A peek that leaves it in place still counts it as held.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    ASSERT_TRUE(PostMessageA(hWnd, WM_PAINT, 0, 0));
    EXPECT_EQ(Count(Drain(), WM_PAINT), 1);

    // Once taken, the next one is queued again.
    ASSERT_TRUE(PostMessageA(hWnd, WM_PAINT, 0, 0));
    EXPECT_EQ(Count(Drain(), WM_PAINT), 1);

    // Invalidating the window queues its paint the same way, once however often it is asked.
    EXPECT_TRUE(InvalidateRect(hWnd, nullptr, FALSE));
    EXPECT_TRUE(InvalidateRect(hWnd, nullptr, TRUE));
    EXPECT_EQ(Count(Drain(), WM_PAINT), 1);
    EXPECT_FALSE(InvalidateRect(nullptr, nullptr, TRUE));
    EXPECT_EQ(Count(Drain(), WM_PAINT), 0);
}

TEST_F(WinTest, PostFromAnotherThreadWakesGetMessage)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    Drain();
    std::thread poster(
        [hWnd]
        {
            // Give the main thread a moment to block; the result holds either way. A refused
            // post quits, so that the wait below ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!PostMessageA(hWnd, WM_USER + 7, 5, 0))
                PostQuitMessage(1);
        });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) && msg.message != WM_USER + 7)
    {
    }
    poster.join();
    EXPECT_EQ(msg.message, WM_USER + 7u);
    EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(WinTest, SdlEventsBecomeMessages)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    Uint32 id = SDL_GetWindowID(WinGetSdlWindow(hWnd));
    Drain();

    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = id;
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.windowID = id;
    key.key.keysym.scancode = SDL_SCANCODE_RETURN;
    // Auto-repeat is not a new press.
    SDL_Event repeat = key;
    repeat.key.repeat = 1;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    for (SDL_Event* e : {&close, &key, &repeat, &quit})
        ASSERT_EQ(SDL_PushEvent(e), 1);

    std::vector<MSG> messages = Drain(nullptr, WM_CLOSE, WM_SYSKEYUP);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(messages[0].hwnd, hWnd);
    EXPECT_EQ(messages[1].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(messages[1].wParam, static_cast<WPARAM>(VK_RETURN));
    EXPECT_EQ(messages[2].message, static_cast<UINT>(WM_QUIT));
}

// --- Window --------------------------------------------------------------------------------

TEST_F(WinTest, RegisterClassRefusesDuplicatesAndMissingProcedure)
{
    EXPECT_NE(Register(kClass, RecordingProc), 0);
    EXPECT_EQ(Register("dezortest", RecordingProc), 0);
    EXPECT_EQ(Register("NoProcedure", nullptr), 0);
    WNDCLASSA unnamed{};
    unnamed.lpfnWndProc = RecordingProc;
    EXPECT_EQ(RegisterClassA(&unnamed), 0);
    EXPECT_EQ(RegisterClassA(nullptr), 0);

    EXPECT_TRUE(UnregisterClassA("DEZORTEST", nullptr));
    EXPECT_FALSE(UnregisterClassA(kClass, nullptr));
    // The name is free again.
    EXPECT_NE(Register(kClass, RecordingProc), 0);
}

TEST_F(WinTest, CreateSendsCreateAndAllowsOneWindow)
{
    EXPECT_EQ(CreateWindowExA(0, "Unregistered", kTitle, WS_CAPTION, 0, 0, 320, 240, nullptr,
                              nullptr, nullptr, nullptr),
              nullptr);
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ASSERT_FALSE(gRecords.empty());
    EXPECT_EQ(gRecords[0].message, static_cast<UINT>(WM_CREATE));
    EXPECT_TRUE(IsWindow(hWnd));
    EXPECT_NE(WinGetSdlWindow(hWnd), nullptr);
    EXPECT_EQ(CreateWindowExA(0, kClass, "Second", WS_CAPTION, 0, 0, 320, 240, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);

    EXPECT_FALSE(UnregisterClassA("dezortest", nullptr));
    ASSERT_TRUE(DestroyWindow(hWnd));
    EXPECT_TRUE(UnregisterClassA(kClass, nullptr));
}

TEST_F(WinTest, FirstShowPostsOneActivation)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    Drain();

    EXPECT_FALSE(ShowWindow(hWnd, SW_SHOWNORMAL));
    std::vector<MSG> messages = Drain();
    ASSERT_EQ(Count(messages, WM_ACTIVATEAPP), 1);
    for (const MSG& m : messages)
        if (m.message == WM_ACTIVATEAPP)
        {
            EXPECT_EQ(m.wParam, static_cast<WPARAM>(TRUE));
            EXPECT_EQ(m.hwnd, hWnd);
        }

    EXPECT_TRUE(ShowWindow(hWnd, SW_SHOW));
    EXPECT_EQ(Count(Drain(), WM_ACTIVATEAPP), 0);

    // A window manager's focus events post only changes.
    Uint32 id = SDL_GetWindowID(WinGetSdlWindow(hWnd));
    for (Uint8 event :
         {SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_FOCUS_LOST})
    {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = event;
        e.window.windowID = id;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    messages = Drain(nullptr, WM_ACTIVATEAPP, WM_ACTIVATEAPP);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, static_cast<WPARAM>(FALSE));
}

TEST_F(WinTest, DestroySendsDestroyAndDropsTheWindowsMessages)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ASSERT_TRUE(PostMessageA(hWnd, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 0, 0));
    gRecords.clear();

    ASSERT_TRUE(DestroyWindow(hWnd));
    ASSERT_EQ(gRecords.size(), 1u);
    EXPECT_EQ(gRecords[0].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_FALSE(DestroyWindow(hWnd));
    EXPECT_FALSE(PostMessageA(hWnd, WM_USER + 3, 0, 0));

    std::vector<MSG> rest = Drain();
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].message, WM_USER + 2u);
}

// --- FindWindowA ---------------------------------------------------------------------------

TEST_F(WinTest, FindWindowFindsThisProcessesWindow)
{
    HWND hWnd = MakeWindow(RecordingProc, kGameName, kGameName);
    ASSERT_NE(hWnd, nullptr);

    struct Case
    {
        const char* className;
        const char* title;
        bool found;
    };
    const Case cases[] = {
        {"Dravik Dezor", "Dravik Dezor", true},
        {"DRAVIK DEZOR", "dravik dezor", true},
        {"Dravik Dezor", nullptr, true},
        {nullptr, "Dravik Dezor", true},
        {"Other", nullptr, false},
        {"Dravik Dezor", "Other", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.className ? c.className : "NULL") + " / " +
                     (c.title ? c.title : "NULL"));
        EXPECT_EQ(FindWindowA(c.className, c.title), c.found ? hWnd : nullptr);
    }

    ASSERT_TRUE(DestroyWindow(hWnd));
    EXPECT_EQ(FindWindowA(kGameName, kGameName), nullptr);
}

TEST_F(WinTest, FindWindowTellsHeldLocksFromStaleOnes)
{
    std::string dir = env.Path("run") + "/dezor";
    mkdir(dir.c_str(), 0700);
    const std::string path = dir + "/Dravik_Dezor-Dravik_Dezor.lock";
    WriteWholeFile(path, "Dravik Dezor\nDravik Dezor\n");
    // Left behind by a window that is gone: nobody holds it.
    EXPECT_EQ(FindWindowA(kGameName, kGameName), nullptr);

    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // Holds the lock as another instance's window would, until the parent lets go.
        close(ready[0]);
        close(release[1]);
        int fd = open(path.c_str(), O_RDWR);
        char ok = (fd >= 0 && flock(fd, LOCK_EX) == 0) ? 1 : 0;
        if (write(ready[1], &ok, 1) != 1)
            _exit(1);
        char c;
        while (read(release[0], &c, 1) > 0)
        {
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);

    char ok = 0;
    EXPECT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 1);
    EXPECT_NE(FindWindowA(kGameName, kGameName), nullptr);
    EXPECT_NE(FindWindowA("dravik dezor", nullptr), nullptr);
    EXPECT_EQ(FindWindowA(kGameName, "Other"), nullptr);

    close(release[1]);
    close(ready[0]);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(FindWindowA(kGameName, kGameName), nullptr);
}

// --- DefWindowProcA ------------------------------------------------------------------------

TEST_F(WinTest, DefaultCloseDestroysTheWindow)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    gRecords.clear();
    SendMessageA(hWnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(gRecords.size(), 2u);
    EXPECT_EQ(gRecords[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(gRecords[1].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(hWnd));
}

TEST_F(WinTest, AltF4EndsInCloseForTheProcedureToHandle)
{
    using Step = std::pair<UINT, WPARAM>;
    struct Case
    {
        const char* name;
        WNDPROC proc;
        std::vector<Step> steps;
        bool survives;
    };
    const std::vector<Step> common = {
        {WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYDOWN, VK_F4}, {WM_SYSCOMMAND, SC_CLOSE}, {WM_CLOSE, 0}};
    std::vector<Step> destroyed = common;
    destroyed.push_back({WM_DESTROY, 0});
    const Case cases[] = {
        {"default close", RecordingProc, destroyed, false},
        {"close ignored", IgnoreCloseProc, common, true},
    };

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        HWND hWnd = MakeWindow(c.proc);
        ASSERT_NE(hWnd, nullptr);
        gRecords.clear();
        WinKeyEvent(VK_LMENU, TRUE);
        WinKeyEvent(VK_F4, TRUE);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);

        std::vector<Step> steps;
        for (const Record& r : gRecords)
            if (r.message == WM_SYSKEYDOWN || r.message == WM_SYSCOMMAND || r.message == WM_CLOSE ||
                r.message == WM_DESTROY)
                steps.push_back({r.message, r.wParam});
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(IsWindow(hWnd), c.survives ? TRUE : FALSE);

        if (IsWindow(hWnd))
            DestroyWindow(hWnd);
        UnregisterClassA(kClass, nullptr);
        classes_.clear();
        WinKeysReset();
    }
}

// --- Keys ----------------------------------------------------------------------------------

TEST_F(WinTest, AsyncKeyStateReportsDownAndPressesSinceTheLastQuery)
{
    WinKeyEvent('A', TRUE);
    EXPECT_EQ(GetAsyncKeyState('A') & 0xFFFF, 0x8001);
    EXPECT_EQ(GetAsyncKeyState('A') & 0xFFFF, 0x8000);
    WinKeyEvent('A', FALSE);
    EXPECT_EQ(GetAsyncKeyState('A'), 0);

    // A press missed between two queries still shows once.
    WinKeyEvent('A', TRUE);
    WinKeyEvent('A', FALSE);
    EXPECT_EQ(GetAsyncKeyState('A'), 1);
    EXPECT_EQ(GetAsyncKeyState('A'), 0);

    EXPECT_EQ(GetAsyncKeyState(-1), 0);
    EXPECT_EQ(GetAsyncKeyState(0x100), 0);
}

TEST_F(WinTest, KeyStateTogglesOnEachPress)
{
    const int startToggle = GetKeyState(VK_NUMLOCK) & 1;
    BYTE keys[256];

    WinKeyEvent(VK_NUMLOCK, TRUE);
    EXPECT_LT(GetKeyState(VK_NUMLOCK), 0);
    EXPECT_EQ(GetKeyState(VK_NUMLOCK) & 1, !startToggle);
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys[VK_NUMLOCK], 0x80 | !startToggle);

    // Held keys do not toggle again; release keeps the toggle.
    WinKeyEvent(VK_NUMLOCK, TRUE);
    WinKeyEvent(VK_NUMLOCK, FALSE);
    EXPECT_GE(GetKeyState(VK_NUMLOCK), 0);
    EXPECT_EQ(GetKeyState(VK_NUMLOCK) & 1, !startToggle);
    ASSERT_TRUE(GetKeyboardState(keys));
    EXPECT_EQ(keys[VK_NUMLOCK], !startToggle);

    WinKeyEvent(VK_NUMLOCK, TRUE);
    WinKeyEvent(VK_NUMLOCK, FALSE);
    EXPECT_EQ(GetKeyState(VK_NUMLOCK) & 1, startToggle);
    EXPECT_FALSE(GetKeyboardState(nullptr));
}

TEST_F(WinTest, EitherSideHoldsTheGenericModifier)
{
    const int pairs[][3] = {
        {VK_LSHIFT, VK_RSHIFT, VK_SHIFT},
        {VK_LCONTROL, VK_RCONTROL, VK_CONTROL},
        {VK_LMENU, VK_RMENU, VK_MENU},
    };
    for (const auto& [left, right, generic] : pairs)
    {
        SCOPED_TRACE(generic);
        WinKeyEvent(left, TRUE);
        EXPECT_TRUE(IsDown(generic));
        WinKeyEvent(right, TRUE);
        GetAsyncKeyState(generic);
        WinKeyEvent(left, FALSE);
        // Still held by the right side, and letting one side go is no new press.
        EXPECT_EQ(GetAsyncKeyState(generic) & 0xFFFF, 0x8000);
        EXPECT_FALSE(IsDown(left));
        WinKeyEvent(right, FALSE);
        EXPECT_FALSE(IsDown(generic));
        EXPECT_FALSE(IsDown(right));
    }
}

TEST_F(WinTest, KeyEventsPostKeyMessagesWithTheGenericCode)
{
    // No window, no message: only the state changes.
    WinKeyEvent('Q', TRUE);
    WinKeyEvent('Q', FALSE);
    EXPECT_TRUE(DrainKeys().empty());

    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    WinKeyEvent(VK_RSHIFT, TRUE);
    WinKeyEvent('A', TRUE);
    WinKeyEvent('A', FALSE);
    WinKeyEvent(VK_RSHIFT, FALSE);
    WinKeyEvent(VK_LMENU, TRUE);
    WinKeyEvent('B', TRUE);
    WinKeyEvent('B', FALSE);

    const std::pair<UINT, WPARAM> expected[] = {
        {WM_KEYDOWN, VK_SHIFT},   {WM_KEYDOWN, 'A'},    {WM_KEYUP, 'A'},    {WM_KEYUP, VK_SHIFT},
        {WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYDOWN, 'B'}, {WM_SYSKEYUP, 'B'},
    };
    std::vector<MSG> messages = DrainKeys();
    ASSERT_EQ(messages.size(), std::size(expected));
    for (size_t i = 0; i < messages.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(messages[i].hwnd, hWnd);
        EXPECT_EQ(messages[i].message, expected[i].first);
        EXPECT_EQ(messages[i].wParam, expected[i].second);
    }
    // lParam: bit 30 the previous state, bit 31 the transition.
    EXPECT_EQ(messages[1].lParam, 1);
    EXPECT_EQ(messages[2].lParam, 1 | (1L << 30) | (1L << 31));
}

TEST(WinKeyNames, NamesAndNumbersGiveVirtualKeys)
{
    const std::pair<const char*, int> cases[] = {
        {"escape", VK_ESCAPE},
        {"ESCAPE", VK_ESCAPE},
        {"A", 'A'},
        {"a", 'A'},
        {"7", '7'},
        {"f10", VK_F10},
        {"F1", VK_F1},
        {"F12", VK_F12},
        {"NUMPAD4", VK_NUMPAD4},
        {"numpad0", VK_NUMPAD0},
        {"lshift", VK_LSHIFT},
        {"Oem_Minus", VK_OEM_MINUS},
        {"0x1B", 0x1B},
        {"27", 27},
        {"010", 10}, // decimal, not octal
        {"255", 255},
        {"F13", 0},
        {"F1X", 0},
        {"NUMPAD10", 0},
        {"256", 0},
        {"0x", 0},
        {"27z", 0},
        {"BOGUS", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const auto& [name, vk] : cases)
        EXPECT_EQ(WinVirtualKeyFromName(name), vk) << (name ? name : "NULL");
}

TEST(WinKeyNames, ScancodesGiveVirtualKeys)
{
    const std::pair<int, int> cases[] = {
        {SDL_SCANCODE_A, 'A'},
        {SDL_SCANCODE_Z, 'Z'},
        {SDL_SCANCODE_0, '0'},
        {SDL_SCANCODE_9, '9'},
        {SDL_SCANCODE_F1, VK_F1},
        {SDL_SCANCODE_F12, VK_F12},
        {SDL_SCANCODE_KP_0, VK_NUMPAD0},
        {SDL_SCANCODE_KP_1, VK_NUMPAD1},
        {SDL_SCANCODE_KP_9, VK_NUMPAD9},
        {SDL_SCANCODE_KP_ENTER, VK_RETURN},
        {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL},
        {SDL_SCANCODE_LSHIFT, VK_LSHIFT},
        {SDL_SCANCODE_RSHIFT, VK_RSHIFT},
        {SDL_SCANCODE_LCTRL, VK_LCONTROL},
        {SDL_SCANCODE_RALT, VK_RMENU},
        {SDL_SCANCODE_F13, 0},
        {SDL_SCANCODE_UNKNOWN, 0},
    };
    for (const auto& [scancode, vk] : cases)
        EXPECT_EQ(WinVirtualKeyFromScancode(scancode), vk)
            << SDL_GetScancodeName(static_cast<SDL_Scancode>(scancode));
}

// --- Input script --------------------------------------------------------------------------

TEST_F(WinTest, ScriptPlaysEventsOnceTheirTimeHasCome)
{
    ASSERT_TRUE(WinInputScriptLoadText("# warm-up\n\n0 down A\n60000 down B\n"));
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    // The clock starts when the window is shown.
    Pump();
    EXPECT_FALSE(IsDown('A'));
    EXPECT_TRUE(DrainKeys().empty());

    ShowWindow(hWnd, SW_SHOWNORMAL);
    Pump();
    EXPECT_TRUE(IsDown('A'));
    EXPECT_FALSE(IsDown('B'));
    std::vector<MSG> keys = DrainKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>('A'));
}

TEST_F(WinTest, ScriptTapIsDownThenUp)
{
    ASSERT_TRUE(WinInputScriptLoadText("0 tap SPACE\n"));
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOWNORMAL);

    // The key-up is due shortly after the key-down. The deadline is only there so that a
    // lost key-up fails the test instead of hanging it.
    std::vector<MSG> keys;
    DWORD deadline = timeGetTime() + 10000;
    while (keys.size() < 2 && static_cast<int32_t>(deadline - timeGetTime()) > 0)
    {
        for (const MSG& m : DrainKeys())
            keys.push_back(m);
        Sleep(5);
    }
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_EQ(keys[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_FALSE(IsDown(VK_SPACE));
    EXPECT_TRUE(WinInputScriptEnded());
}

struct BadLine
{
    const char* script;
    const char* report; // expected on stderr
    int skipped;        // the key of the bad line, which must stay up
};

void PrintTo(const BadLine& c, std::ostream* os)
{
    *os << '"' << c.script << '"';
}

class WinScriptBadLineTest : public WinTest, public ::testing::WithParamInterface<BadLine>
{
};

TEST_P(WinScriptBadLineTest, IsReportedAndSkipped)
{
    const BadLine& c = GetParam();
    testing::internal::CaptureStderr();
    BOOL loaded = WinInputScriptLoadText(c.script);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(loaded);
    EXPECT_NE(err.find(c.report), std::string::npos) << err;

    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOWNORMAL);
    Pump();
    // The good line around it still plays.
    EXPECT_TRUE(IsDown('A'));
    EXPECT_FALSE(IsDown(c.skipped));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, WinScriptBadLineTest,
    ::testing::Values(BadLine{"0 down BOGUS\n0 down A\n", "line 1: unknown key", 0},
                      BadLine{"0 down A\n0 jump B\n", "line 2: unknown event", 'B'},
                      BadLine{"0 down A\nsoon down B\n", "line 2: the time is not", 'B'},
                      BadLine{"0 down A\n5x down B\n", "line 2: the time is not", 'B'},
                      BadLine{"0 down A\n-5 down B\n", "line 2: the time is not", 'B'},
                      BadLine{"0 down A\n60000 down C\n0 down B\n", "line 3: the time goes back",
                              'B'},
                      BadLine{"0 down A\n0 from\n", "line 2: a section needs", 0}));

// A section waits for the game's moment, then counts from it; what follows a waiting section
// waits with it, and a moment nothing waits for, or reported again, changes nothing.
TEST_F(WinTest, ScriptSectionCountsFromTheMomentTheGameReports)
{
    ASSERT_TRUE(WinInputScriptLoadText("0 down A\n0 from go\n0 down B\n60000 down C\n"
                                       "0 from other\n0 down D\n"));
    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOWNORMAL);
    WinInputScriptMark("unknown");
    Pump();
    EXPECT_TRUE(IsDown('A'));
    EXPECT_FALSE(IsDown('B'));

    WinInputScriptMark("go");
    Pump();
    EXPECT_TRUE(IsDown('B'));
    EXPECT_FALSE(IsDown('C'));
    // "other" counts from its own report, but its events queue behind C's.
    WinInputScriptMark("other");
    WinInputScriptMark("go");
    Pump();
    EXPECT_FALSE(IsDown('C'));
    EXPECT_FALSE(IsDown('D'));
    EXPECT_FALSE(WinInputScriptEnded());
}

// A section's time offsets its clock; the end counts in the section it stands in.
TEST_F(WinTest, ScriptSectionOffsetAndEndCountInTheSection)
{
    struct Case
    {
        const char* script;
        bool down; // B, once "go" is reported
        bool ended;
    };
    const Case cases[] = {
        {"0 from go\n0 down B\n", true, true},
        {"60000 from go\n0 down B\n", false, false},
        {"0 from go\n0 down B\n60000 end\n", true, false},
        {"0 down B\n0 from go\n60000 end\n", true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.script);
        WinKeysReset();
        ASSERT_TRUE(WinInputScriptLoadText(c.script));
        HWND hWnd = MakeWindow();
        ASSERT_NE(hWnd, nullptr);
        ShowWindow(hWnd, SW_SHOWNORMAL);
        Pump();
        EXPECT_FALSE(WinInputScriptEnded()) << "nothing has been reported yet";
        WinInputScriptMark("go");
        Pump();
        EXPECT_EQ(IsDown('B'), c.down);
        EXPECT_EQ(WinInputScriptEnded(), c.ended ? TRUE : FALSE);
        DestroyWindow(hWnd);
        UnregisterClassA(kClass, nullptr);
        classes_.clear();
        WinInputScriptClear();
    }
}

TEST_F(WinTest, ScriptEndsWhenItsLastEventOrEndIsDue)
{
    struct Case
    {
        const char* script;
        bool ended;
    };
    const Case cases[] = {
        {"0 down A\n0 up A\n", true},
        {"0 down A\n60000 end\n", false},
        {"0 down A\n60000 down B\n", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.script);
        ASSERT_TRUE(WinInputScriptLoadText(c.script));
        EXPECT_TRUE(WinInputScriptActive());
        HWND hWnd = MakeWindow();
        ASSERT_NE(hWnd, nullptr);
        Pump();
        EXPECT_FALSE(WinInputScriptEnded());

        ShowWindow(hWnd, SW_SHOWNORMAL);
        Pump();
        EXPECT_EQ(WinInputScriptEnded(), c.ended ? TRUE : FALSE);

        DestroyWindow(hWnd);
        UnregisterClassA(kClass, nullptr);
        classes_.clear();
        WinInputScriptClear();
        EXPECT_FALSE(WinInputScriptActive());
    }
}

TEST_F(WinTest, ScriptComesFromTheFileDezorInputNames)
{
    const std::string path = env.Path("input.txt");
    WriteWholeFile(path, "0 down A\n60000 end\n");
    setenv("DEZOR_INPUT", path.c_str(), 1);
    WinInputScriptLoadFromEnvironment();
    unsetenv("DEZOR_INPUT");
    EXPECT_TRUE(WinInputScriptActive());

    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOWNORMAL);
    Pump();
    EXPECT_TRUE(IsDown('A'));
    EXPECT_FALSE(WinInputScriptEnded());
}

TEST_F(WinTest, UnreadableScriptCountsAsEndedOnceStarted)
{
    setenv("DEZOR_INPUT", env.Path("missing.txt").c_str(), 1);
    testing::internal::CaptureStderr();
    WinInputScriptLoadFromEnvironment();
    std::string err = testing::internal::GetCapturedStderr();
    unsetenv("DEZOR_INPUT");
    EXPECT_NE(err.find("missing.txt"), std::string::npos) << err;
    EXPECT_TRUE(WinInputScriptActive());
    EXPECT_FALSE(WinInputScriptEnded());

    HWND hWnd = MakeWindow();
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOWNORMAL);
    EXPECT_TRUE(WinInputScriptEnded());
}

// --- Cursor --------------------------------------------------------------------------------

// The suite runs with DEZOR_DEBUG=1, the debugger's stand-in: the text reaches standard error
// as it is, with nothing added. (Without it a run's standard error stays empty: see
// dezor_run_test.)
TEST_F(WinTest, DebuggerOutputReachesStandardErrorUnderDezorDebug)
{
    ASSERT_STREQ(std::getenv("DEZOR_DEBUG"), "1");
    testing::internal::CaptureStderr();
    OutputDebugStringA("first line\nno newline");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "first line\nno newline");
}

TEST_F(WinTest, ShowCursorCountsShowsAndHides)
{
    int hidden = ShowCursor(FALSE);
    EXPECT_EQ(ShowCursor(TRUE), hidden + 1);
    EXPECT_EQ(ShowCursor(TRUE), hidden + 2);
    EXPECT_EQ(ShowCursor(FALSE), hidden + 1);
}

} // namespace
