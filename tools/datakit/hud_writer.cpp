#include "tools/datakit/hud_writer.h"

#include <cmath>
#include <string>

#include "tools/datakit/file_io.h"

namespace datakit
{

namespace
{

constexpr int kLampSize = 32;
constexpr Rgb kPanel{24, 24, 28};

// A row of `lamps` lamps of the colour on the dark panel, 8 bits over a two-colour table.
Image LampRow(int lamps, Rgb lamp)
{
    Image image;
    image.width = kLampSize * lamps;
    image.height = kLampSize;
    image.bits = 8;
    image.colours = {kPanel, lamp};
    const double r = kLampSize * 0.4, c = (kLampSize - 1) / 2.0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
        {
            const double dx = x % kLampSize - c, dy = y - c;
            image.pixels.push_back(dx * dx + dy * dy <= r * r ? 1 : 0);
        }
    return image;
}

int32_t Fixed(double v, const char* what)
{
    const double scaled = std::round(v * 65536.0);
    if (!(scaled >= -2147483648.0 && scaled <= 2147483647.0))
        throw Error(std::string("cat's eye: the ") + what + " does not fit 16.16");
    return static_cast<int32_t>(scaled);
}

} // namespace

Image StartLightsImage()
{
    return LampRow(5, {230, 30, 24});
}

Image GoLightImage()
{
    return LampRow(1, {40, 220, 60});
}

std::vector<uint8_t> FormatCatsEyes(const std::vector<CatsEye>& eyes)
{
    std::vector<uint8_t> out;
    out.reserve(eyes.size() * kCatsEyeRecordSize);
    for (const CatsEye& e : eyes)
    {
        for (auto [v, what] : {std::pair{e.x, "x"},
                               {e.y, "y"},
                               {e.z, "z"},
                               {e.dirX, "dirX"},
                               {e.dirY, "dirY"},
                               {e.dirZ, "dirZ"}})
            AppendLittleEndian(out, static_cast<uint32_t>(Fixed(v, what)), 4);
        out.push_back(e.split ? 1 : 0);
        out.push_back(e.noPlace ? 1 : 0);
        AppendLittleEndian(out, e.order, 2);
    }
    return out;
}

std::vector<CatsEye> DemoCatsEyes()
{
    std::vector<CatsEye> eyes;
    for (double z = kDemoCatsEyeFirstZ; z <= kDemoFinishZ + 1e-9; z += kDemoCatsEyeStep)
    {
        const StagePoint p = DemoCentreLine(z);
        CatsEye e;
        e.x = p.x;
        e.y = p.y;
        e.z = p.z;
        e.dirX = p.dx;
        e.dirY = 0.0;
        e.dirZ = p.dz;
        for (double split : kDemoSplitZ)
            e.split = e.split || std::abs(z - split) < 1e-9;
        e.order = static_cast<uint16_t>(eyes.size());
        eyes.push_back(e);
    }
    return eyes;
}

} // namespace datakit
