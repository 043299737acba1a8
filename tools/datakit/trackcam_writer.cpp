#include "tools/datakit/trackcam_writer.h"

#include <cmath>
#include <numbers>
#include <string>

#include "tools/datakit/file_io.h"
#include "tools/datakit/hud_writer.h"
#include "tools/datakit/stage_writer.h"

namespace datakit
{

namespace
{

constexpr double kCameraStep = 80.0;
constexpr double kCameraAcross = 8.0;
constexpr double kCameraHeight = 2.5;
constexpr int kLinkAhead = 2;

uint32_t Fixed(double v, const std::string& what)
{
    const double scaled = std::round(v * 65536.0);
    if (!(scaled >= -2147483648.0 && scaled <= 2147483647.0))
        throw Error(what + " does not fit 16.16");
    return static_cast<uint32_t>(static_cast<int32_t>(scaled));
}

uint32_t Int16(int v, const std::string& what)
{
    if (v < -32768 || v > 32767)
        throw Error(what + " does not fit 16 bits");
    return static_cast<uint32_t>(v);
}

void AppendPoint(std::vector<uint8_t>& out, double x, double y, double z, const std::string& what)
{
    AppendLittleEndian(out, Fixed(x, what + ": x"), 4);
    AppendLittleEndian(out, Fixed(y, what + ": y"), 4);
    AppendLittleEndian(out, Fixed(z, what + ": z"), 4);
}

// A point on the demo road's cross-section at z, `across` from its centre line to one side
// (negative: the other), on the ground.
StartPosition Beside(double z, double across)
{
    const StagePoint c = DemoCentreLine(z);
    StartPosition p;
    p.x = c.x + c.dz * across;
    p.z = c.z - c.dx * across;
    p.y = DemoGroundHeight(p.x, p.z);
    return p;
}

} // namespace

std::vector<uint8_t> FormatTrackCameras(const std::vector<TrackCamera>& cameras)
{
    std::vector<uint8_t> out;
    out.reserve(cameras.size() * kTrackCameraRecordSize);
    for (size_t i = 0; i < cameras.size(); ++i)
    {
        const TrackCamera& c = cameras[i];
        const std::string what = "track camera " + std::to_string(i);
        if (c.kind < 0 || c.kind >= kTrackCameraKinds)
            throw Error(what + ": the kind is not 0 to 6");
        AppendPoint(out, c.x, c.y, c.z, what);
        out.push_back(static_cast<uint8_t>(c.kind));
        out.push_back(0);
        AppendLittleEndian(out, Int16(c.link, what + ": the link"), 2);
    }
    return out;
}

std::vector<uint8_t> FormatStartPositions(const std::vector<StartSet>& sets)
{
    if (sets.size() != 1 && sets.size() != 2)
        throw Error("start positions: one or two sets, not " + std::to_string(sets.size()));
    std::vector<uint8_t> out;
    out.reserve(sets.size() * kStartSetSize);
    for (size_t s = 0; s < sets.size(); ++s)
    {
        const std::string what = "start set " + std::to_string(s + 1) + ", car ";
        for (size_t car = 0; car < 2; ++car)
        {
            const StartPosition& p = sets[s][car];
            AppendPoint(out, p.x, p.y, p.z, what + std::to_string(car + 1));
        }
        for (size_t car = 0; car < 2; ++car)
        {
            for (int angle : sets[s][car].angles)
                AppendLittleEndian(out, Int16(angle, what + std::to_string(car + 1) + ": an angle"),
                                   2);
            AppendLittleEndian(out, 0, 2);
        }
    }
    return out;
}

int HeadingAngle(double dx, double dz)
{
    // At angle a the car's forward axis is (cos a, 0, -sin a).
    const double turns = std::atan2(-dz, dx) / (2 * std::numbers::pi);
    const int angle = static_cast<int>(std::lround(turns * 4096.0));
    return (angle + 4096) % 4096;
}

std::vector<TrackCamera> DemoTrackCameras()
{
    std::vector<TrackCamera> cameras;
    const double first = kDemoCatsEyeFirstZ + kDemoCatsEyeStep;
    for (double z = first; z <= kDemoFinishZ - 50.0; z += kCameraStep)
    {
        const int n = static_cast<int>(cameras.size());
        const StartPosition p = Beside(z, n % 2 == 0 ? kCameraAcross : -kCameraAcross);
        TrackCamera c;
        c.x = p.x;
        c.y = p.y + kCameraHeight;
        c.z = p.z;
        c.kind = n % kTrackCameraKinds;
        if (c.kind == 2)
            c.link = static_cast<int>(std::lround((z - kDemoCatsEyeFirstZ) / kDemoCatsEyeStep)) +
                     kLinkAhead;
        cameras.push_back(c);
    }
    return cameras;
}

std::vector<StartSet> DemoStartPositions()
{
    const StagePoint start = DemoCentreLine(kDemoStartZ);
    const StagePoint end = DemoCentreLine(kDemoReverseStartZ);
    const std::array<int, 3> up = {0, HeadingAngle(start.dx, start.dz), 0};
    const std::array<int, 3> down = {0, HeadingAngle(-end.dx, -end.dz), 0};
    StartSet forward = {Beside(kDemoStartZ, -kDemoStartAcross),
                        Beside(kDemoStartZ, kDemoStartAcross)};
    StartSet reverse = {Beside(kDemoReverseStartZ, -kDemoStartAcross),
                        Beside(kDemoReverseStartZ, kDemoStartAcross)};
    for (StartPosition& p : forward)
        p.angles = up;
    for (StartPosition& p : reverse)
        p.angles = down;
    return {forward, reverse};
}

} // namespace datakit
