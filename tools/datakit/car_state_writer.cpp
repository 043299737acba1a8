#include "tools/datakit/car_state_writer.h"

#include <cmath>

namespace datakit
{
namespace
{

class Image
{
public:
    Image() : bytes_(kCarStateImageSize, 0) {}

    void Put(size_t at, uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes_[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    void Fixed(size_t at, double v)
    {
        Put(at, static_cast<uint32_t>(static_cast<int32_t>(std::llround(v * 65536.0))), 4);
    }
    void Vector(size_t at, const CarVector& v)
    {
        for (int i = 0; i < 3; ++i)
            Fixed(at + 4 * i, v[i]);
    }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

} // namespace

std::vector<uint8_t> FormatCarState(const CarState& s)
{
    Image image;
    image.Vector(200, s.position);
    image.Vector(212, s.velocity);
    for (size_t i = 0; i < s.contactPoints.size(); ++i)
        image.Vector(252 + 12 * i, s.contactPoints[i]);
    image.Vector(600, s.forward);
    image.Vector(612, s.up);
    image.Vector(624, s.side);
    const CarVector rows[4] = {s.forward, s.up, s.side, s.position};
    for (int r = 0; r < 4; ++r)
        image.Vector(676 + 16 * r, rows[r]);
    image.Vector(972, s.extForce);
    image.Put(1660, s.needsRescue ? 1 : 0, 4);
    image.Put(1848, static_cast<uint32_t>(s.carNumber), 1);
    image.Put(1849, static_cast<uint32_t>(s.carType), 1);
    image.Put(1884, static_cast<uint32_t>(s.eventTimer), 2);

    const size_t mechanics = kCarBodyImageSize;
    image.Fixed(mechanics + 348, s.maxRevs);
    for (size_t g = 0; g < s.gearRatios.size(); ++g)
        image.Fixed(mechanics + 464 + 4 * g, s.gearRatios[g]);
    image.Fixed(mechanics + 736, s.engineRevs);
    image.Put(mechanics + 1078, static_cast<uint32_t>(s.gear), 1);

    const size_t later = kCarBodyImageSize + kCarMechanicsImageSize;
    image.Put(later, s.revSweep ? 1 : 0, 4);
    image.Put(later + 4, static_cast<uint32_t>(s.revSweepPeriod), 2);
    return image.Take();
}

} // namespace datakit
