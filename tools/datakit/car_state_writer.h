// Car state images: a car's two simulation records as the state hash and the replay snapshots
// keep them, little-endian with 32-bit slots for pointers (written as 0):
//
//   bytes 0-1895       the body record; among its fields, at these offsets: position (200),
//                      velocity (212), the eight contact points (252), the forward, up and side
//                      rows (600, 612, 624), the car matrix (676: rows 0-2 and the position row,
//                      four 16.16 words each), the velocity impulse (972), the rescue flag
//                      (1,660, 32-bit), car number (1,848) and car type (1,849) as signed
//                      bytes, the event timer (1,884, signed 16-bit)
//   bytes 1896-3019    the mechanics record (its last 8 bytes reserved, 0); among its fields,
//                      offsets from the record's start: maximum revs (348), the eight gear
//                      ratios (464), engine revs (736), the gear (1,078, signed byte)
//   bytes 3020-3211    fields added later: the rev-sweep flag (32-bit), its period (16-bit),
//                      the controls' and gearbox's state of the mechanics (to byte 3107),
//                      then the body's lamp, reversing, finish and parking words, and from
//                      byte 3128 its object contacts: last tick's eight soft-contact values,
//                      the collided word, and the static and knockable objects' keys of this
//                      tick and the last (five 16-bit keys each) with their 16-bit counts
//
// Vectors are three 16.16 words x, y, z. Every byte not named here is written as 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace datakit
{

inline constexpr size_t kCarBodyImageSize = 1896;
inline constexpr size_t kCarMechanicsImageSize = 1124;
inline constexpr size_t kCarStateImageSize = kCarBodyImageSize + kCarMechanicsImageSize + 192;

using CarVector = std::array<double, 3>;

struct CarState
{
    CarVector position{};
    CarVector velocity{};
    std::array<CarVector, 8> contactPoints{};
    CarVector forward{1, 0, 0};
    CarVector up{0, 1, 0};
    CarVector side{0, 0, 1};
    CarVector extForce{};
    bool needsRescue = false;
    int carNumber = 0;
    int carType = 0;
    int eventTimer = 0;
    double maxRevs = 0;
    std::array<double, 8> gearRatios{};
    double engineRevs = 0;
    int gear = 0;
    bool revSweep = false;
    int revSweepPeriod = 0;
};

// The image's bytes; the car matrix is built from the rows and the position.
std::vector<uint8_t> FormatCarState(const CarState& state);

} // namespace datakit
