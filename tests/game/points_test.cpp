// The trigger table of the ".dat" file, its split numbering and clearing, and the older combined
// lines file.

#include "game/vehicle/points.h"

#include <cstring>

#include <gtest/gtest.h>

#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/dk_file.h"
#include "tests/game/ground_fixture.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/lines_writer.h"

namespace
{

using datakit::TriggerRecord;

TriggerRecord Line(double ax, double az, double bx, double bz, uint8_t type, int32_t param)
{
    TriggerRecord r;
    r.a = {Fixed(ax), Fixed(-1), Fixed(az)};
    r.b = {Fixed(bx), Fixed(3), Fixed(bz)};
    r.normal = {0, 0, -65536};
    r.param = param;
    r.type = type;
    return r;
}

class PointsTest : public GroundTest
{
protected:
    void TearDown() override
    {
        gpWallLines = nullptr;
        gnNumWallLines = 0;
        GroundTest::TearDown();
    }
    TrackTrigger* Read(const std::vector<uint8_t>& bytes)
    {
        return Points_ReadTriggers(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
};

TEST_F(PointsTest, ReadsEveryFieldLittleEndianAndKeepsTheBlock)
{
    TriggerRecord r;
    r.a = {1, -2, 0x01020304};
    r.b = {-0x7FFFFFFF - 1, 0x7FFFFFFF, 6};
    r.normal = {-65536, 0, 40000};
    r.param = -123456;
    r.block = 0x0A0B0C0D;
    r.type = 22;
    r.twoSided = 1;
    r.playerBits = 0x81;
    std::vector<uint8_t> bytes = datakit::FormatTriggerRecords({r, r});
    // A tail shorter than a record is ignored.
    bytes.insert(bytes.end(), 47, 0xEE);
    TrackTrigger* p = Read(bytes);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(gnNumWallLines, 2);
    const TrackTrigger& t = p[1];
    EXPECT_EQ((std::array{t.ax, t.ay, t.az}), r.a);
    EXPECT_EQ((std::array{t.bx, t.by, t.bz}), r.b);
    EXPECT_EQ((std::array{t.nx, t.ny, t.nz}), r.normal);
    EXPECT_EQ(t.nParam, -123456);
    EXPECT_EQ(t.uNext, 0x0A0B0C0Du);
    EXPECT_EQ(t.uType, 22);
    EXPECT_EQ(t.uTwoSided, 1);
    EXPECT_EQ(t.uPlayerBits, 0x81);
    EXPECT_EQ(t.uUnused, 0);
    EXPECT_NE(TakeLog().find("\nNumber of wall lines: 2\n\r\n"), std::string::npos);
}

TEST_F(PointsTest, FilesWithoutWholeRecords)
{
    const struct
    {
        const char* name;
        size_t size;
    } cases[] = {{"empty", 0}, {"one byte short of a record", 47}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        gnNumWallLines = 9;
        const std::vector<uint8_t> bytes(c.size, 0x55);
        EXPECT_EQ(
            Points_ReadTriggers(c.size ? bytes.data() : nullptr, static_cast<uint32_t>(c.size)),
            nullptr);
        EXPECT_EQ(gnNumWallLines, 0);
    }
}

TEST_F(PointsTest, LoadsTheFileOrLeavesNoTable)
{
    const datakit::Ground ground = datakit::MakeGround("flat-tarmac");
    datakit::WriteGround(ground, env.DriveC());
    TrackTrigger* p = Points_LoadTriggerFile("c:\\FLAT-TARMAC.DAT", DKLF_AS_GIVEN);
    const std::vector<TriggerRecord> want = datakit::TriggerRecordsFor(ground.lines, ground.blocks);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(gnNumWallLines, static_cast<int32_t>(want.size()));
    for (size_t i = 0; i < want.size(); ++i)
    {
        EXPECT_EQ(p[i].uNext, want[i].block);
        EXPECT_EQ(p[i].uType, want[i].type);
        EXPECT_EQ(p[i].bz, want[i].b[2]);
    }
    Points_ClearWallLines(p);
    EXPECT_EQ(gpWallLines, p);

    // A stage without the file has no trigger lines at all.
    CaptureOutput([]
                  { EXPECT_EQ(Points_LoadTriggerFile("c:\\none.dat", DKLF_AS_GIVEN), nullptr); });
    EXPECT_EQ(gnNumWallLines, 0);
    EXPECT_EQ(gpWallLines, nullptr);
}

TEST_F(PointsTest, NumbersSplitRunsAndSharesTheFirstParameter)
{
    const std::vector<TriggerRecord> records = {
        Line(-18, 50, 18, 50, 1, 7),   // a split stored for three blocks: one split
        Line(-18, 50, 18, 50, 1, 8),   //
        Line(-18, 50, 18, 50, 1, 9),   //
        Line(-18, 30, 18, 30, 0, 101), // a pace note, then its copy
        Line(-18, 30, 18, 30, 0, 102), //
        Line(-18, 60, 18, 60, 1, 3),   // a second split
        Line(-18, 90, 18, 90, 1, 4),   // and a third, last: no neighbour
    };
    TrackTrigger* p = Read(datakit::FormatTriggerRecords(records));
    ASSERT_NE(p, nullptr);
    TakeLog();
    Points_NumberSplitLines(p);
    EXPECT_EQ(Points_GetSplitCount(), 3);
    EXPECT_NE(TakeLog().find("3 Split Lines found\r\n"), std::string::npos);
    const int32_t params[] = {7, 7, 7, 101, 101, 3, 4};
    const uint8_t numbers[] = {0, 0, 0, 0, 0, 1, 2};
    for (int i = 0; i < 7; ++i)
    {
        EXPECT_EQ(p[i].nParam, params[i]) << "record " << i;
        EXPECT_EQ(p[i].uPlayerBits, numbers[i]) << "record " << i;
    }

    for (int i = 0; i < 7; ++i)
        p[i].uPlayerBits = static_cast<uint8_t>(0x11 * (i + 1));
    Points_ClearWallLines(p);
    EXPECT_EQ(gpWallLines, p);
    EXPECT_EQ(Points_GetSplitCount(), 0);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(p[i].uPlayerBits, 0) << "record " << i;
    EXPECT_EQ(p[1].nParam, 7);
}

TEST_F(PointsTest, OneSplitRunCountsOnce)
{
    const std::vector<TriggerRecord> records(3, Line(-18, 50, 18, 50, 1, 5));
    std::vector<TriggerRecord> varied = records;
    varied[1].param = 6;
    varied[2].param = 7;
    TrackTrigger* p = Read(datakit::FormatTriggerRecords(varied));
    TakeLog();
    Points_NumberSplitLines(p);
    EXPECT_NE(TakeLog().find("1 Split Lines found"), std::string::npos);
    EXPECT_EQ(p[2].nParam, 5);
}

datakit::OldLinesFile OldFile(int racing, int walls)
{
    datakit::OldLinesFile f;
    for (int i = 0; i < racing; ++i)
    {
        std::array<int32_t, 16> words{};
        for (int w = 0; w < 16; ++w)
            words[w] = i * 100 + w;
        f.racingLines.push_back(words);
        f.racingLineBytes.push_back(static_cast<uint8_t>(i));
    }
    for (int i = 0; i < walls; ++i)
        f.wallLines.push_back({i, 1, 2, 3, 4, -i});
    return f;
}

TEST_F(PointsTest, OldLinesFileLoadsUpToItsLimits)
{
    const std::vector<uint8_t> bytes = datakit::FormatOldLinesFile(OldFile(499, 1023));
    BOOL ok = FALSE;
    CaptureOutput([&] { ok = Points_Load(bytes.data(), static_cast<uint32_t>(bytes.size())); });
    ASSERT_TRUE(ok);
    ASSERT_EQ(gnNumRacingLines, 499);
    ASSERT_EQ(gnNumLoadedWallLines, 1023);
    EXPECT_EQ(gpRacingLines[498].anWords[15], 49815);
    EXPECT_EQ(gpRacingLineBytes[498], 498 & 0xFF);
    const WallLine& last = gpLoadedWallLines[1022];
    EXPECT_EQ(last.ax, 1022);
    EXPECT_EQ(last.bz, -1022);
    EXPECT_EQ(last.nParam, -32768);
    EXPECT_EQ(last.uPlayerBits, 0);
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Number of racing lines: 499\n\r\nNumber racing lines: 499\n\r\n0 1\n\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("49800 49801\n\r\nNum of wall lines: 1023\n\r\n"), std::string::npos);
    int registered = 0;
    for (int i = 0; i < gnNumDestructors; ++i)
        registered += std::strcmp(gaDestructors[i].szName, "Points Destructor!") == 0;
    EXPECT_EQ(registered, 1);
}

// Every refusal leaves nothing loaded, even after a good file.
TEST_F(PointsTest, OldLinesFileStopsAtItsLimitsAndAtTheEndOfItsBytes)
{
    const std::vector<uint8_t> small = datakit::FormatOldLinesFile(OldFile(2, 3));
    auto withWallCount = [](int32_t n)
    {
        std::vector<uint8_t> f = datakit::FormatOldLinesFile(OldFile(1, 0));
        for (int i = 0; i < 4; ++i)
            f[4 + 64 + i] = static_cast<uint8_t>(static_cast<uint32_t>(n) >> (8 * i));
        return f;
    };
    auto cut = [&small](size_t n)
    { return std::vector<uint8_t>(small.begin(), small.begin() + n); };
    const struct
    {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* report;
    } cases[] = {
        {"500 racing lines", datakit::FormatOldLinesFile(OldFile(500, 0)),
         "Error, must be < 500 lines"},
        {"1,024 wall lines", datakit::FormatOldLinesFile(OldFile(0, 1024)),
         "ERROR, Too many wall lines"},
        {"a negative wall-line count", withWallCount(-1),
         "ERROR, Number of wall lines less than 0"},
        {"a negative racing-line count",
         {0xFF, 0xFF, 0xFF, 0xFF},
         "Points_Load() : -1 racing lines"},
        {"no count", cut(3), "Points_Load() : no racing-line count"},
        {"racing lines past the data", cut(4 + 64 + 3), "Points_Load() : 2 racing lines need"},
        {"wall lines past the data", cut(4 + 128 + 4 + 24 * 3 - 1),
         "Points_Load() : 2 racing and 3 wall lines need"},
        {"the racing lines' bytes cut short", cut(small.size() - 1),
         "Points_Load() : 2 racing and 3 wall lines need"},
        {"a wall count past the data", withWallCount(5), "Points_Load() : 1 racing and 5 wall"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        CaptureOutput(
            [&] { ASSERT_TRUE(Points_Load(small.data(), static_cast<uint32_t>(small.size()))); });
        BOOL ok = TRUE;
        const std::string out = CaptureOutput(
            [&] { ok = Points_Load(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())); });
        EXPECT_FALSE(ok);
        EXPECT_EQ(CountReports(out), 1) << out;
        EXPECT_NE(out.find(c.report), std::string::npos) << out;
        EXPECT_EQ(gpRacingLines, nullptr);
        EXPECT_EQ(gnNumRacingLines, 0);
        EXPECT_EQ(gpLoadedWallLines, nullptr);
        EXPECT_EQ(gnNumLoadedWallLines, 0);
    }
}

} // namespace
