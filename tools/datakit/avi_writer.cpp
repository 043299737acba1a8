#include "tools/datakit/avi_writer.h"

#include <cmath>
#include <string>

#include "tools/datakit/wave_writer.h"

namespace datakit
{

namespace
{

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyframe = 0x10;
constexpr int kMaxSide = 1024;

class Writer
{
public:
    std::vector<uint8_t> out;

    void Tag(const char* tag) { out.insert(out.end(), tag, tag + 4); }
    void U32(uint32_t v) { AppendLittleEndian(out, v, 4); }
    void U16(uint32_t v) { AppendLittleEndian(out, v, 2); }
    // Starts a chunk or list; the size is filled in by End.
    size_t Begin(const char* tag)
    {
        Tag(tag);
        size_t at = out.size();
        U32(0);
        return at;
    }
    void End(size_t sizeAt)
    {
        uint64_t size = out.size() - sizeAt - 4;
        if (size > 0xFFFFFFF0u)
            throw Error("the movie is too large for an AVI file");
        for (int i = 0; i < 4; ++i)
            out[sizeAt + i] = static_cast<uint8_t>(size >> (8 * i));
        if (size & 1)
            out.push_back(0);
    }
};

} // namespace

std::vector<uint8_t> FormatAviFile(const AviMovie& movie)
{
    if (movie.width <= 0 || movie.height <= 0 || movie.width > kMaxSide || movie.height > kMaxSide)
        throw Error("a movie frame is 1 to 1,024 pixels a side");
    if (movie.framesPerSecond <= 0 || movie.framesPerSecond > 100)
        throw Error("a movie runs at 1 to 100 frames a second");
    if (movie.frames.empty())
        throw Error("a movie needs at least one frame");
    size_t frameBytes = static_cast<size_t>(movie.width) * movie.height * 3;
    for (const auto& frame : movie.frames)
        if (frame.size() != frameBytes)
            throw Error("every frame of the movie must be " + std::to_string(frameBytes) +
                        " bytes");
    bool sound = !movie.sound.empty();
    if (sound && movie.soundRate != 11025 && movie.soundRate != 22050)
        throw Error("a movie's sound is 11,025 or 22,050 Hz");

    uint32_t frames = static_cast<uint32_t>(movie.frames.size());
    uint32_t rowBytes = (static_cast<uint32_t>(movie.width) * 3 + 3) & ~3u;
    uint32_t imageBytes = rowBytes * static_cast<uint32_t>(movie.height);
    size_t soundSamples = movie.sound.size();
    // Each frame's share of the sound, so the two streams stay side by side in the file.
    auto soundBefore = [&](uint32_t frame) { return soundSamples * frame / frames; };
    uint32_t maxSoundChunk = 0;
    for (uint32_t f = 0; f < frames; ++f)
        maxSoundChunk = std::max<uint32_t>(
            maxSoundChunk, static_cast<uint32_t>(soundBefore(f + 1) - soundBefore(f)) * 2);

    Writer w;
    size_t riff = w.Begin("RIFF");
    w.Tag("AVI ");
    size_t hdrl = w.Begin("LIST");
    w.Tag("hdrl");
    size_t avih = w.Begin("avih");
    w.U32(static_cast<uint32_t>(1000000 / movie.framesPerSecond));
    w.U32(imageBytes * static_cast<uint32_t>(movie.framesPerSecond) + movie.soundRate * 2);
    w.U32(0);
    w.U32(kAvifHasIndex);
    w.U32(frames);
    w.U32(0);
    w.U32(sound ? 2 : 1);
    w.U32(std::max(imageBytes, maxSoundChunk));
    w.U32(static_cast<uint32_t>(movie.width));
    w.U32(static_cast<uint32_t>(movie.height));
    for (int i = 0; i < 4; ++i)
        w.U32(0);
    w.End(avih);

    size_t strl = w.Begin("LIST");
    w.Tag("strl");
    size_t strh = w.Begin("strh");
    w.Tag("vids");
    w.Tag("DIB ");
    w.U32(0);                                            // flags
    w.U16(0), w.U16(0);                                  // priority, language
    w.U32(0);                                            // initial frames
    w.U32(1);                                            // scale
    w.U32(static_cast<uint32_t>(movie.framesPerSecond)); // rate
    w.U32(0);                                            // start
    w.U32(frames);                                       // length
    w.U32(imageBytes);                                   // suggested buffer size
    w.U32(0xFFFFFFFFu);                                  // quality
    w.U32(0);                                            // sample size
    w.U16(0), w.U16(0), w.U16(static_cast<uint32_t>(movie.width)),
        w.U16(static_cast<uint32_t>(movie.height));
    w.End(strh);
    size_t strf = w.Begin("strf");
    w.U32(40);
    w.U32(static_cast<uint32_t>(movie.width));
    w.U32(static_cast<uint32_t>(movie.height)); // positive: bottom row first
    w.U16(1);
    w.U16(24);
    w.U32(0); // BI_RGB
    w.U32(imageBytes);
    for (int i = 0; i < 4; ++i)
        w.U32(0);
    w.End(strf);
    w.End(strl);

    if (sound)
    {
        size_t astrl = w.Begin("LIST");
        w.Tag("strl");
        size_t ah = w.Begin("strh");
        w.Tag("auds");
        w.U32(0);
        w.U32(0);
        w.U16(0), w.U16(0);
        w.U32(0);
        w.U32(2);                   // scale: the block alignment
        w.U32(movie.soundRate * 2); // rate: bytes a second
        w.U32(0);
        w.U32(static_cast<uint32_t>(soundSamples));
        w.U32(maxSoundChunk);
        w.U32(0xFFFFFFFFu);
        w.U32(2); // sample size
        w.U16(0), w.U16(0), w.U16(0), w.U16(0);
        w.End(ah);
        size_t af = w.Begin("strf");
        w.U16(1);
        w.U16(1);
        w.U32(movie.soundRate);
        w.U32(movie.soundRate * 2);
        w.U16(2);
        w.U16(16);
        w.End(af);
        w.End(astrl);
    }
    w.End(hdrl);

    struct IndexEntry
    {
        const char* id;
        uint32_t offset;
        uint32_t size;
    };
    std::vector<IndexEntry> index;
    size_t movi = w.Begin("LIST");
    size_t moviTag = w.out.size();
    w.Tag("movi");
    for (uint32_t f = 0; f < frames; ++f)
    {
        index.push_back({"00db", static_cast<uint32_t>(w.out.size() - moviTag), imageBytes});
        size_t chunk = w.Begin("00db");
        const auto& frame = movie.frames[f];
        for (int y = movie.height - 1; y >= 0; --y)
        {
            const uint8_t* row = frame.data() + static_cast<size_t>(y) * movie.width * 3;
            for (int x = 0; x < movie.width; ++x)
            {
                // BI_RGB stores blue, green, red.
                w.out.push_back(row[x * 3 + 2]);
                w.out.push_back(row[x * 3 + 1]);
                w.out.push_back(row[x * 3]);
            }
            w.out.resize(w.out.size() + (rowBytes - static_cast<uint32_t>(movie.width) * 3), 0);
        }
        w.End(chunk);
        if (sound)
        {
            size_t from = soundBefore(f), to = soundBefore(f + 1);
            uint32_t bytes = static_cast<uint32_t>(to - from) * 2;
            index.push_back({"01wb", static_cast<uint32_t>(w.out.size() - moviTag), bytes});
            size_t a = w.Begin("01wb");
            for (size_t i = from; i < to; ++i)
                w.U16(static_cast<uint16_t>(movie.sound[i]));
            w.End(a);
        }
    }
    w.End(movi);
    size_t idx1 = w.Begin("idx1");
    for (const IndexEntry& e : index)
    {
        w.Tag(e.id);
        w.U32(kAviifKeyframe);
        w.U32(e.offset);
        w.U32(e.size);
    }
    w.End(idx1);
    w.End(riff);
    return w.out;
}

void WriteAviFile(const std::filesystem::path& path, const AviMovie& movie)
{
    WriteFileAtomically(path, FormatAviFile(movie));
}

std::vector<uint8_t> TwoColourFrame(int width, int height, int split, const uint8_t (&top)[3],
                                    const uint8_t (&bottom)[3])
{
    std::vector<uint8_t> frame;
    frame.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const uint8_t(&c)[3] = y < split ? top : bottom;
            frame.insert(frame.end(), c, c + 3);
        }
    return frame;
}

AviMovie DemoMovie()
{
    AviMovie movie;
    movie.width = 96;
    movie.height = 72;
    movie.framesPerSecond = 12;
    constexpr int kFrames = 24;
    for (int f = 0; f < kFrames; ++f)
    {
        std::vector<uint8_t> frame;
        int barX = f * movie.width / kFrames;
        for (int y = 0; y < movie.height; ++y)
            for (int x = 0; x < movie.width; ++x)
            {
                bool bar = x >= barX && x < barX + 8;
                frame.push_back(bar ? 255 : static_cast<uint8_t>(x * 255 / movie.width));
                frame.push_back(bar ? 255 : static_cast<uint8_t>(y * 255 / movie.height));
                frame.push_back(bar ? 255 : 96);
            }
        movie.frames.push_back(std::move(frame));
    }
    movie.soundRate = 22050;
    size_t samples = movie.soundRate * kFrames / movie.framesPerSecond;
    movie.sound.resize(samples);
    double phase = 0.0;
    for (size_t i = 0; i < samples; ++i)
    {
        double hertz = 880.0 - 440.0 * static_cast<double>(i) / samples;
        phase += 6.28318530717958647692 * hertz / movie.soundRate;
        movie.sound[i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(phase)));
    }
    return movie;
}

} // namespace datakit
