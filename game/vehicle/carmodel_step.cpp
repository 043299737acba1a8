// The car step's pieces that place the car's box: its corners in the world and the ground's
// normal under it.
#include "game/vehicle/carmodel_internal.h"

void CarModel_UpdateCorners(CarBody* pBody)
{
    DK_VECTOR row;
    FfMatGetRow0(&row, &pBody->Matrix);
    const DK_VECTOR a = VecScaled(row, pBody->HalfSize.x);
    FfMatGetRow1(&row, &pBody->Matrix);
    const DK_VECTOR b = VecScaled(row, pBody->HalfSize.y);
    FfMatGetRow2(&row, &pBody->Matrix);
    const DK_VECTOR c = VecScaled(row, pBody->HalfSize.z);
    const DK_VECTOR front = VecAdd(pBody->Position, a);
    const DK_VECTOR rear = VecSub(pBody->Position, a);
    DK_VECTOR* p = pBody->ContactPoint;
    p[0] = VecAdd(VecSub(front, b), c);
    p[1] = VecSub(VecSub(front, b), c);
    p[2] = VecAdd(VecSub(rear, b), c);
    p[3] = VecSub(VecSub(rear, b), c);
    p[4] = VecAdd(VecAdd(front, b), c);
    p[5] = VecSub(VecAdd(front, b), c);
    p[6] = VecAdd(VecAdd(rear, b), c);
    p[7] = VecSub(VecAdd(rear, b), c);
    CarModel_UnoffsetCorners(pBody);
}

void CarModel_GroundNormal(void)
{
    CarBody* pBody = gpCurrentCarBody;
    // The face whose axis stands nearest the vertical: the bottom, the front or a side.
    static constexpr int kBottom[4] = {0, 1, 2, 3};
    static constexpr int kFront[4] = {0, 1, 4, 5};
    static constexpr int kSide[4] = {0, 2, 4, 6};
    auto height = [](int32_t y) { return y < 0 ? FfNeg(y) : y; };
    const int32_t xUp = height(pBody->UpAxis.y);
    const int32_t xForward = height(pBody->OrientRow0.y);
    const int32_t xSide = height(pBody->OrientRow2.y);
    const int* pPoints = xUp >= xForward && xUp >= xSide ? kBottom
                         : xForward >= xSide             ? kFront
                                                         : kSide;
    DK_VECTOR q[4];
    for (int k = 0; k < 4; ++k)
    {
        const int i = pPoints[k];
        q[k] = {pBody->ContactPoint[i].x, pBody->PointGroundHeight[i], pBody->ContactPoint[i].z};
    }
    auto upward = [](DK_VECTOR n) { return n.y < 0 ? VecScaled(n, -DK_FIXED_ONE) : n; };
    const DK_VECTOR n1 = upward(VecCross(VecSub(q[2], q[0]), VecSub(q[1], q[0])));
    const DK_VECTOR n2 = upward(VecCross(VecSub(q[2], q[3]), VecSub(q[1], q[3])));
    pBody->GroundNormal = VecNormalised(VecAdd(VecNormalised(n1), VecNormalised(n2)));
}
