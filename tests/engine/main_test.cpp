// The program's entry and loop, run in-process with a scripted front end.

#include "engine/pc/core/main.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/common/checkmem.h"
#include "engine/common/destruct.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/core/cmd_line.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_qtime.h"
#include "platform/time/time.h"
#include "tests/support/test_env.h"
#include "platform/win/win.h"

// The layers above the engine, as this test scripts them and registers them.
namespace
{
BOOL gboGameDisplayReady = FALSE;
std::function<int(int)> gFrontendStep;
int gnFrontendCalls = 0;

int Frontend_Update(void)
{
    ++gnFrontendCalls;
    if (!gFrontendStep)
    {
        DkRequestQuit();
        return 0;
    }
    return gFrontendStep(gnFrontendCalls);
}

void Frontend_LogCommandLine(char* lpCmdLine)
{
    DkLog(DkFormatString("Found %d Command Line parameters\n", DkParseCommandLine(lpCmdLine)));
}

BOOL IsGameDisplayReady(void)
{
    return gboGameDisplayReady;
}

char gInstance;

class MainTest : public testing::Test
{
protected:
    void SetUp() override
    {
        DK_ENTRIES entries{};
        entries.Frontend_Update = Frontend_Update;
        entries.Frontend_LogCommandLine = Frontend_LogCommandLine;
        entries.IsGameDisplayReady = IsGameDisplayReady;
        DkRegisterEntries(&entries);
        gfQuitRequested = FALSE;
        gfIsActive = FALSE;
        gfDispatchActivateApp = TRUE;
        gboGameDisplayReady = FALSE;
        gboFocusLostInGame = FALSE;
        gboReactivated = FALSE;
        gFrontendStep = nullptr;
        gnFrontendCalls = 0;
        DkResetMemCheckerForTests();
        // The clock is measured over a millisecond rather than a second.
        DkSetClockMeasureCounts(DK_PERFORMANCE_FREQUENCY / 1000);
    }
    void TearDown() override { unsetenv("DEZOR_LOG"); }

    int Run(const char* commandLine = "")
    {
        std::string line = commandLine;
        testing::internal::CaptureStderr();
        int result = WinMain(reinterpret_cast<HINSTANCE>(&gInstance), nullptr, line.data(), 1);
        stderrText = testing::internal::GetCapturedStderr();
        return result;
    }

    TestEnv env;
    std::string stderrText;
};

TEST_F(MainTest, StartsReportsOnceRunsTheFrontEndAndEndsThroughTheDestructors)
{
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(gnFrontendCalls, 1);
    EXPECT_EQ(ghWnd, nullptr) << "the window is destroyed at exit";
    EXPECT_EQ(gnNumDestructors, 0);
    const std::string bangs(48, '!');
    EXPECT_NE(stderrText.find(bangs + "\nASSERT() failed!\n"), std::string::npos);
    EXPECT_NE(stderrText.find("TRYBOOLS SHOULD NOW BE DISABLED !!!!!!!"), std::string::npos);
    // Exit tears down what start-up registered, last first.
    size_t at = 0;
    for (const char* line : {"~:-- Calling destructor 4 (WindowDestructor)\n",
                             "~:-- Calling destructor 3 (QuickTime_Destroy)\n",
                             "~:-- Calling destructor 2 (DkHeapDestroy)\n",
                             "~:-- Calling destructor 1 (DkTempHeapDestroy)\n",
                             "~:-- Calling destructor 0 (MemCheckerDestructor)\n"})
    {
        at = stderrText.find(line, at);
        EXPECT_NE(at, std::string::npos) << line;
    }
    EXPECT_NE(stderrText.find("ALL MEMORY BLOCKS ARE FREE!"), std::string::npos);
    // Logging is off, so the log exists and stays empty.
    ASSERT_TRUE(FileExists(env.DriveC() + "/error.txt"));
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/error.txt"), "");
}

TEST_F(MainTest, WithLoggingOnTheLogHasTheStartAndTheEnd)
{
    setenv("DEZOR_LOG", "1", 1);
    EXPECT_EQ(Run("stage1"), 0);
    std::string log = ReadWholeFile(env.DriveC() + "/error.txt");
    EXPECT_EQ(log.rfind("LOWLEVEL DEBUG INFORMATION\r\n**************************\r\n", 0), 0u);
    EXPECT_NE(log.find("Found 1 Command Line parameters\n\r\n"), std::string::npos);
    size_t at = 0;
    for (const char* line :
         {"\n*** Destructor 0 = \"MemCheckerDestructor\" ***\r\n",
          "\n*** Destructor 1 = \"DkTempHeapDestroy\" ***\r\n",
          "\n*** Destructor 2 = \"DkHeapDestroy\" ***\r\n",
          "\n*** Destructor 3 = \"QuickTime_Destroy\" ***\r\n",
          "\n*** Destructor 4 = \"Command line string destructor\" ***\r\n",
          "\n*** Destructor 5 = \"WindowDestructor\" ***\r\n", "\n--- QUICK-TIME REPORT ---\r\n",
          "*** 0 KB RAM usage on the heap\r\n", "Heap Destructor done\r\n",
          "*** 0 KB RAM usage on the temporary heap\r\n", "Temporary Heap Destructor done\r\n"})
    {
        at = log.find(line, at);
        EXPECT_NE(at, std::string::npos) << line;
    }
    EXPECT_NE(log.find("PC Clock speed : "), std::string::npos);
    const char* end = "*****************************\r\n* Program finished normally *\r\n"
                      "*****************************\r\n";
    ASSERT_GE(log.size(), std::strlen(end));
    EXPECT_EQ(log.substr(log.size() - std::strlen(end)), end);
}

TEST_F(MainTest, ASecondCopyReturnsAtOnceAndLeavesTheLogAlone)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = DK_WINDOW_NAME;
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND other = CreateWindowExA(0, DK_WINDOW_NAME, DK_WINDOW_NAME, WS_POPUP | WS_CAPTION, 0, 0, 64,
                                 64, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    WriteWholeFile(env.DriveC() + "/error.txt", "the running copy's log");

    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(gnFrontendCalls, 0);
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/error.txt"), "the running copy's log");
    EXPECT_EQ(stderrText, "");

    DestroyWindow(other);
    UnregisterClassA(DK_WINDOW_NAME, nullptr);
}

TEST_F(MainTest, TheFrontEndIsNotSteppedWhileInactive)
{
    std::atomic<bool> reactivated{false};
    std::thread waker;
    bool steppedWhileInactive = false;
    gFrontendStep = [&](int call)
    {
        if (call == 1)
        {
            PostMessageA(ghWnd, WM_ACTIVATEAPP, FALSE, 0);
            waker = std::thread(
                [&]
                {
                    Sleep(50);
                    reactivated = true;
                    PostMessageA(ghWnd, WM_ACTIVATEAPP, TRUE, 0);
                });
        }
        else
        {
            steppedWhileInactive = !reactivated;
            DkRequestQuit();
        }
        return 0;
    };
    EXPECT_EQ(Run(), 0);
    waker.join();
    EXPECT_EQ(gnFrontendCalls, 2);
    EXPECT_FALSE(steppedWhileInactive);
}

TEST_F(MainTest, ActivationIsLostWhileItsDispatchIsOff)
{
    gFrontendStep = [&](int call)
    {
        if (call == 1)
        {
            DkSetActivateDispatch(FALSE);
            PostMessageA(ghWnd, WM_ACTIVATEAPP, FALSE, 0);
        }
        else if (call == 3)
            DkRequestQuit();
        return 0;
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(gnFrontendCalls, 3);
    EXPECT_TRUE(gfIsActive) << "the dropped WM_ACTIVATEAPP must not deactivate";
}

TEST_F(MainTest, ClosingTheWindowKeepsTheProgramRunningAndWmQuitEndsIt)
{
    bool windowSurvived = false;
    gFrontendStep = [&](int call)
    {
        if (call == 1)
            PostMessageA(ghWnd, WM_CLOSE, 0, 0);
        else if (call == 3)
        {
            windowSurvived = IsWindow(ghWnd);
            PostQuitMessage(7);
        }
        return 0;
    };
    EXPECT_EQ(Run(), 7) << "a WM_QUIT's code is the exit status";
    EXPECT_TRUE(windowSurvived);
    EXPECT_EQ(gnFrontendCalls, 3);
}

TEST_F(MainTest, OneMessageIsHandledPerPass)
{
    bool firstTakenOnly = false;
    gFrontendStep = [&](int call)
    {
        MSG msg;
        if (call == 1)
            for (UINT i = 0; i < 3; ++i)
                PostMessageA(ghWnd, WM_USER + i, 0, 0);
        else if (call == 2)
        {
            // The second pass has taken WM_USER and left the other two.
            firstTakenOnly = !PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE) &&
                             PeekMessageA(&msg, nullptr, WM_USER + 1, WM_USER + 2, PM_NOREMOVE);
            DkRequestQuit();
        }
        return 0;
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(firstTakenOnly);
}

TEST_F(MainTest, DeactivationMarksFocusLostOnlyWhileTheGameDisplayIsUp)
{
    struct Case
    {
        BOOL displayReady;
        BOOL focusLost;
    };
    for (Case c : {Case{FALSE, FALSE}, Case{TRUE, TRUE}})
    {
        gboGameDisplayReady = c.displayReady;
        gboFocusLostInGame = FALSE;
        gboReactivated = TRUE;
        DkWindowProc(nullptr, WM_ACTIVATEAPP, FALSE, 0);
        EXPECT_FALSE(gfIsActive);
        EXPECT_EQ(gboFocusLostInGame.load(), c.focusLost);
        EXPECT_EQ(gboReactivated.load(), !c.displayReady);
        DkWindowProc(nullptr, WM_ACTIVATEAPP, TRUE, 0);
        EXPECT_TRUE(gfIsActive);
        EXPECT_TRUE(gboReactivated);
    }
}

TEST_F(MainTest, SwallowedMessagesAndSystemCommands)
{
    for (UINT msg : {WM_CLOSE, WM_ERASEBKGND, WM_QUERYNEWPALETTE, WM_PALETTECHANGED})
        EXPECT_EQ(DkWindowProc(nullptr, msg, 0, 0), 0);
    for (WPARAM cmd : {SC_MOUSEMENU, SC_KEYMENU, SC_SCREENSAVE, SC_MONITORPOWER})
        EXPECT_EQ(DkWindowProc(nullptr, WM_SYSCOMMAND, cmd, 0), 0);
}

TEST_F(MainTest, StateHandlerMisuseIsReportedAndTheFlagFollowsTheCall)
{
    testing::internal::CaptureStderr();
    DkResumeStateHandler();
    EXPECT_FALSE(gboStateHandlerSuspended);
    DkSuspendStateHandler();
    DkSuspendStateHandler();
    EXPECT_TRUE(gboStateHandlerSuspended);
    DkResumeStateHandler();
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(gboStateHandlerSuspended);
    EXPECT_NE(out.find("DkResumeStateHandler() : Not suspended previously"), std::string::npos);
    EXPECT_NE(out.find("DkSuspendStateHandler() : Already suspended"), std::string::npos);
}

} // namespace
