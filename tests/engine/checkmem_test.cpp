#include "engine/common/checkmem.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"
#include "tests/support/engine_test.h"

namespace
{

const std::string kStars = "\n*********************************************\n";

std::string DumpTail(int tracked, int inUse, int adds, int frees, int peak)
{
    return "\n" + std::to_string(tracked) + " memory blocks are **currently** tracked\n" +
           "Current memory in use : " + std::to_string(inUse) + " bytes\n" +
           "ADD_MEM_BLOCK has been called " + std::to_string(adds) + " times\n" +
           "FREE_MEM_BLOCK has been called " + std::to_string(frees) + " times\n" +
           "Peak memory usage : " + std::to_string(peak) + " bytes\n";
}

class CheckMemTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DkResetMemCheckerForTests();
        initOutput = CaptureOutput([] { InitMemChecker(); });
    }
    void TearDown() override
    {
        CaptureOutput([] { DkCallAllDestructors(); });
        DkResetMemCheckerForTests();
        LoggedTest::TearDown();
    }

    std::string initOutput;
    char blocks[64] = {};
};

TEST_F(CheckMemTest, InitAnnouncesItsCapacityRegistersItsDestructorAndRefusesASecondCall)
{
    EXPECT_EQ(initOutput, "\nInitMemChecker() : Can track up to 16384 memory blocks\n");
    ASSERT_EQ(gnNumDestructors, 1);
    EXPECT_STREQ(gaDestructors[0].szName, "MemCheckerDestructor");

    AddMemBlock(&blocks[0], 10, "kept", 1, "a.cpp");
    std::string out = CaptureOutput([] { InitMemChecker(); });
    EXPECT_TRUE(Reported(out, "Error : Multiple attempts to initialise the memory checker"));
    EXPECT_EQ(guTotalMemUsed, 10u) << "the records survive";
    EXPECT_EQ(gnNumDestructors, 1);
}

TEST_F(CheckMemTest, RecordsAndReleasesKeepTheCountsTheDumpShows)
{
    AddMemBlock(&blocks[0], 100, "first", 10, "a.cpp");
    AddMemBlock(&blocks[1], 200, "second", 20, "b.cpp");
    FreeMemBlock(&blocks[0], 30, "a.cpp");
    EXPECT_EQ(guTotalMemUsed, 200u);

    int count = 0;
    std::string out = CaptureOutput([&] { count = DumpUsedMemoryBlocks(); });
    EXPECT_EQ(count, 1);
    EXPECT_EQ(out, kStars + "USED MEMORY BLOCK DUMP\n" +
                       "Block 1 ('second', added in file b.cpp, line 20), is using 200 bytes of "
                       "memory\n" +
                       DumpTail(1, 200, 2, 1, 300) + kStars);
    EXPECT_NE(Log().find("Block 1 ('second', added in file b.cpp, line 20), is using 200 bytes "
                         "of memory\r\n"),
              std::string::npos);
}

TEST_F(CheckMemTest, FreeingAPointerNeverAddedReportsOnceThenStaysSilent)
{
    std::string out = CaptureOutput([&] { FreeMemBlock(&blocks[5], 42, "sound.cpp"); });
    EXPECT_TRUE(Reported(
        out, "FreeMemBlock() : Pointer not found in memory check list.\nEither this memory has "
             "not been added to the memory checker\nor you are trying to free a memory block "
             "more than once.\n\nThe call to free this block was made on line 42, in sound.cpp"))
        << out;

    AddMemBlock(&blocks[6], 8, "once", 1, "a.cpp");
    out = CaptureOutput(
        [&]
        {
            FreeMemBlock(&blocks[6], 2, "a.cpp");
            FreeMemBlock(&blocks[6], 3, "a.cpp"); // freed twice
            FreeMemBlock(&blocks[5], 43, "sound.cpp");
        });
    EXPECT_EQ(out, "");
    EXPECT_EQ(guTotalMemUsed, 0u);
}

TEST_F(CheckMemTest, AddingAPointerTwiceReportsTheFirstRecordCutToItsLimits)
{
    const std::string longName = "a texture name that is far too long";
    const std::string longFile = "engine/pc/a/very/deep/directory/of/sources/dk_surface.cpp";
    AddMemBlock(&blocks[0], 8, "other", 1, "x.cpp");
    AddMemBlock(&blocks[1], 64, longName.c_str(), 77, longFile.c_str());

    std::string out = CaptureOutput([&] { AddMemBlock(&blocks[1], 32, "again", 99, "y.cpp"); });
    EXPECT_TRUE(Reported(out, "AddMemBlock() : You have tried to add a block of memory\n'again' "
                              "on line 99 in y.cpp\nwhich is already in the list as :\nBlock #1 "
                              "('" +
                                  longName.substr(0, 29) + "', added in file " +
                                  longFile.substr(0, 45) +
                                  ", line 77).\nCheck that you have done FREE_MEM_BLOCK on this "
                                  "object\nif the object is allocated and freed, several times."))
        << out;
    EXPECT_EQ(guTotalMemUsed, 72u);
}

TEST_F(CheckMemTest, BadArgumentsAreReportedWithTheCallersLineAndRecordNothing)
{
    struct Case
    {
        const char* name;
        std::function<void(char*)> call;
        std::string report;
    };
    const Case cases[] = {
        {"null pointer", [](char*) { AddMemBlock(nullptr, 4, "x", 5, "f.cpp"); },
         "AddMemBlock() : NULL pointer passed\n\nThe call to add this block was made on line 5, "
         "in f.cpp"},
        {"zero size", [](char* p) { AddMemBlock(p, 0, "x", 6, "f.cpp"); },
         "AddMemBlock() : BlockSize cannot be zero\n\nThe call to add this block was made on "
         "line 6, in f.cpp"},
        {"no name", [](char* p) { AddMemBlock(p, 4, nullptr, 7, "f.cpp"); },
         "AddMemBlock() : Please specify a name for the blockThe call to add this block was made "
         "on line 7, in f.cpp"},
        {"empty name", [](char* p) { AddMemBlock(p, 4, "", 8, "f.cpp"); },
         "AddMemBlock() : Please specify a name for the blockThe call to add this block was made "
         "on line 8, in f.cpp"},
        {"free null", [](char*) { FreeMemBlock(nullptr, 9, "f.cpp"); },
         "FreeMemBlock() : Pointer to NULL\n\nThe call to free this block was made on line 9, in "
         "f.cpp"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string out = CaptureOutput([&] { c.call(blocks); });
        EXPECT_TRUE(Reported(out, c.report)) << out;
    }
    EXPECT_EQ(guTotalMemUsed, 0u);
    int count = -1;
    CaptureOutput([&] { count = DumpUsedMemoryBlocks(); });
    EXPECT_EQ(count, 0);
}

TEST_F(CheckMemTest, TheMacrosPassTheCallersLineAndFile)
{
    ADD_MEM_BLOCK(&blocks[0], 16, "by macro");
    const int addLine = __LINE__ - 1;
    std::string out = CaptureOutput([&] { ADD_MEM_BLOCK(&blocks[0], 16, "again"); });
    EXPECT_NE(out.find("which is already in the list as :\nBlock #0 ('by macro', added in file "
                       "tests/engine/checkmem_test.cpp, line " +
                       std::to_string(addLine) + ")."),
              std::string::npos)
        << out;
    FREE_MEM_BLOCK(&blocks[0]);
    EXPECT_EQ(guTotalMemUsed, 0u);
}

TEST_F(CheckMemTest, AFullTableReportsAndLeavesTheBlockUnrecorded)
{
    std::vector<char> memory(DK_MAX_MEM_BLOCKS + 1);
    for (int i = 0; i < DK_MAX_MEM_BLOCKS; ++i)
        AddMemBlock(&memory[i], 1, "block", i, "f.cpp");
    ASSERT_EQ(guTotalMemUsed, static_cast<uint32_t>(DK_MAX_MEM_BLOCKS));

    std::string out = CaptureOutput(
        [&] { AddMemBlock(&memory[DK_MAX_MEM_BLOCKS], 1000, "one too many", 1, "f.cpp"); });
    EXPECT_TRUE(Reported(out, "AddMemBlock() : Too many memory blocks added to memory "
                              "checker\nPlease re-compile memory checker to allow more memory "
                              "blocks\n\nYou *MUST* press ABORT, to quit"))
        << out;
    EXPECT_EQ(guTotalMemUsed, static_cast<uint32_t>(DK_MAX_MEM_BLOCKS));

    // A freed record takes the next block.
    FreeMemBlock(&memory[100], 1, "f.cpp");
    AddMemBlock(&memory[DK_MAX_MEM_BLOCKS], 1000, "fits now", 1, "f.cpp");
    EXPECT_EQ(guTotalMemUsed, DK_MAX_MEM_BLOCKS - 1u + 1000u);
    CaptureOutput([] { DkCallAllDestructors(); });
}

TEST_F(CheckMemTest, WithNothingRecordedTheExitDumpSaysAllBlocksAreFree)
{
    AddMemBlock(&blocks[0], 50, "gone", 1, "a.cpp");
    FreeMemBlock(&blocks[0], 2, "a.cpp");

    std::string out = CaptureOutput([] { DkCallAllDestructors(); });
    EXPECT_EQ(out, "~:-- Calling destructor 0 (MemCheckerDestructor)\n"
                   "MemCheckerDestructor()\n" +
                       kStars + "USED MEMORY BLOCK DUMP\n" + DumpTail(0, 0, 1, 1, 50) +
                       "\n***************************\n"
                       "ALL MEMORY BLOCKS ARE FREE!\n"
                       "***************************\n\n" +
                       kStars);

    EXPECT_EQ(CaptureOutput([] { EXPECT_TRUE(MemCheckerDestructor()); }), "") << "runs once";
}

TEST_F(CheckMemTest, BlocksLeftAtExitAreReportedAndOnlyTenLinesEverReachTheLog)
{
    for (int i = 0; i < 12; ++i)
        AddMemBlock(&blocks[i], 4, "leak", i, "a.cpp");

    std::string out = CaptureOutput([] { EXPECT_TRUE(MemCheckerDestructor()); });
    EXPECT_EQ(CountOf(out, "('leak', added in file a.cpp"), 12u);
    EXPECT_EQ(out.find("ALL MEMORY BLOCKS ARE FREE!"), std::string::npos);
    EXPECT_TRUE(Reported(out, "\nMemCheckerDestructor() : 12 memory blocks remain used\nCheck the "
                              "output file to see which blocks have not been freed"))
        << out;

    CaptureOutput([] { EXPECT_EQ(DumpUsedMemoryBlocks(), 12); });
    std::string log = Log();
    EXPECT_EQ(CountOf(log, "('leak', added in file a.cpp"), 10u);
    EXPECT_NE(log.find("Block 9 ('leak', added in file a.cpp, line 9), is using 4 bytes of "
                       "memory\r\n"),
              std::string::npos);
}

TEST(CheckMemNotInitialisedTest, EveryCallIsReportedAndDoesNothing)
{
    DkResetMemCheckerForTests();
    char block = 0;
    struct Case
    {
        const char* name;
        std::function<void()> call;
        const char* report;
    };
    const Case cases[] = {
        {"add", [&] { AddMemBlock(&block, 1, "x", 1, "f.cpp"); },
         "AddMemBlock() : Memory checker has not been initialised"},
        {"free", [&] { FreeMemBlock(&block, 1, "f.cpp"); },
         "FreeMemBlock() : Memory checker has not been initialised"},
        {"dump", [] { EXPECT_EQ(DumpUsedMemoryBlocks(), 0); },
         "DumpUsedMemoryBlocks() : Memory checker has not been initialised"},
        {"matching", [] { EXPECT_EQ(DkDumpMemoryBlocksMatching("VRAM surface"), 0); },
         "DumpUsedMemoryBlocks() : Memory checker has not been initialised"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string out = CaptureOutput(c.call);
        EXPECT_TRUE(Reported(out, c.report)) << out;
    }
    EXPECT_EQ(guTotalMemUsed, 0u);
}

} // namespace
