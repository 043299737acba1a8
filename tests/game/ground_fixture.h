// What the stage-ground tests share: the engine's heaps and trigonometry tables, the log open
// and switched on (taken case by case), and the data kit's files round-tripped through the
// game's readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "engine/include/dk_entries.h"
#include "tests/support/engine_test.h"

inline int32_t Fixed(double v)
{
    return static_cast<int32_t>(v * 65536.0 + (v < 0 ? -0.5 : 0.5));
}

inline double Units(int32_t v)
{
    return v / 65536.0;
}

class GroundTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DkResetEntries();
        DkInitialiseTrigTables();
        DkTempHeapInit(1024 * 1024);
        DkHeapInit(32 * 1024 * 1024);
    }
    void TearDown() override
    {
        CaptureOutput([] { DkCallAllDestructors(); });
        DkResetEntries();
        LoggedTest::TearDown();
    }
    // The log since the last call, which starts a fresh one.
    std::string TakeLog()
    {
        std::string text = Log();
        DkOpenLogFile("c:\\error.txt");
        return text;
    }
};
