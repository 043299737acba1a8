#include "tools/datakit/wave_writer.h"

#include <cmath>

namespace datakit
{

namespace
{

} // namespace

std::vector<uint8_t> FormatWaveFile(std::span<const int16_t> samples, uint32_t rate, int channels)
{
    if (rate != 11025 && rate != 22050)
        throw Error("a sound file is 11,025 or 22,050 Hz, not " + std::to_string(rate));
    if (channels != 1 && channels != 2)
        throw Error("a sound file is mono or stereo");
    if (samples.size() % static_cast<size_t>(channels) != 0)
        throw Error("a stereo sound needs a sample for each side");
    uint64_t dataBytes = samples.size() * 2 + kWaveTailSize;
    if (dataBytes > 0x7FFFFFFF - kWaveHeaderSize)
        throw Error("a sound file this long cannot be written");
    uint32_t blockAlign = static_cast<uint32_t>(channels) * 2;
    std::vector<uint8_t> out;
    out.reserve(kWaveHeaderSize + dataBytes);
    AppendTag(out, "RIFF");
    AppendLittleEndian(out, static_cast<uint32_t>(36 + dataBytes), 4);
    AppendTag(out, "WAVE");
    AppendTag(out, "fmt ");
    AppendLittleEndian(out, 16, 4);
    AppendLittleEndian(out, 1, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(channels), 2);
    AppendLittleEndian(out, rate, 4);
    AppendLittleEndian(out, rate * blockAlign, 4);
    AppendLittleEndian(out, blockAlign, 2);
    AppendLittleEndian(out, 16, 2);
    AppendTag(out, "data");
    AppendLittleEndian(out, static_cast<uint32_t>(dataBytes), 4);
    for (int16_t sample : samples)
        AppendLittleEndian(out, static_cast<uint16_t>(sample), 2);
    out.resize(out.size() + kWaveTailSize, 0);
    return out;
}

void WriteWaveFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                   uint32_t rate, int channels)
{
    WriteFileAtomically(path, FormatWaveFile(samples, rate, channels));
}

std::vector<int16_t> Tone(double hertz, size_t frames, uint32_t rate, int16_t amplitude)
{
    std::vector<int16_t> samples(frames);
    constexpr double kTwoPi = 6.28318530717958647692;
    for (size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(kTwoPi * hertz * static_cast<double>(i) / rate)));
    return samples;
}

std::vector<int16_t> Noise(size_t frames, int16_t amplitude, uint32_t seed)
{
    std::vector<int16_t> samples(frames);
    uint32_t state = seed != 0 ? seed : 1;
    for (size_t i = 0; i < frames; ++i)
    {
        // xorshift32: the same noise on every machine.
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        int32_t centred = static_cast<int32_t>(state >> 16) - 32768;
        samples[i] = static_cast<int16_t>(centred * amplitude / 32768);
    }
    return samples;
}

} // namespace datakit
