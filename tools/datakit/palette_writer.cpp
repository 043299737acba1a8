#include "tools/datakit/palette_writer.h"

namespace datakit
{

namespace
{

constexpr uint32_t kDataChunkSize = 4 + kPaletteColours * 4;
constexpr uint16_t kPaletteVersion = 0x0300;

} // namespace

std::vector<uint8_t> FormatPaletteFile(const Palette& palette)
{
    std::vector<uint8_t> out;
    out.reserve(kPaletteFileSize);
    AppendTag(out, "RIFF");
    AppendLittleEndian(out, static_cast<uint32_t>(kPaletteFileSize - 8), 4);
    AppendTag(out, "PAL ");
    AppendTag(out, "data");
    AppendLittleEndian(out, kDataChunkSize, 4);
    AppendLittleEndian(out, kPaletteVersion, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(kPaletteColours), 2);
    for (const PaletteColour& colour : palette)
        out.insert(out.end(), {colour.red, colour.green, colour.blue, 0});
    return out;
}

void WritePaletteFile(const std::filesystem::path& path, const Palette& palette)
{
    WriteFileAtomically(path, FormatPaletteFile(palette));
}

Palette GreyPalette()
{
    Palette palette{};
    for (size_t i = 0; i < kPaletteColours; ++i)
    {
        uint8_t level = static_cast<uint8_t>(i);
        palette[i] = {level, level, level};
    }
    return palette;
}

Palette SpectrumPalette()
{
    Palette palette{};
    for (size_t i = 0; i < kPaletteColours; ++i)
    {
        // Six segments of the hue circle, each a 0..255 ramp of one channel.
        size_t hue = i * 6;
        uint8_t up = static_cast<uint8_t>(hue % 256);
        uint8_t down = static_cast<uint8_t>(255 - up);
        switch (hue / 256)
        {
            case 0:
                palette[i] = {255, up, 0};
                break;
            case 1:
                palette[i] = {down, 255, 0};
                break;
            case 2:
                palette[i] = {0, 255, up};
                break;
            case 3:
                palette[i] = {0, down, 255};
                break;
            case 4:
                palette[i] = {up, 0, 255};
                break;
            default:
                palette[i] = {255, 0, down};
                break;
        }
    }
    return palette;
}

} // namespace datakit
