// The sound and movie writers: the bytes they lay down and what they refuse.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/datakit/avi_writer.h"
#include "tools/datakit/wave_writer.h"

namespace
{

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

std::string Tag(const std::vector<uint8_t>& b, size_t at)
{
    return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4);
}

TEST(WaveWriter, AFileIsTheHeaderTheSamplesAndASilentTail)
{
    const int16_t samples[] = {1, -2, 0x1234};
    std::vector<uint8_t> file = datakit::FormatWaveFile(samples, 11025);
    const uint8_t header[44] = {'R', 'I', 'F',  'F',  142, 0,   0,    0,    'W', 'A', 'V',
                                'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                1,   0,   0x11, 0x2B, 0,   0,   0x22, 0x56, 0,   0,   2,
                                0,   16,  0,    'd',  'a', 't', 'a',  106,  0,   0,   0};
    ASSERT_EQ(file.size(), 44u + 6 + 100);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 44),
              std::vector<uint8_t>(header, header + 44));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 44, file.begin() + 50),
              (std::vector<uint8_t>{1, 0, 0xFE, 0xFF, 0x34, 0x12}));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 50, file.end()), std::vector<uint8_t>(100, 0));

    std::vector<uint8_t> stereo = datakit::FormatWaveFile(std::vector<int16_t>(4, 7), 22050, 2);
    EXPECT_EQ(stereo[22], 2);
    EXPECT_EQ(U32(stereo, 28), 22050u * 4);
    EXPECT_EQ(stereo[32], 4);

    struct Case
    {
        const char* what;
        uint32_t rate;
        int channels;
        size_t samples;
    };
    for (Case c : {Case{"44,100 Hz", 44100, 1, 4}, Case{"8,000 Hz", 8000, 1, 4},
                   Case{"three channels", 22050, 3, 6}, Case{"half a stereo frame", 22050, 2, 3}})
        EXPECT_THROW(datakit::FormatWaveFile(std::vector<int16_t>(c.samples), c.rate, c.channels),
                     datakit::Error)
            << c.what;
}

TEST(WaveWriter, TonesAndNoiseAreOurOwnAndRepeatable)
{
    std::vector<int16_t> tone = datakit::Tone(441.0, 22050, 22050, 10000);
    int crossings = 0, peak = 0;
    for (size_t i = 1; i < tone.size(); ++i)
    {
        crossings += (tone[i - 1] < 0) != (tone[i] < 0);
        peak = std::max(peak, std::abs(static_cast<int>(tone[i])));
    }
    EXPECT_NEAR(crossings, 882, 2);
    EXPECT_NEAR(peak, 10000, 30);

    std::vector<int16_t> noise = datakit::Noise(10000, 8000, 7);
    EXPECT_EQ(noise, datakit::Noise(10000, 8000, 7));
    EXPECT_NE(noise, datakit::Noise(10000, 8000, 8));
    int low = 0, high = 0;
    for (int16_t s : noise)
    {
        EXPECT_LE(std::abs(static_cast<int>(s)), 8000);
        low += s < -4000;
        high += s > 4000;
    }
    EXPECT_GT(low, 2000);
    EXPECT_GT(high, 2000);
}

TEST(AviWriter, TheFileHoldsItsStreamsFramesAndIndex)
{
    const uint8_t red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
    datakit::AviMovie movie;
    movie.width = 3; // rows padded to 12 bytes
    movie.height = 2;
    movie.framesPerSecond = 10;
    movie.frames = {datakit::TwoColourFrame(3, 2, 1, red, blue),
                    datakit::TwoColourFrame(3, 2, 1, blue, red)};
    movie.sound = std::vector<int16_t>(4411, 5);
    std::vector<uint8_t> file = datakit::FormatAviFile(movie);

    EXPECT_EQ(Tag(file, 0), "RIFF");
    EXPECT_EQ(U32(file, 4), file.size() - 8);
    EXPECT_EQ(Tag(file, 8), "AVI ");
    // Walk the top level: the header list, the movie list and the index.
    std::vector<std::string> top;
    size_t moviAt = 0, idxAt = 0;
    for (size_t at = 12; at + 8 <= file.size();)
    {
        std::string id = Tag(file, at);
        uint32_t size = U32(file, at + 4);
        ASSERT_LE(at + 8 + size, file.size()) << id;
        top.push_back(id == "LIST" ? Tag(file, at + 8) : id);
        if (top.back() == "movi")
            moviAt = at + 8;
        if (id == "idx1")
            idxAt = at;
        at += 8 + size + (size & 1);
    }
    EXPECT_EQ(top, (std::vector<std::string>{"hdrl", "movi", "idx1"}));
    ASSERT_NE(idxAt, 0u);
    // Four chunks in the index: each frame and its share of the sound, in file order.
    uint32_t entries = U32(file, idxAt + 4) / 16;
    ASSERT_EQ(entries, 4u);
    const char* ids[] = {"00db", "01wb", "00db", "01wb"};
    uint32_t sound = 0;
    for (uint32_t i = 0; i < entries; ++i)
    {
        size_t e = idxAt + 8 + i * 16;
        EXPECT_EQ(Tag(file, e), ids[i]);
        size_t chunk = moviAt + U32(file, e + 8);
        EXPECT_EQ(Tag(file, chunk), ids[i]);
        EXPECT_EQ(U32(file, chunk + 4), U32(file, e + 12));
        if (ids[i][2] == 'd')
            EXPECT_EQ(U32(file, e + 12), 24u);
        else
            sound += U32(file, e + 12);
    }
    EXPECT_EQ(sound, 4411u * 2) << "all the sound, split between the frames";
    // The first frame, bottom row first, blue-green-red: the blue row, then the red one.
    size_t first = moviAt + U32(file, idxAt + 8 + 8) + 8;
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + static_cast<long>(first),
                                   file.begin() + static_cast<long>(first) + 3),
              (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + static_cast<long>(first) + 12,
                                   file.begin() + static_cast<long>(first) + 15),
              (std::vector<uint8_t>{0, 0, 255}));
}

TEST(AviWriter, MoviesOutOfReasonAreRefused)
{
    const uint8_t grey[3] = {128, 128, 128};
    auto movie = [&](int w, int h, int fps, int frames)
    {
        datakit::AviMovie m;
        m.width = w;
        m.height = h;
        m.framesPerSecond = fps;
        for (int i = 0; i < frames; ++i)
            m.frames.push_back(
                datakit::TwoColourFrame(std::max(w, 1), std::max(h, 1), 0, grey, grey));
        return m;
    };
    datakit::AviMovie wrongFrame = movie(4, 4, 10, 2);
    wrongFrame.frames[1].pop_back();
    datakit::AviMovie oddRate = movie(4, 4, 10, 1);
    oddRate.sound = {1, 2};
    oddRate.soundRate = 44100;
    struct Case
    {
        const char* what;
        datakit::AviMovie m;
    };
    const Case cases[] = {
        {"no frames", movie(4, 4, 10, 0)},         {"no width", movie(0, 4, 10, 1)},
        {"too tall", movie(4, 1025, 10, 1)},       {"no rate", movie(4, 4, 0, 1)},
        {"a frame of the wrong size", wrongFrame}, {"sound at 44,100 Hz", oddRate}};
    for (const Case& c : cases)
        EXPECT_THROW(datakit::FormatAviFile(c.m), datakit::Error) << c.what;
    EXPECT_NO_THROW(datakit::FormatAviFile(datakit::DemoMovie()));
}

} // namespace
