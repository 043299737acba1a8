// What the tests that file knocked-over objects share: the 64 x 64 grid of 16.0 blocks their
// objects lie on, and a knockable box record.
#pragma once

#include <cstdint>

#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/vehicle/knockedover.h"
#include "tests/game/ground_fixture.h"

// The track grid: 64 x 64 blocks of 16.0 from the origin.
inline void SetObjectGrid(void)
{
    gxTrackCellSize = 16 * DK_FIXED_ONE;
    gxTrackHalfCell = 8 * DK_FIXED_ONE;
    gxTrackMinX = 0;
    gxTrackMaxZ = 0;
    guTrackGridWidth = 64;
    guTrackGridRows = 64;
    guNumTrackBlocks = 4096;
}

// A knockable box at rest on its actor, 1.0 on a side, of the mass class and collision key.
inline void MakeKnockableBox(HitObject* pObject, DK_ACTOR* pActor, DK_VECTOR centre, int nClass,
                             uint16_t uKey)
{
    constexpr int32_t ONE = DK_FIXED_ONE;
    HitObject& o = *pObject;
    o = HitObject{};
    o.pActor = pActor;
    o.Position = o.Translation = centre;
    o.HalfExtents = {ONE / 2, ONE / 2, ONE / 2};
    o.aRows[0] = {ONE, 0, 0};
    o.aRows[1] = {0, ONE, 0};
    o.aRows[2] = {0, 0, ONE};
    o.auInverseInertia[0] = o.auInverseInertia[1] = o.auInverseInertia[2] = ONE;
    o.xRadius = Fixed(0.87);
    o.uKind = static_cast<uint16_t>(uKey << 5 | 3);
    o.nGroundTriangle = -1;
    o.uFlags = static_cast<uint8_t>(nClass);
    o.uRestFlags = 0x07;
}
