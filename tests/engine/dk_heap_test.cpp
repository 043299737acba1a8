#include "engine/common/dk_heap.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "tests/support/engine_test.h"

namespace
{

const uint32_t kHeapSize = 4096;
const uint32_t kTempHeapSize = 4096;

DK_HEAP_HEADER HeaderOf(const void* block)
{
    DK_HEAP_HEADER header;
    std::memcpy(&header, static_cast<const unsigned char*>(block) - sizeof header, sizeof header);
    return header;
}

const unsigned char* Base()
{
    return static_cast<const unsigned char*>(DkHeapGetBase());
}

// Both heaps as WinMain creates them, only small, with the log open.
class DkHeapTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        ASSERT_EQ(DkTempHeapInit(kTempHeapSize), 0);
        ASSERT_EQ(DkHeapInit(kHeapSize), 1);
    }
    void TearDown() override
    {
        CaptureOutput([] { DkCallAllDestructors(); });
        LoggedTest::TearDown();
    }
};

TEST_F(DkHeapTest, BlocksFollowEachOtherBehindAHeaderWithTheirRoundedSize)
{
    struct Case
    {
        size_t request;
        uint32_t rounded;
    };
    const Case cases[] = {{1, 8}, {0, 0}, {8, 8}, {9, 16}, {13, 16}, {24, 24}};

    uint32_t number = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.request);
        uint32_t usedBefore = DkHeapGetBytesUsed();
        void* block = DkHeapAlloc(c.request);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block, Base() + usedBefore + 8) << "right after the previous block's end";
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % DK_HEAP_ALIGN, 0u);
        EXPECT_EQ(DkHeapGetBytesUsed(), usedBefore + c.rounded + 8);
        DK_HEAP_HEADER header = HeaderOf(block);
        EXPECT_EQ(header.uAllocationNumber, number);
        EXPECT_EQ(header.uSize, c.rounded);
        ++number;
    }
    EXPECT_EQ(DkHeapGetBlockCount(), number);
    EXPECT_EQ(DkHeapGetPeak(), DkHeapGetBytesUsed());
}

TEST_F(DkHeapTest, BlocksAreZeroFilledOverWhateverWasWrittenThere)
{
    auto* first = static_cast<unsigned char*>(DkHeapAlloc(8));
    // A caller that overran its block has dirtied the space the next block takes.
    std::memset(first, 0xAB, 64);
    auto* second = static_cast<unsigned char*>(DkHeapAlloc(40));
    ASSERT_NE(second, nullptr);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(second[i], 0) << i;
}

TEST_F(DkHeapTest, ARequestEndingAtTheHeapsEndFitsAndOneMoreFailsWithoutChangingAnything)
{
    testing::internal::CaptureStderr();
    void* tooBig = DkHeapAlloc(kHeapSize - 8 + 1);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(tooBig, nullptr);
    EXPECT_TRUE(Reported(out, "Cannot allocate 4096 bytes on the heap.")) << out;
    EXPECT_EQ(DkHeapGetBytesUsed(), 0u);
    EXPECT_EQ(DkHeapGetBlockCount(), 0u);

    void* exact = DkHeapAlloc(kHeapSize - 8);
    EXPECT_EQ(exact, Base() + 8);
    EXPECT_EQ(DkHeapGetBytesUsed(), kHeapSize);

    // Even an empty block needs its header.
    out = CaptureOutput([] { EXPECT_EQ(DkHeapAlloc(0), nullptr); });
    EXPECT_TRUE(Reported(out, "Cannot allocate 0 bytes on the heap.")) << out;
    EXPECT_EQ(DkHeapGetBlockCount(), 1u);

    char address[32];
    std::snprintf(address, sizeof address, "%08lX",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(Base() + 8)));
    std::string log = Log();
    EXPECT_NE(log.find("Allocating 4096 bytes on the heap (" + std::string(address) +
                       ").\r\n*** 0 bytes of the heap have been used.\r\n"
                       "Free space: 4096 bytes     Space needed: 4104 bytes\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Free space: 0 bytes     Space needed: 8 bytes\r\n"), std::string::npos);
}

TEST_F(DkHeapTest, HugeRequestsFailCleanlyInsteadOfWrapping)
{
    DkHeapAlloc(16);
    const size_t sizes[] = {0xFFFFFFF8u,           0xFFFFFFF9u,  0xFFFFFFFFu, size_t{1} << 32,
                            (size_t{1} << 32) + 1, SIZE_MAX - 3, SIZE_MAX};
    for (size_t size : sizes)
    {
        SCOPED_TRACE(size);
        std::string out = CaptureOutput(
            [&]
            {
                EXPECT_EQ(DkHeapAlloc(size), nullptr);
                EXPECT_EQ(DkTempHeapAlloc(size), nullptr);
            });
        EXPECT_NE(out.find("bytes on the heap."), std::string::npos);
        EXPECT_NE(out.find("bytes on the temporary heap."), std::string::npos);
        EXPECT_EQ(DkHeapGetBytesUsed(), 24u);
        EXPECT_EQ(DkHeapGetBlockCount(), 1u);
    }
    EXPECT_EQ(DkHeapAlloc(8), Base() + 24 + 8);
}

TEST(DkHeapTableTest, The50001stBlockFailsLikeAFullHeapUntilTheNextReset)
{
    std::string out = CaptureOutput(
        []
        {
            DkCallAllDestructors();
            ASSERT_GE(DkHeapInit(DK_HEAP_MAX_BLOCKS * 8 + 4096), 0);
        });

    for (int i = 0; i < DK_HEAP_MAX_BLOCKS; ++i)
        ASSERT_NE(DkHeapAlloc(0), nullptr) << i;
    out = CaptureOutput([] { EXPECT_EQ(DkHeapAlloc(0), nullptr); });
    EXPECT_TRUE(Reported(out, "Cannot allocate 0 bytes on the heap.")) << out;
    EXPECT_EQ(DkHeapGetBlockCount(), static_cast<uint32_t>(DK_HEAP_MAX_BLOCKS));
    EXPECT_EQ(DkHeapGetBytesUsed(), DK_HEAP_MAX_BLOCKS * 8u);

    DkHeapReset();
    void* block = DkHeapAlloc(4);
    EXPECT_EQ(block, Base() + 8);
    EXPECT_EQ(HeaderOf(block).uAllocationNumber, 0u);
    CaptureOutput([] { DkCallAllDestructors(); });
}

TEST_F(DkHeapTest, TheTemporaryHeapHandsOutItsOneBlockAgainAndClearsIt)
{
    auto* first = static_cast<unsigned char*>(DkTempHeapAlloc(100));
    ASSERT_NE(first, nullptr);
    std::memset(first, 0xCD, 104);
    auto* second = static_cast<unsigned char*>(DkTempHeapAlloc(60));
    EXPECT_EQ(second, first);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(second[i], 0) << i;
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(second[-i], 0) << "the 8 bytes in front are never written";
}

TEST_F(DkHeapTest, TheTemporaryHeapMustBeGreaterThanTheRequestAndItsEightBytes)
{
    struct Case
    {
        size_t request;
        bool fits;
        const char* report;
    };
    const Case cases[] = {
        {kTempHeapSize - 8, false, "Cannot allocate 4088 bytes on the temporary heap."},
        {kTempHeapSize - 15, false, "Cannot allocate 4088 bytes on the temporary heap."},
        {kTempHeapSize, false, "Cannot allocate 4096 bytes on the temporary heap."},
        {kTempHeapSize - 16, true, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.request);
        void* block = nullptr;
        std::string out = CaptureOutput([&] { block = DkTempHeapAlloc(c.request); });
        EXPECT_EQ(block != nullptr, c.fits);
        if (c.report != nullptr)
            EXPECT_TRUE(Reported(out, c.report)) << out;
        else
            EXPECT_EQ(out, "");
    }
}

// Stands in for the display's destroy callback: it sees the heap as the reset finds it.
uint32_t gBytesUsedAtDisplayTeardown;
int gDisplayTeardowns;
BOOL FakeDisplayDestructor()
{
    gBytesUsedAtDisplayTeardown = DkHeapGetBytesUsed();
    ++gDisplayTeardowns;
    return TRUE;
}

TEST_F(DkHeapTest, ResetAllHeapsTearsTheDisplayDownFirstAndThenEmptiesBothHeaps)
{
    DkHeapAlloc(100);
    DkHeapAlloc(20);
    auto* temp = static_cast<unsigned char*>(DkTempHeapAlloc(32));
    std::memset(temp, 0x5A, 32);
    gDisplayTeardowns = 0;
    gnDisplayDestructorMark = DkAddDestructor(FakeDisplayDestructor, "DirectDrawDestructor");

    std::string out = CaptureOutput([] { DkResetAllHeaps(); });

    EXPECT_EQ(gDisplayTeardowns, 1);
    EXPECT_EQ(gBytesUsedAtDisplayTeardown, 104u + 8 + 24 + 8);
    EXPECT_EQ(gnDisplayDestructorMark, -1);
    EXPECT_EQ(gnNumDestructors, 2) << "the heaps stay registered";
    EXPECT_EQ(temp[0], 0);
    EXPECT_EQ(temp[31], 0);
    EXPECT_EQ(DkHeapGetPeak(), 0u);
    EXPECT_EQ(DkHeapGetBlockCount(), 0u);

    void* block = DkHeapAlloc(4);
    EXPECT_EQ(block, Base() + 8);
    EXPECT_EQ(HeaderOf(block).uAllocationNumber, 0u);
    EXPECT_EQ(DkHeapGetBytesUsed(), 16u);
}

TEST_F(DkHeapTest, FreeAndReallocAcceptTheBlockAndChangeNothing)
{
    void* block = DkHeapAlloc(16);
    std::string out = CaptureOutput(
        [&]
        {
            EXPECT_TRUE(DkHeapFree(block));
            EXPECT_TRUE(DkHeapRealloc(block, 1000));
        });
    EXPECT_EQ(out, "");
    EXPECT_EQ(DkHeapGetBytesUsed(), 24u);
    EXPECT_EQ(DkHeapAlloc(16), Base() + 24 + 8) << "freed space is not used again";

    out = CaptureOutput([] { EXPECT_TRUE(DkHeapRealloc(nullptr, 8)); });
    EXPECT_TRUE(Reported(out, "DkHeapRealloc() : NULL pointer")) << out;
}

TEST(DkHeapNotInitialisedTest, EveryUseIsReportedAndTheCallGoesOn)
{
    CaptureOutput([] { DkCallAllDestructors(); });
    struct Case
    {
        const char* name;
        std::function<void()> call;
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {"alloc",
         [] { EXPECT_EQ(DkHeapAlloc(4), nullptr); },
         {"ERROR - HEAP NOT INTIIALISED!", "Cannot allocate 8 bytes on the heap."}},
        {"free", [] { EXPECT_TRUE(DkHeapFree(nullptr)); }, {"ERROR - HEAP NOT INTIIALISED!"}},
        {"reset", [] { DkHeapReset(); }, {"ERROR - HEAP NOT INTIIALISED!"}},
        {"resize", [] { EXPECT_FALSE(DkHeapResize(64)); }, {"ERROR - HEAP NOT INTIIALISED!"}},
        {"temporary alloc",
         [] { EXPECT_EQ(DkTempHeapAlloc(4), nullptr); },
         {"ERROR - TEMP HEAP NOT INTIIALISED!", "Cannot allocate 8 bytes on the temporary heap."}},
        {"temporary reset", [] { DkTempHeapReset(); }, {"ERROR - TEMPORARY HEAP NOT INTIIALISED!"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string out = CaptureOutput(c.call);
        for (const std::string& report : c.reports)
            EXPECT_TRUE(Reported(out, report)) << out;
    }
}

TEST_F(DkHeapTest, ASecondInitIsReportedAndKeepsTheHeapInUse)
{
    void* block = DkHeapAlloc(8);
    const void* base = DkHeapGetBase();
    std::string out = CaptureOutput(
        []
        {
            EXPECT_EQ(DkHeapInit(kHeapSize), 1);
            EXPECT_EQ(DkTempHeapInit(kTempHeapSize), 0);
        });
    EXPECT_TRUE(Reported(out, "ERROR - HEAP ALREADY INITIALISED!")) << out;
    EXPECT_TRUE(Reported(out, "ERROR - TEMPORARY HEAP ALREADY INITIALISED!")) << out;
    EXPECT_EQ(DkHeapGetBase(), base);
    EXPECT_EQ(HeaderOf(block).uSize, 8u);
    EXPECT_EQ(gnNumDestructors, 2);
}

TEST_F(DkHeapTest, ResizeKeepsTheCountersAndGoesOnFromTheSameOffset)
{
    DkHeapAlloc(8);
    DkHeapAlloc(24);
    ASSERT_EQ(DkHeapGetBytesUsed(), 48u);

    ASSERT_TRUE(DkHeapResize(8192));
    EXPECT_EQ(DkHeapGetBytesUsed(), 48u);
    EXPECT_EQ(DkHeapGetBlockCount(), 2u);
    void* block = DkHeapAlloc(8192 - 48 - 8);
    EXPECT_EQ(block, Base() + 48 + 8);
    EXPECT_EQ(HeaderOf(block).uAllocationNumber, 2u);
}

TEST_F(DkHeapTest, DestroyCallbacksLogThePeaksInKilobytes)
{
    DkHeapAlloc(1016);
    DkHeapAddWaveBytes(2048);
    DkTempHeapAlloc(2040);
    DkTempHeapAlloc(100); // the temporary peak keeps the larger request

    CaptureOutput([] { DkCallAllDestructors(); });

    std::string log = Log();
    EXPECT_NE(log.find("*** 3 KB RAM usage on the heap\r\n"
                       "plus 0 KB RAM usage for wavs (not in the heap)\r\n"
                       "Heap Destructor done\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("*** 2 KB RAM usage on the temporary heap\r\n"
                       "Temporary Heap Destructor done\r\n"),
              std::string::npos)
        << log;
    EXPECT_LT(log.find("Heap Destructor done"), log.find("Temporary Heap Destructor done"))
        << "the main heap was registered last";
    EXPECT_EQ(DkHeapGetBase(), nullptr);
}

TEST_F(DkHeapTest, UsageAndLeakLinesTellTheBytesInUse)
{
    DkHeapCheckLeaks(); // an empty heap says nothing
    DkHeapAlloc(16);
    DkHeapReportUsage();
    DkHeapCheckLeaks();

    const std::string dashes(43, '-');
    std::string log = Log();
    EXPECT_NE(log.find(dashes + "\r\n*** 24 bytes of the heap have been used.\r\n" + dashes +
                       "\r\nThe heap is not empty -  MEMORY LEAK ALERT !!! There are 24 bytes in "
                       "the heap\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("MEMORY LEAK"), log.rfind("MEMORY LEAK"));
}

} // namespace
