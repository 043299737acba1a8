#include "tools/datakit/dkpr_writer.h"

#include <filesystem>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include "tests/datakit/gunzip.h"
#include "tests/support/test_env.h"

namespace fs = std::filesystem;
using datakit::DkprWrap;
using datakit::Gzip;

namespace
{

// Bytes that deflate cannot shrink, so the compressed stream spans many output chunks.
std::vector<uint8_t> Noise(size_t n)
{
    std::vector<uint8_t> v(n);
    uint32_t x = 12345;
    for (auto& b : v)
    {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

std::vector<uint8_t> ReadBytes(const fs::path& p)
{
    return BytesOf(ReadWholeFile(p.string()));
}

size_t EntriesIn(const fs::path& dir)
{
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

} // namespace

TEST(DkprWrap, SmallDataByteForByte)
{
    std::vector<uint8_t> expected = {'D', 'K', 'P', 'R', 3, 0, 0, 0, 'a', 'b', 'c'};
    EXPECT_EQ(DkprWrap(BytesOf("abc")), expected);
    EXPECT_EQ(DkprWrap({}), (std::vector<uint8_t>{'D', 'K', 'P', 'R', 0, 0, 0, 0}));
}

TEST(DkprWrap, LengthIsLittleEndianInEveryByte)
{
    // Four distinct non-zero length bytes show both the order and every shift.
    const size_t n = 0x01020304;
    std::vector<uint8_t> data = Noise(n);
    std::vector<uint8_t> out = DkprWrap(data);
    ASSERT_EQ(out.size(), 8 + n);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 4, out.begin() + 8),
              (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin() + 8));
}

TEST(DkprWrap, RefusesLengthsTheReaderCannotTake)
{
    TestEnv env;
    for (size_t n : {size_t{0xFFFFFFFFu}, size_t{0x100000000u}})
    {
        SCOPED_TRACE(n);
        // Address space only: touching it would fault, so the check must come first.
        void* p = mmap(nullptr, n, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        ASSERT_NE(p, MAP_FAILED);
        std::span<const uint8_t> huge(static_cast<const uint8_t*>(p), n);
        EXPECT_THROW(DkprWrap(huge), datakit::Error);
        EXPECT_THROW(datakit::WriteDkprFile(env.Path("huge.dat"), huge, false), datakit::Error);
        EXPECT_THROW(datakit::WriteDkprFile(env.Path("huge.dat"), huge, true), datakit::Error);
        EXPECT_FALSE(FileExists(env.Path("huge.dat")));
        munmap(p, n);
    }
}

TEST(Gzip, InflatesToTheInputAtEveryLevel)
{
    struct Case
    {
        const char* name;
        std::vector<uint8_t> data;
    };
    const Case cases[] = {
        {"empty", {}},
        {"text", BytesOf("the quick brown fox")},
        {"incompressible 300 KB", Noise(300 * 1024)},
        {"repetitive 1 MB", std::vector<uint8_t>(1 << 20, 'x')},
    };
    for (const Case& c : cases)
        for (int level : {-1, 0, 1, 9})
        {
            SCOPED_TRACE(std::string(c.name) + " level " + std::to_string(level));
            std::vector<uint8_t> gz = Gzip(c.data, level);
            ASSERT_GE(gz.size(), 18u);
            EXPECT_EQ(gz[0], 0x1F);
            EXPECT_EQ(gz[1], 0x8B);
            EXPECT_EQ(gz[2], 8) << "deflate";
            EXPECT_EQ(Gunzip(gz), c.data);
        }
}

TEST(Gzip, RefusesLevelsZlibDoesNotHave)
{
    for (int level : {-2, 10})
        EXPECT_THROW(Gzip(BytesOf("x"), level), datakit::Error) << level;
}

TEST(WriteDkprFile, BothStoredFormsHoldTheWrapper)
{
    TestEnv env;
    const std::vector<uint8_t> data = Noise(70000);
    const fs::path plain = env.Path("plain.dat");
    const fs::path packed = env.Path("packed.dat");
    WriteWholeFile(plain.string(), std::string(100000, 'o'));

    datakit::WriteDkprFile(plain, data, false);
    datakit::WriteDkprFile(packed, data, true);

    EXPECT_EQ(ReadBytes(plain), DkprWrap(data));
    EXPECT_EQ(Gunzip(ReadBytes(packed)), DkprWrap(data));
}

TEST(WriteDkprFile, FailureNamesThePathAndLeavesNothing)
{
    TestEnv env;
    const fs::path dir = env.Path("out");
    fs::create_directories(dir);
    try
    {
        datakit::WriteDkprFile(dir / "missing" / "x.dat", BytesOf("abc"), true);
        FAIL() << "no error";
    }
    catch (const datakit::Error& e)
    {
        EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
    }
    // A directory where the file should go: the rename fails after the temporary was written.
    fs::create_directories(dir / "taken.dat" / "inside");
    EXPECT_THROW(datakit::WriteDkprFile(dir / "taken.dat", BytesOf("abc"), false), datakit::Error);
    EXPECT_EQ(EntriesIn(dir), 1u) << "temporary file left behind";
}
