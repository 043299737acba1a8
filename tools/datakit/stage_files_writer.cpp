#include "tools/datakit/stage_files_writer.h"

#include <cmath>

namespace datakit
{
namespace
{
constexpr size_t kAnimationRecord = 13;

void PutFixed(std::vector<uint8_t>& out, double value)
{
    const auto word = static_cast<uint32_t>(static_cast<int32_t>(std::lround(value * 65536.0)));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(word >> (8 * i)));
}
} // namespace

std::vector<uint8_t> FormatHorizonRecord(const HorizonRecord& record)
{
    std::vector<uint8_t> out;
    PutFixed(out, record.horizonHeight);
    PutFixed(out, record.objectClip);
    PutFixed(out, record.farClip);
    PutFixed(out, record.horizonDistance);
    return out;
}

std::vector<uint8_t> FormatAnimations(const std::vector<std::string>& names)
{
    std::vector<uint8_t> out;
    for (const std::string& name : names)
    {
        if (name.size() >= kAnimationRecord)
            throw Error("an animated texture's name is longer than 12 characters: " + name);
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), kAnimationRecord - name.size(), 0);
    }
    return out;
}

namespace
{
Image Solid(int width, int height, Rgb colour)
{
    Image image;
    image.width = width;
    image.height = height;
    image.colours = {colour};
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return image;
}
} // namespace

Image LoadingBarImage()
{
    return Solid(213, 13, kLoadingBarColour);
}

Image LoadingLineImage()
{
    return Solid(216, 1, {250, 250, 250});
}

Image LoadingBackground(int width, int height)
{
    // Darkening bands down the screen.
    Image image = Solid(width, height, {20, 30, 50});
    image.colours.push_back({40, 60, 90});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels[static_cast<size_t>(y) * width + x] = (y / 16) % 2;
    return image;
}

HorizonRecord DemoHorizonRecord()
{
    HorizonRecord record;
    record.horizonHeight = -20.0;
    record.objectClip = 160.0;
    record.farClip = 240.0;
    record.horizonDistance = 150.0;
    return record;
}

std::vector<std::string> DemoAnimations()
{
    return {"SIGN"};
}

} // namespace datakit
