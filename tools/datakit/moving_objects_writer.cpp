#include "tools/datakit/moving_objects_writer.h"

#include <cmath>

namespace datakit
{
namespace
{

class Writer
{
public:
    explicit Writer(std::vector<uint8_t>& out, size_t at) : out_(out), at_(at) {}
    void U32(size_t offset, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out_[at_ + offset + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void U16(size_t offset, uint32_t v)
    {
        out_[at_ + offset] = static_cast<uint8_t>(v);
        out_[at_ + offset + 1] = static_cast<uint8_t>(v >> 8);
    }
    void Fixed(size_t offset, double v) { U32(offset, static_cast<uint32_t>(ToFixed(v))); }
    void Vector(size_t offset, const Vec3& v)
    {
        for (int i = 0; i < 3; ++i)
            Fixed(offset + 4 * i, v[i]);
    }
    static int32_t ToFixed(double v) { return static_cast<int32_t>(std::lround(v * 65536.0)); }

private:
    std::vector<uint8_t>& out_;
    size_t at_;
};

} // namespace

std::vector<uint8_t> FormatMovingObjects(const std::vector<MovingObject>& objects)
{
    std::vector<uint8_t> out(objects.size() * kMovingObjectRecordSize, 0);
    for (size_t i = 0; i < objects.size(); ++i)
    {
        const MovingObject& o = objects[i];
        Writer w(out, i * kMovingObjectRecordSize);
        w.U32(0, o.followGround ? 1 : 0);
        w.U16(4, static_cast<uint32_t>(o.angle));
        w.Fixed(8, o.distance);
        w.Vector(16, o.start);
        w.U32(28, static_cast<uint32_t>(o.motionSeconds));
        w.U32(32, static_cast<uint32_t>(o.spinXSeconds));
        w.U32(36, static_cast<uint32_t>(o.spinYSeconds));
        w.U32(40, static_cast<uint32_t>(o.spinX2Seconds));
        w.U32(44, o.type);
    }
    return out;
}

std::vector<uint8_t> FormatHitObject(const HitObjectState& s)
{
    std::vector<uint8_t> out(kHitObjectImageSize, 0);
    Writer w(out, 0);
    w.Vector(4, s.position);
    w.Vector(16, s.halfExtents);
    w.Vector(28, s.velocity);
    w.Vector(40, s.spin);
    w.Vector(52, s.spinImpulse);
    w.Vector(64, s.impulse);
    w.Vector(76, s.inverseInertia);
    for (int r = 0; r < 3; ++r)
        w.Vector(88 + 12 * r, s.rows[r]);
    w.Vector(124, s.translation);
    w.Fixed(136, s.radius);
    w.Fixed(140, s.groundHeight);
    w.U16(144, static_cast<uint32_t>(s.kind));
    w.U16(146, static_cast<uint32_t>(s.groundTriangle));
    w.U16(148, static_cast<uint32_t>(s.block));
    out[150] = static_cast<uint8_t>(s.flags);
    out[151] = static_cast<uint8_t>(s.restFlags);
    return out;
}

} // namespace datakit
