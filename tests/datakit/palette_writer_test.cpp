#include "tools/datakit/palette_writer.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/datakit/gunzip.h"
#include "tests/support/test_env.h"

namespace
{

// Every channel of every entry distinct from its neighbours, so a shifted or reordered entry
// shows.
datakit::Palette Distinct()
{
    datakit::Palette palette{};
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                      static_cast<uint8_t>(i * 3 + 1)};
    return palette;
}

} // namespace

TEST(PaletteWriter, HeaderFieldsStandAtTheirOffsets)
{
    const std::vector<uint8_t> out = datakit::FormatPaletteFile(Distinct());
    ASSERT_EQ(out.size(), 1048u);
    const std::vector<uint8_t> header = {
        'R',  'I',  'F', 'F', 0x10, 0x04, 0,   0,   // rest of the file: 1,040
        'P',  'A',  'L', ' ', 'd',  'a',  't', 'a', // form type, data chunk
        0x04, 0x04, 0,   0,                         // chunk size 1,028
        0x00, 0x03,                                 // version 0x0300
        0x00, 0x01,                                 // 256 entries
    };
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 24), header);
}

TEST(PaletteWriter, EntriesStartAtByte24AsRedGreenBlueAndZeroFlags)
{
    const datakit::Palette palette = Distinct();
    const std::vector<uint8_t> out = datakit::FormatPaletteFile(palette);
    ASSERT_EQ(out.size(), datakit::kPaletteEntriesOffset + 256 * 4);
    for (size_t i = 0; i < palette.size(); ++i)
    {
        SCOPED_TRACE(i);
        const uint8_t* entry = &out[datakit::kPaletteEntriesOffset + i * 4];
        EXPECT_EQ(entry[0], palette[i].red);
        EXPECT_EQ(entry[1], palette[i].green);
        EXPECT_EQ(entry[2], palette[i].blue);
        EXPECT_EQ(entry[3], 0);
    }
}

TEST(PaletteWriter, WritesTheFileOrThrows)
{
    TestEnv env;
    const datakit::Palette palette = datakit::SpectrumPalette();
    datakit::WritePaletteFile(env.Path("spectrum.pal"), palette);
    EXPECT_EQ(BytesOf(ReadWholeFile(env.Path("spectrum.pal"))),
              datakit::FormatPaletteFile(palette));

    EXPECT_THROW(datakit::WritePaletteFile(env.Path("missing/dir/grey.pal"), palette),
                 datakit::Error);
    EXPECT_FALSE(std::filesystem::exists(env.Path("missing")));
}
