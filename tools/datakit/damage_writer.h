// Damage record images: a car's damage record as the replay snapshots keep it, 3,280 bytes,
// little-endian, every value a 32-bit word unless said otherwise:
//
//   bytes 0-719        six tables of 30 pointer slots, written as 0
//   720                the main body's part number (-1: none)
//   724                its 100 positions, three 16.16 words each
//   1,924              1 / the part count (16.16)
//   1,928              30 deformations, then the 13 damage values (2,048), all 16.16
//   2,100              the water, steering, four corner, two grip, two wet-grip, engine and
//                      gearbox factors (16.16)
//   2,148              30 impact weights, 30 part centres (2,268), 30 half sizes (2,628)
//   2,988              the steering pull (angle units), the part count (2,992), the drying
//                      flag (2,996)
//   3,000              30 smashed flags, 30 smash thresholds (3,120, 16.16), six broken-light
//                      flags (3,240)
//   3,264              the broken-light count (byte), the 13 roles (bytes, 3,265), 2 bytes of 0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace datakit
{

inline constexpr size_t kDamageRecordImageSize = 3280;

struct DamageState
{
    int mainBody = -1;
    int parts = 0;
    std::array<double, 30> deformation{};
    std::array<double, 13> values{};
    double water = 1.0;
    double steering = 1.0;
    double gripA = 1.0;
    double gripB = 1.0;
    double engine = 1.0;
    double gearbox = 1.0;
    int pull = 0;
    bool drying = false;
    std::array<bool, 30> smashed{};
    std::array<double, 30> thresholds{};
    int brokenLights = 0;
    std::array<int, 13> roles{};
};

// The image's bytes; the reciprocal, the corners (values 0-3 x 0.05) and the wet grips (grip x
// water) follow from the state.
std::vector<uint8_t> FormatDamageRecord(const DamageState& state);

} // namespace datakit
