// The line trigger of a stage: a short segment on the ground that a car crosses or hits (pace
// note, split marker, wall, school line, finish, track-camera set, timed event). The stage's
// trigger file is a headerless array of these 48-byte little-endian records, used in place in
// memory; the track blocks link each one into the list of the block that holds it.
#pragma once

#include <cstddef>
#include <cstdint>

struct TrackTrigger
{
    int32_t ax; // end point A, 16.16
    int32_t ay;
    int32_t az;
    int32_t bx; // end point B, 16.16
    int32_t by;
    int32_t bz;
    int32_t nx; // unit normal of the line, 16.16
    int32_t ny;
    int32_t nz;
    // Pace-note call word, cat's-eye index or school line index, by type.
    int32_t nParam;
    // On loading: the index of the track block that holds the line. Once the blocks are built:
    // the index of the next line on the same block plus one, 0 ending the list (a pointer
    // would not fit a 64-bit build, and the record keeps its 48 bytes).
    uint32_t uNext;
    uint8_t uType;
    uint8_t uTwoSided;
    // Bit p set: already fired for player p.
    uint8_t uPlayerBits;
    uint8_t uUnused;
};
static_assert(sizeof(TrackTrigger) == 48, "a trigger record is 48 bytes");
static_assert(offsetof(TrackTrigger, ax) == 0 && offsetof(TrackTrigger, ay) == 4 &&
                  offsetof(TrackTrigger, az) == 8,
              "end point A at 0");
static_assert(offsetof(TrackTrigger, bx) == 12 && offsetof(TrackTrigger, by) == 16 &&
                  offsetof(TrackTrigger, bz) == 20,
              "end point B at 12");
static_assert(offsetof(TrackTrigger, nx) == 24 && offsetof(TrackTrigger, ny) == 28 &&
                  offsetof(TrackTrigger, nz) == 32,
              "normal at 24");
static_assert(offsetof(TrackTrigger, nParam) == 36, "parameter at 36");
static_assert(offsetof(TrackTrigger, uNext) == 40, "list link at 40");
static_assert(offsetof(TrackTrigger, uType) == 44 && offsetof(TrackTrigger, uTwoSided) == 45 &&
                  offsetof(TrackTrigger, uPlayerBits) == 46 &&
                  offsetof(TrackTrigger, uUnused) == 47,
              "type, sides and player bits at 44");
