// What the car model's source files share beyond the module's header: small vector sums and
// the steps several of them take on a car's frame.
#pragma once

#include "engine/common/dk_actor.h"
#include "engine/include/dk_ff.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"

// The gaCarAcceleration entry the body forces write: the car step points it at the entry of the
// list position it works on.
extern DK_VECTOR* gpCarAcceleration;

inline int32_t FfAbs(int32_t v)
{
    return v < 0 ? FfNeg(v) : v;
}

inline int32_t FfClamp(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

// One positive and the other negative.
inline bool OppositeSigns(int32_t a, int32_t b)
{
    return (a > 0 && b < 0) || (a < 0 && b > 0);
}

// 25 or 50, as the step rate was set.
inline int CarModel_TicksPerSecond(void)
{
    return gRateScale > 0x18000 ? 50 : 25;
}

// The car's damage record; a car number outside the records reads an undamaged one.
inline const DamageRecord& CarModel_Damage(const CarBody* pBody)
{
    static const DamageRecord kUndamaged{};
    const int n = pBody->nCarNumber;
    return n >= 0 && n < MAX_DAMAGE_RECORDS ? gaDamage[n] : kUndamaged;
}

// The gear as an index into the gear tables; a gear outside them reads neutral.
inline int CarModel_GearIndex(const CarMechanics* pMechanics)
{
    const int g = pMechanics->Gear;
    return g >= 0 && g < CAR_GEARS ? g : 0;
}

// Whether the drive reaches the axle of wheel w: the front wheels unless all drive goes to the
// rear, the rear wheels unless all goes to the front.
inline bool CarModel_AxleDriven(const CarMechanics* pMechanics, int w)
{
    return w < 2 ? pMechanics->DriveShareFront != 0 : pMechanics->DriveShareFront != DK_FIXED_ONE;
}

inline DK_VECTOR VecAdd(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return {FfAdd(a.x, b.x), FfAdd(a.y, b.y), FfAdd(a.z, b.z)};
}

inline DK_VECTOR VecSub(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return {FfSub(a.x, b.x), FfSub(a.y, b.y), FfSub(a.z, b.z)};
}

inline DK_VECTOR VecScaled(const DK_VECTOR& v, int32_t s)
{
    DK_VECTOR out;
    FfVecScale(&out, &v, s);
    return out;
}

inline DK_VECTOR VecNormalised(const DK_VECTOR& v)
{
    DK_VECTOR out;
    FfVecNormalise(&out, &v);
    return out;
}

inline DK_VECTOR VecCross(const DK_VECTOR& a, const DK_VECTOR& b)
{
    DK_VECTOR out;
    FfVecCross(&out, &a, &b);
    return out;
}

// A world vector in the car's frame, and back.
inline DK_VECTOR CarModel_ToCar(const CarBody* pBody, const DK_VECTOR& v)
{
    DK_VECTOR out;
    DkTransformPoint(&out, &v, &pBody->Matrix);
    return out;
}

inline DK_VECTOR CarModel_ToWorld(const CarBody* pBody, const DK_VECTOR& v)
{
    DK_VECTOR out;
    DkTransformPointTransposed(&out, &v, &pBody->Matrix);
    return out;
}

// The three rows and the position into the car matrix.
inline void CarModel_WriteMatrix(CarBody* pBody)
{
    FfMatSetRow0(&pBody->OrientRow0, &pBody->Matrix);
    FfMatSetRow1(&pBody->UpAxis, &pBody->Matrix);
    FfMatSetRow2(&pBody->OrientRow2, &pBody->Matrix);
    FfMatSetPosition(&pBody->Position, &pBody->Matrix);
}

// Stands the rows on GroundNormal: the up axis takes the normal, the forward row loses its part
// along it, and the side row is their cross product.
inline void CarModel_AlignToGround(CarBody* pBody)
{
    pBody->UpAxis = pBody->GroundNormal;
    const int32_t xAlong = FfVecDot(&pBody->UpAxis, &pBody->OrientRow0);
    pBody->OrientRow0 = VecNormalised(VecSub(pBody->OrientRow0, VecScaled(pBody->UpAxis, xAlong)));
    pBody->OrientRow2 = VecNormalised(VecCross(pBody->OrientRow0, pBody->UpAxis));
}

// Two rows turned by nAngle (4096 a turn) about the unit axis, each normalised; nothing for 0.
inline void CarModel_TurnRows(const DK_VECTOR& axis, int32_t nAngle, DK_VECTOR* pA, DK_VECTOR* pB)
{
    if (nAngle == 0)
        return;
    DK_MATRIX turn;
    DkAxisAngleToMatrix(&turn, &axis, nAngle);
    DK_VECTOR turned;
    DkTransformPointTransposed(&turned, pA, &turn);
    *pA = VecNormalised(turned);
    DkTransformPointTransposed(&turned, pB, &turn);
    *pB = VecNormalised(turned);
}

// Each orientation row dotted with the ground's normal.
inline void CarModel_TakeAxisDots(CarBody* pBody)
{
    pBody->AxisDotGround[0] = FfVecDot(&pBody->OrientRow0, &pBody->GroundNormal);
    pBody->AxisDotGround[1] = FfVecDot(&pBody->UpAxis, &pBody->GroundNormal);
    pBody->AxisDotGround[2] = FfVecDot(&pBody->OrientRow2, &pBody->GroundNormal);
}

// v moved towards the target by at most xStep (reaching it once nearer).
inline int32_t FfApproach(int32_t v, int32_t xTarget, int32_t xStep)
{
    const int64_t nGap = static_cast<int64_t>(xTarget) - v;
    if (nGap > xStep)
        return FfAdd(v, xStep);
    if (nGap < -static_cast<int64_t>(xStep))
        return FfSub(v, xStep);
    return xTarget;
}

// Every triangle cache back to "none", for a car put somewhere new.
inline void CarModel_ForgetTriangles(CarMechanics* pMechanics)
{
    for (int16_t& nCache : pMechanics->PointTriangleCache)
        nCache = -1;
}
