// What the engine's tests share: capturing the debugger output (standard error, where every
// report goes) and a fixture with the log open and switched on.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "engine/pc/core/dk_debug.h"
#include "tests/support/test_env.h"

inline std::string CaptureOutput(const std::function<void()>& call)
{
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

// A report's message stands between blank lines in the report's block.
inline bool Reported(const std::string& out, const std::string& message)
{
    return out.find("\n\n" + message + "\n\n") != std::string::npos;
}

// How often `what` stands in `text`, and how many report blocks it holds.
inline int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

inline int CountReports(const std::string& text)
{
    return CountOf(text, "ASSERT() failed!");
}

// The log "c:\error.txt" open and switched on, in a private TestEnv.
class LoggedTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(DkOpenLogFile("c:\\error.txt"));
        DkEnableLog();
    }
    void TearDown() override
    {
        DkCloseLogFile();
        DkDisableLog();
    }
    // Closes the log and returns what it holds.
    std::string Log()
    {
        DkCloseLogFile();
        return ReadWholeFile(env.DriveC() + "/error.txt");
    }

    TestEnv env;
};
