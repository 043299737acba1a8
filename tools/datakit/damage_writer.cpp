#include "tools/datakit/damage_writer.h"

#include <cmath>

namespace datakit
{
namespace
{

void Put(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Fixed(std::vector<uint8_t>& bytes, size_t at, double v)
{
    Put(bytes, at, static_cast<uint32_t>(static_cast<int32_t>(std::llround(v * 65536.0))), 4);
}

} // namespace

std::vector<uint8_t> FormatDamageRecord(const DamageState& s)
{
    std::vector<uint8_t> bytes(kDamageRecordImageSize, 0);
    Put(bytes, 720, static_cast<uint32_t>(s.mainBody), 4);
    Fixed(bytes, 1924, s.parts != 0 ? 1.0 / s.parts : 0.0);
    for (size_t p = 0; p < s.deformation.size(); ++p)
        Fixed(bytes, 1928 + 4 * p, s.deformation[p]);
    for (size_t v = 0; v < s.values.size(); ++v)
        Fixed(bytes, 2048 + 4 * v, s.values[v]);
    const double factors[12] = {s.water,
                                s.steering,
                                s.values[0] * 0.05,
                                s.values[1] * 0.05,
                                s.values[2] * 0.05,
                                s.values[3] * 0.05,
                                s.gripA,
                                s.gripB,
                                s.gripA * s.water,
                                s.gripB * s.water,
                                s.engine,
                                s.gearbox};
    for (size_t k = 0; k < 12; ++k)
        Fixed(bytes, 2100 + 4 * k, factors[k]);
    Put(bytes, 2988, static_cast<uint32_t>(s.pull), 4);
    Put(bytes, 2992, static_cast<uint32_t>(s.parts), 4);
    Put(bytes, 2996, s.drying ? 1 : 0, 4);
    for (size_t p = 0; p < s.smashed.size(); ++p)
    {
        Put(bytes, 3000 + 4 * p, s.smashed[p] ? 1 : 0, 4);
        Fixed(bytes, 3120 + 4 * p, s.thresholds[p]);
    }
    for (int k = 0; k < s.brokenLights && k < 6; ++k)
        Put(bytes, 3240 + 4 * k, 1, 4);
    Put(bytes, 3264, static_cast<uint32_t>(s.brokenLights), 1);
    for (size_t r = 0; r < s.roles.size(); ++r)
        Put(bytes, 3265 + r, static_cast<uint32_t>(s.roles[r]), 1);
    return bytes;
}

} // namespace datakit
