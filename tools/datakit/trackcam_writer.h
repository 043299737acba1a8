// A stage's track-side cameras and its start positions.
//
// NAME.tsc   the cameras the replay director films the car from: 16-byte little-endian
//            records, no header: x, y, z (16.16), the camera kind (a byte, 0 to 6), a padding
//            byte and a signed 16-bit cat's-eye index (kind 2: the checkpoint whose direction
//            the camera looks along; the game fills it again at load when one lies near)
// NAME.csp   where the cars stand at the start: one set of 40 bytes, or two (the second for
//            the stage run in reverse). A set holds car 1's and car 2's positions (x, y, z,
//            16.16), then their rotations (three signed 16-bit angles, 4,096 a turn, and two
//            bytes of padding each)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace datakit
{

inline constexpr size_t kTrackCameraRecordSize = 16;
inline constexpr size_t kStartSetSize = 40;
inline constexpr int kTrackCameraKinds = 7;

struct TrackCamera
{
    double x = 0, y = 0, z = 0;
    int kind = 0;
    int link = 0;
};

// The records' bytes; throws Error for a kind outside 0 to 6, a link outside 16 bits or a
// coordinate that 16.16 cannot hold.
std::vector<uint8_t> FormatTrackCameras(const std::vector<TrackCamera>& cameras);

struct StartPosition
{
    double x = 0, y = 0, z = 0;
    std::array<int, 3> angles = {0, 0, 0}; // 4,096 a turn
};
// Car 1's and car 2's places.
using StartSet = std::array<StartPosition, 2>;

// One or two sets' bytes; throws Error for another number of sets, an angle outside 16 bits
// or a coordinate that 16.16 cannot hold.
std::vector<uint8_t> FormatStartPositions(const std::vector<StartSet>& sets);

// The heading angle (4,096 a turn) that turns a car's forward axis (its x axis at angle 0) to
// face along the ground direction (dx, dz).
int HeadingAngle(double dx, double dz);

// The demo stage's cameras: one every 80.0 along the road from z = 50 to z = 1,170, each beside
// a cat's eye, 8.0 from the centre line on alternate sides and 2.5 above the ground, their kinds
// 0 to 6 in turn; a kind-2 camera links the cat's eye two ahead of the one beside it.
std::vector<TrackCamera> DemoTrackCameras();
// Its start: two cars side by side, 1.5 either side of the centre line at z = 22 facing up the
// road; for the reverse run, the same at z = 1,256 facing back down it.
inline constexpr double kDemoStartZ = 22.0;
inline constexpr double kDemoReverseStartZ = 1256.0;
inline constexpr double kDemoStartAcross = 1.5;
std::vector<StartSet> DemoStartPositions();

} // namespace datakit
