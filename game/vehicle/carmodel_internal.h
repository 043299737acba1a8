// What the car model's source files share beyond the module's header: small vector sums and
// the steps several of them take on a car's frame.
#pragma once

#include "engine/include/dk_ff.h"
#include "game/vehicle/carmodel.h"

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

// Every triangle cache back to "none", for a car put somewhere new.
inline void CarModel_ForgetTriangles(CarMechanics* pMechanics)
{
    for (int16_t& nCache : pMechanics->PointTriangleCache)
        nCache = -1;
}
