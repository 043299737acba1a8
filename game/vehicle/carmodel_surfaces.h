// The car model's own tables by surface id: the tyres' peak and slide grip, the drag of soft and
// wet ground, and the grip offsets each tyre type takes on each surface.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "game/effects/surfaces.h"

// 8 tyre types: the player's three choice bits.
#define NUM_TYRE_TYPES 8

// A real number as 16.16, truncated as the tables were written.
constexpr int32_t SurfaceFixed(double v)
{
    return static_cast<int32_t>(v * 65536.0);
}

// A surface's grip pair: the first value is read by the car step's load sharing, the grip by
// the tyre model.
struct SurfaceGrip
{
    int32_t xFirst;
    int32_t xGrip;
};

namespace carsurfaces
{

using GripTable = std::array<SurfaceGrip, NUM_SURFACES>;
using DragTable = std::array<int32_t, NUM_SURFACES>;

struct Group
{
    double v;
    std::initializer_list<int> ids;
};

// Peak and slide grip are equal on every surface; gravel roads, unnamed and collision ids take
// 1.6. Of the named surfaces no group names, scrub and dry beach grass count as dry grasses,
// the wet muds mixed with grass as mixed muds, the medium snows off the road as medium snow.
inline constexpr Group kGrip[] = {
    {3.0, {SURFACE_DRY_TARMAC}},
    {1.7, {SURFACE_WET_TARMAC}},
    {2.4, {SURFACE_DUSTY_TARMAC}},
    {1.4, {SURFACE_WET_GREY_GRAVEL_ROAD, SURFACE_GRAVEL_AND_SNOW_ROAD}},
    {1.8, {SURFACE_QUARRY_ROAD_MERGE, SURFACE_CATTLE_GRID}},
    {2.1,
     {SURFACE_QUARRY, SURFACE_MUD_DITCH, SURFACE_GRASS_DITCH, SURFACE_SHALLOW_WATER,
      SURFACE_DEEP_WATER, SURFACE_SEA, SURFACE_STREAM, SURFACE_COBBLE_STONES, SURFACE_DRY_ROCK,
      SURFACE_ROCK_BANK, SURFACE_STONE_BRIDGE, SURFACE_ARMCO, SURFACE_ROCK_FACE,
      SURFACE_POWDER_TERRAIN_SNOW_DEEP}},
    {1.9, {SURFACE_QUARRY_AND_GRASS}},
    {1.2,
     {SURFACE_DRY_GRASS1, SURFACE_DRY_GRASS2, SURFACE_DRY_YELLOW_GRASS, SURFACE_THICK_DRY_GRASS,
      SURFACE_DRY_YELLOW_GRASS_AND_DRY_GRASS_1, SURFACE_SCRUB, SURFACE_DRY_BEACH_GRASS,
      SURFACE_MULCH, SURFACE_BRACKEN, SURFACE_DRY_LEAVES_ON_DRY_GRASS_1, SURFACE_MEDIUM_SNOW_ON_ICE,
      SURFACE_MEDIUM_SNOW_ON_GRASS, SURFACE_MEDIUM_SNOW_ON_WET_MUD1}},
    {1.0,
     {SURFACE_WET_GRASS1, SURFACE_WET_GRASS2, SURFACE_WET_YELLOW_GRASS, SURFACE_THICK_WET_GRASS}},
    {1.5,
     {SURFACE_DRY_MUD1, SURFACE_DRY_MUD2, SURFACE_DRY_MUD1_THEN_YELLOW_GRASS,
      SURFACE_DRY_MUD1_THEN_DRY_GRASS1, SURFACE_DRY_DUSTY_MUD, SURFACE_DRY_MUDBANK,
      SURFACE_WET_MUDBANK, SURFACE_TRACK_SAND, SURFACE_BEACH_SAND}},
    {1.3,
     {SURFACE_WET_MUD1, SURFACE_WET_MUD2, SURFACE_INDONESIA_WET_MUD, SURFACE_MUD_PATCHES_ON_SNOW}},
    {1.35, {SURFACE_WET_MUD1_AND_WET_GRAVEL}},
    {1.55, {SURFACE_DRY_MUD1_AND_LOOSE_GRAVEL}},
    {1.4,
     {SURFACE_DAMP_MUD, SURFACE_WET_MUD1_AND_WET_GRASS1, SURFACE_WET_MUD1_AND_WET_YELLOW_GRASS,
      SURFACE_MEDIUM_SNOW_ON_ROAD}},
    {1.27, {SURFACE_WET_MUD1_WITH_SNOW_PATCHES, SURFACE_WET_MUD2_WITH_SNOW_PATCHES}},
    {1.7, {SURFACE_PLOUGHED_MUD, SURFACE_LIGHT_SNOW_ON_ROAD}},
    {1.22, {SURFACE_LIGHT_SNOW_ON_ICE}},
    {1.28, {SURFACE_LIGHT_SNOW_ON_GRASS, SURFACE_LIGHT_SNOW_ON_WET_MUD1}},
    {1.25, {SURFACE_PACKED_DEEP_SNOW}},
    {1.1, {SURFACE_ICE}},
    {1.15, {SURFACE_SLUSH}},
    {2.7, {SURFACE_SNOW_BANK_FRONT, SURFACE_SNOW_BANK_REAR}},
    {2.0, {SURFACE_WOODEN_BRIDGE}},
    {1.6, {SURFACE_WET_ROCK}},
};

inline constexpr Group kDrag[] = {
    {0.4,
     {SURFACE_QUARRY_ROAD_MERGE, SURFACE_QUARRY_AND_GRASS, SURFACE_THICK_DRY_GRASS,
      SURFACE_THICK_WET_GRASS, SURFACE_PLOUGHED_MUD, SURFACE_ROCK_FACE, SURFACE_MULCH,
      SURFACE_BRACKEN}},
    {0.8,
     {SURFACE_QUARRY, SURFACE_DRY_MUDBANK, SURFACE_WET_MUDBANK, SURFACE_SHALLOW_WATER,
      SURFACE_DEEP_WATER, SURFACE_ROCK_BANK}},
    {1.0,
     {SURFACE_MUD_DITCH, SURFACE_GRASS_DITCH, SURFACE_SNOW_BANK_FRONT, SURFACE_BEACH_SAND,
      SURFACE_DRY_BEACH_GRASS}},
    {0.5, {SURFACE_POWDER_TERRAIN_SNOW_DEEP}},
    {2.0, {SURFACE_SNOW_BANK_REAR}},
    {5.0, {SURFACE_SEA}},
    {0.1, {SURFACE_STREAM}},
};

constexpr bool IsGrassOrLitter(int nId)
{
    return (nId >= SURFACE_DRY_GRASS1 && nId <= SURFACE_SCRUB) || nId == SURFACE_TRACK_SAND ||
           nId == SURFACE_MULCH || nId == SURFACE_BRACKEN ||
           nId == SURFACE_DRY_LEAVES_ON_DRY_GRASS_1;
}

constexpr bool IsSnowOrIce(int nId)
{
    return nId >= SURFACE_LIGHT_SNOW_ON_ROAD && nId <= SURFACE_SNOW_BANK_REAR;
}

// The first column: xMost for most surfaces, xGrass on grasses, track sand and litter, xSnow on
// the snow and ice.
constexpr GripTable MakeGripTable(double xMost, double xGrass, double xSnow)
{
    GripTable table{};
    for (int id = 0; id < NUM_SURFACES; ++id)
    {
        const double first = IsGrassOrLitter(id) ? xGrass : IsSnowOrIce(id) ? xSnow : xMost;
        table[id] = {SurfaceFixed(first), SurfaceFixed(1.6)};
    }
    for (const Group& group : kGrip)
        for (int id : group.ids)
            table[id].xGrip = SurfaceFixed(group.v);
    return table;
}

constexpr DragTable MakeDragTable(void)
{
    DragTable table{};
    for (const Group& group : kDrag)
        for (int id : group.ids)
            table[id] = SurfaceFixed(group.v);
    return table;
}

// The sideways tip of a sliding car: per surface the slide that starts it and the slide that
// tips it fully.
struct TipLimits
{
    uint8_t nThreshold;
    uint8_t nFullRoll;
};
using TipTable = std::array<TipLimits, NUM_SURFACES>;

constexpr TipTable MakeTipTable(void)
{
    TipTable table{};
    for (TipLimits& limits : table)
        limits = {75, 100};
    table[SURFACE_QUARRY_ROAD_MERGE] = {75, 90};
    for (int id : {SURFACE_QUARRY, SURFACE_PLOUGHED_MUD, SURFACE_ROCK_FACE})
        table[id] = {50, 80};
    for (int id = SURFACE_DRY_GRASS1; id <= SURFACE_DRY_YELLOW_GRASS_AND_DRY_GRASS_1; ++id)
        table[id] = {75, 120};
    for (int id : {SURFACE_DRY_MUDBANK, SURFACE_WET_MUDBANK, SURFACE_MUD_DITCH, SURFACE_GRASS_DITCH,
                   SURFACE_ROCK_BANK})
        table[id] = {30, 60};
    for (int id = SURFACE_LIGHT_SNOW_ON_ROAD; id <= SURFACE_SNOW_BANK_REAR; ++id)
        table[id] = {80, 140};
    table[SURFACE_DRY_ROCK] = {20, 50};
    return table;
}

} // namespace carsurfaces

inline constexpr carsurfaces::TipTable gaSurfaceTipLimits = carsurfaces::MakeTipTable();

inline constexpr carsurfaces::GripTable SurfacePeakGrip =
    carsurfaces::MakeGripTable(0.24, 0.15, 0.20);
inline constexpr carsurfaces::GripTable SurfaceSlideGrip =
    carsurfaces::MakeGripTable(0.20, 0.11, 0.16);
inline constexpr carsurfaces::DragTable SurfaceDrag = carsurfaces::MakeDragTable();

// Per tyre type and surface three unsigned 16-bit values: the grip offset and the second tyre
// value taken negated, and the grip scale less 1.0. No values are known for any tyre on any
// surface, so every entry is neutral: no offset, grip scale 1.0.
inline constexpr uint16_t TyreSurfaceTable[NUM_TYRE_TYPES][NUM_SURFACES][3] = {};

// A row of each table for any 16-bit id: ids outside the table read the row of an unnamed id
// (NON_EXISTENT), whose values the unnamed ids share.
constexpr int SurfaceRow(int nId)
{
    return nId >= 0 && nId < NUM_SURFACES ? nId : SURFACE_NON_EXISTENT;
}
