// The stage's scripted moving objects (".moj") and the knocked-over object record's image.
//
// ".moj": a bare array of 48-byte records, little-endian, no header:
//   0   signed 32-bit  ground: non-zero, the object's height follows the ground every frame
//   4   signed 16-bit  start angle, 4096 a turn (the direction is (sin, 0, cos))
//   6   2 bytes of 0
//   8   16.16          distance: the circle's diameter (types 1, 2) or to the target (3, 4)
//   12  4 bytes of 0
//   16  16.16 x 3      start position x, y, z (x and z equal the track actor's exactly)
//   28  signed 32-bit  motion period in whole seconds
//   32  signed 32-bit  spin period about x, 36 about y, 40 a second one about x; seconds,
//                      0 none, negative the other way
//   44  unsigned 32-bit type: 0 ignored, 1 circle clockwise, 2 anticlockwise, 3 to a target,
//                      4 out and back, others spin only
//
// The knocked-over object's image (160 bytes, little-endian, 16.16 unless said otherwise):
//   0 actor slot (0); 4 position; 16 half-extents; 28 velocity; 40 spin; 52 spin impulse;
//   64 impulse (three words each); 76 inverse inertia (three unsigned words); 88 the x, y and
//   z rows (nine words); 124 translation; 136 radius; 140 ground height; 144 kind (unsigned
//   16-bit: bits 0-4 material, 5-15 key); 146 cached ground triangle (signed 16-bit); 148
//   track block (unsigned 16-bit); 150 flags (bits 0-1 mass class, 2 airborne, 3-5 state, 6
//   spinning, 7 moving); 151 rest flags; 152 and 156 link slots (0).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace datakit
{

inline constexpr size_t kMovingObjectRecordSize = 48;
inline constexpr size_t kHitObjectImageSize = 160;

using Vec3 = std::array<double, 3>;

struct MovingObject
{
    bool followGround = false;
    int angle = 0; // 4096 a turn
    double distance = 0;
    Vec3 start{};
    int motionSeconds = 0;
    int spinXSeconds = 0;
    int spinYSeconds = 0;
    int spinX2Seconds = 0;
    uint32_t type = 0;
};

std::vector<uint8_t> FormatMovingObjects(const std::vector<MovingObject>& objects);

struct HitObjectState
{
    Vec3 position{};
    Vec3 halfExtents{0.5, 0.5, 0.5};
    Vec3 velocity{};
    Vec3 spin{};
    Vec3 spinImpulse{};
    Vec3 impulse{};
    Vec3 inverseInertia{1, 1, 1};
    std::array<Vec3, 3> rows{Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}};
    Vec3 translation{};
    double radius = 0.9;
    double groundHeight = 0;
    int kind = 0;
    int groundTriangle = -1;
    int block = 0;
    int flags = 0;
    int restFlags = 0x02;
};

std::vector<uint8_t> FormatHitObject(const HitObjectState& state);

} // namespace datakit
