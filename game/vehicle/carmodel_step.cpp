// The car step: the nine passes that take every listed car through a tick, and the pieces they
// run directly: the event timer, the landing jolt, the tyre values of the surfaces under the
// wheels, the upright test, the steered heading, the load and grip shared over the points, and
// the corners' places and velocities with the ground's normal under them.
#include <climits>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/effects/crowdsnd.h"
#include "game/effects/forcefeedback.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carcontrol.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/carmodel_surfaces.h"

DK_VECTOR TickGravity = {0, 0, 0};
int32_t gxSlopeGrip = 0;
DK_VECTOR gaCarAcceleration[MAX_CARS];
int32_t gaCarCamBData[MAX_CARS];
DK_VECTOR* gpCarAcceleration = &gaCarAcceleration[0];

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t HALF = 0x8000;
constexpr int kRacing = 5;                   // the game state of a running race
constexpr int32_t kLandingGain = 109226;     // 1.6667
constexpr int32_t kJoltScale = 0x18000;      // 1.5
constexpr int32_t kLaunchSlack = -0x1999;    // -0.1
constexpr int32_t kStillSpeed = 327;         // 0.005
constexpr int32_t kUprightHeight = 262;      // 0.004
constexpr int32_t kTan30 = 37837;            // the sideways lean a driving car takes
constexpr int32_t kTan60 = 113511;           // and fore and aft
constexpr int32_t kHeadingLag = 54613;       // 0.8333: the rear heading follows at 1.2
constexpr int32_t kThrottleHeading = 0xCCCC; // 0.8
constexpr int32_t kBaseHeading = 13107;      // 0.2
constexpr int32_t kFullSlopeGrip = 58982;    // 0.9
constexpr int32_t kFlatGround = 61603;       // 0.94
constexpr int32_t kSteepGround = 45875;      // 0.7
constexpr int32_t kSlopeSpan = 15728;        // 0.24
constexpr int32_t kLoadBase = 30 * ONE;

CarStepPassHook gpPassHook = nullptr;

struct StepList
{
    CarMechanics* paMechanics;
    CarBody* paBodies;
    int anCar[MAX_CARS]; // -1: an entry that named no car
    int nCount;
};

// One pass over the list from its last entry to its first, each car made current first.
template <typename Pass> void RunPass(const StepList& list, int nPass, Pass pass)
{
    for (int j = list.nCount - 1; j >= 0; --j)
    {
        const int nCar = list.anCar[j];
        if (nCar < 0)
            continue;
        gpCurrentCarBody = &list.paBodies[nCar];
        gpCurrentCarMechanics = &list.paMechanics[nCar];
        if (gpPassHook != nullptr)
            gpPassHook(nPass, j, nCar);
        pass(gpCurrentCarBody, gpCurrentCarMechanics, j);
    }
}

// The countdown a timed-event trigger starts: the crowd's sample 2 seconds into it, then 10
// seconds later the car is taken over with a clock penalty after 9 more.
void StepEventTimer(CarBody* pBody, CarMechanics* pMech)
{
    const int nRate = CarModel_TicksPerSecond();
    int16_t& nTimer = pBody->StartCountdown;
    if (nTimer > 0)
    {
        if (nTimer == 12 * nRate - 2 * nRate && GetGameState() == kRacing)
            CrowdNoise_PlayAbduct();
        --nTimer;
        if (nTimer == 0)
            nTimer = -1;
    }
    else if (nTimer < 0)
    {
        // Held at the bottom: a wrap would start the timer again.
        if (nTimer > SHRT_MIN)
            --nTimer;
        if (nTimer < -(6 * nRate + 3 * nRate))
        {
            pBody->NeedsRescue = 1;
            pMech->RescuePenalty = 1;
        }
    }
}

// A landing the race flow asked to feel: the rise of the vertical speed over the step shakes
// the camera and the player's device. A fall or a level step shakes nothing.
void LandingJolt(const CarBody* pBody, const CarMechanics* pMech)
{
    if (pBody->JoltRequest == 0)
        return;
    const int32_t xRise = FfSub(pBody->Velocity.y, pBody->VelocityPrev.y);
    if (xRise <= 0)
        return;
    int32_t k = FfMul(xRise, kLandingGain);
    if (k > ONE)
        k = ONE;
    const int nCar = pBody->nCarNumber;
    if (pMech->Upright && nCar >= 0 && nCar < MAX_CARS)
        gaCarCamBData[nCar] = k;
    k = FfMul(k, kJoltScale);
    ForceFeedback_Jolt(nCar, k, HALF);
    const DK_VECTOR back = VecScaled(pBody->OrientRow0, -ONE);
    ForceFeedback_Impact(nCar, &back, FfMul(k, 2 * ONE), 2 * ONE, 1);
}

// Each wheel's tyre values on the surface under it; a tyre type or surface outside the table
// reads the neutral entry.
void TakeTyreValues(const CarBody* pBody, CarMechanics* pMech)
{
    static constexpr uint16_t kNeutral[3] = {0, 0, 0};
    const int32_t nTyre = pBody->TyreType;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        const int nSurface = pMech->WheelSurface[w];
        const uint16_t* a =
            nTyre >= 0 && nTyre < NUM_TYRE_TYPES && nSurface >= 0 && nSurface < NUM_SURFACES
                ? TyreSurfaceTable[nTyre][nSurface]
                : kNeutral;
        pMech->TyreGripOffset[w] = -static_cast<int32_t>(a[0]);
        pMech->TyreValue2[w] = -static_cast<int32_t>(a[1]);
        pMech->GripScale[w] = a[2] + ONE;
    }
}

void Housekeeping(CarBody* pBody, CarMechanics* pMech, int)
{
    // The wobble is the car's own, by its number (its damage record's).
    if (GameData_IsOptionSet(OPTION_WOBBLE_ALWAYS) || pBody->NoDamage)
        Damage_UpdateWobble(pBody->nCarNumber);
    StepEventTimer(pBody, pMech);
    LandingJolt(pBody, pMech);

    TickGravity = {0, 0, 0};
    gxSlopeGrip = 0;
    CarModel_ScaleRates(pBody, pMech);
    pMech->EngineRevsPrev = pMech->EngineRevs;
    pBody->PositionPrev = pBody->Position;
    pBody->OrientPrev[0] = pBody->OrientRow0;
    pBody->OrientPrev[1] = pBody->UpAxis;
    pBody->OrientPrev[2] = pBody->OrientRow2;
    if (pMech->Stuck == 0)
        CarModel_MarkStuck();

    TakeTyreValues(pBody, pMech);

    // The launch lock holds until the driven wheels run no more than 0.1 ahead of the road.
    if (pMech->LaunchTicks != 0)
    {
        const int w = pMech->DriveShareFront == 0 ? 2 : 0;
        const int32_t xDiff = FfSub(FfMul(pBody->Speed, 4 * ONE), pMech->WheelSpeed[w]);
        if (xDiff > kLaunchSlack)
            pMech->LaunchTicks = 0;
        else
            --pMech->LaunchTicks;
    }
}

void Controls(CarBody* pBody, CarMechanics* pMech, int nListPosition)
{
    if (FfAbs(pBody->Speed) < kStillSpeed)
        pMech->AccelControl = pMech->BrakeControl = 0;
    CarControl_Update(pMech, pBody, nListPosition);
}

// Driving on the wheels needs the ground's normal, seen from the car, inside a cone leaning 30
// degrees sideways and 60 fore and aft.
void UprightTest(const CarBody* pBody, CarMechanics* pMech)
{
    DK_VECTOR g;
    DkTransformPoint(&g, &pBody->GroundNormal, &pBody->Matrix);
    const int32_t xHeight = FfAbs(g.y);
    pMech->Upright = g.y > kUprightHeight && FfAbs(g.x) <= FfMul(kTan30, xHeight) &&
                             FfAbs(g.z) <= FfMul(kTan60, xHeight)
                         ? 1
                         : 0;
}

// The rear wheels' heading lags the body's, faster on the throttle; the front wheels' is the
// rear's turned by the steering and the damaged steering's offset.
void SteerHeading(CarBody* pBody, const CarMechanics* pMech)
{
    const int32_t nAngle =
        static_cast<int32_t>(pMech->SteerAngle) + CarModel_Damage(pBody).SteeringOffset;
    const DK_VECTOR& forward = pBody->OrientRow0;
    const DK_VECTOR& up = pBody->UpAxis;
    DK_VECTOR rear = pBody->RearWheelForward;
    rear = VecNormalised(VecSub(rear, VecScaled(up, FfVecDot(&up, &rear))));
    const DK_VECTOR diff = VecSub(forward, rear);
    const int32_t xFollow =
        FfMul(FfAdd(FfMul(kThrottleHeading, pMech->Throttle), kBaseHeading), gStepScale);
    const int32_t r = FfMul(FfDiv(FfVecLength(&diff), kHeadingLag), xFollow);
    pBody->RearWheelForward = r >= ONE ? forward : VecNormalised(VecAdd(rear, VecScaled(diff, r)));

    if (nAngle == 0)
        pBody->FrontWheelForward = pBody->RearWheelForward;
    else
    {
        DK_MATRIX turn;
        DkAxisAngleToMatrix(&turn, &up, nAngle);
        DK_VECTOR turned;
        DkTransformPointTransposed(&turned, &pBody->RearWheelForward, &turn);
        pBody->FrontWheelForward = VecNormalised(turned);
    }
    pBody->FrontWheelSide = VecCross(pBody->FrontWheelForward, up);
}

void Forces(CarBody* pBody, CarMechanics* pMech, int)
{
    CarModel_CornerVelocities();
    for (int i = 0; i < CAR_POINTS; ++i)
        pBody->PointGroundForce[i] = pBody->PointForce[i] = {0, 0, 0};
    pBody->GravityForce = {0, FfNeg(FfMul(pBody->Weight, FfMul(HALF, gxGravityScale))), 0};

    CarModel_CountWheelsOnGround();
    CarModel_UpdateLoadTransfer();
    CarModel_SlopeGripFactor();
    CarModel_DistributeLoad();
    SteerHeading(pBody, pMech);
}

void BodyForces(CarBody*, CarMechanics*, int nListPosition)
{
    gpCarAcceleration = &gaCarAcceleration[nListPosition];
    CarModel_IntegrateBody();
}

void Engine(CarBody* pBody, CarMechanics*, int)
{
    CarModel_UpdateEngineRevs();
    CarModel_UpdateWheelSpeeds();
    pBody->ExtForce = pBody->ExtTorque = {0, 0, 0};
}

void DamageAndBlocks(CarBody* pBody, CarMechanics* pMech, int)
{
    Damage_UpdateWater(pBody, pMech);
    // The block search reads only a model's centre.
    DK_FIXED_MODEL probe{};
    probe.Centre = pBody->Position;
    pBody->nCurrentBlock = DkFindModelTrackBlocks(&probe, pBody->anNeighbourBlocks);
}

// The car's half extents along its three rows.
void HalfAxes(const CarBody* pBody, DK_VECTOR* pA, DK_VECTOR* pB, DK_VECTOR* pC)
{
    DK_VECTOR row;
    FfMatGetRow0(&row, &pBody->Matrix);
    *pA = VecScaled(row, pBody->HalfSize.x);
    FfMatGetRow1(&row, &pBody->Matrix);
    *pB = VecScaled(row, pBody->HalfSize.y);
    FfMatGetRow2(&row, &pBody->Matrix);
    *pC = VecScaled(row, pBody->HalfSize.z);
}

// centre plus the corner pattern of a, b and c in the points' order: 0-3 the bottom (front two
// first), 4-7 the top.
void OverCorners(const DK_VECTOR& centre, const DK_VECTOR& a, const DK_VECTOR& b,
                 const DK_VECTOR& c, DK_VECTOR* p)
{
    const DK_VECTOR front = VecAdd(centre, a);
    const DK_VECTOR rear = VecSub(centre, a);
    p[0] = VecAdd(VecSub(front, b), c);
    p[1] = VecSub(VecSub(front, b), c);
    p[2] = VecAdd(VecSub(rear, b), c);
    p[3] = VecSub(VecSub(rear, b), c);
    p[4] = VecAdd(VecAdd(front, b), c);
    p[5] = VecSub(VecAdd(front, b), c);
    p[6] = VecAdd(VecAdd(rear, b), c);
    p[7] = VecSub(VecAdd(rear, b), c);
}

} // namespace

void CarModel_SetStepPassHook(CarStepPassHook pHook)
{
    gpPassHook = pHook;
}

void CarModel_StepCars(CarMechanics* paMechanics, CarBody* paBodies, const int16_t* panList,
                       int16_t nCount)
{
    if (paMechanics == nullptr || paBodies == nullptr || (panList == nullptr && nCount > 0))
    {
        DKREPORT("CarModel_StepCars() : no cars");
        return;
    }
    StepList list{paMechanics, paBodies, {}, nCount < 0 ? 0 : nCount};
    if (list.nCount > MAX_CARS)
    {
        DKREPORT(DkFormatString("CarModel_StepCars() : %d cars listed, stepping %d", list.nCount,
                                MAX_CARS));
        list.nCount = MAX_CARS;
    }
    for (int j = 0; j < list.nCount; ++j)
    {
        const int nCar = panList[j];
        list.anCar[j] = nCar >= 0 && nCar < MAX_CARS ? nCar : -1;
        if (list.anCar[j] < 0)
            DKREPORT(DkFormatString("CarModel_StepCars() : no car %d", nCar));
    }

    RunPass(list, 1, Housekeeping);
    RunPass(list, 2, Controls);
    RunPass(list, 3, [](CarBody* pBody, CarMechanics* pMech, int) { UprightTest(pBody, pMech); });
    RunPass(list, 4, Forces);
    RunPass(list, 5, [](CarBody*, CarMechanics*, int) { CarModel_DriveTorque(); });
    RunPass(list, 6, [](CarBody*, CarMechanics*, int) { CarModel_BodyPointFriction(); });
    RunPass(list, 7, BodyForces);
    RunPass(list, 8, Engine);
    RunPass(list, 9, DamageAndBlocks);
}

void CarModel_SlopeGripFactor(void)
{
    const int32_t n = gpCurrentCarBody->GroundNormal.y;
    if (n >= kFlatGround)
    {
        gxSlopeGrip = kFullSlopeGrip;
        return;
    }
    const int32_t xShare = FfDiv(FfSub(n, kSteepGround), kSlopeSpan);
    gxSlopeGrip = xShare > 0 ? FfMul(kFullSlopeGrip, xShare) : 0;
}

void CarModel_DistributeLoad(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    const int nTouching = pBody->PointsTouching;
    const int32_t xWeight = pBody->Weight;
    pBody->SlideDamping = nTouching <= 0   ? 0
                          : nTouching == 4 ? xWeight >> 2
                          : nTouching == 2 ? xWeight >> 1
                          : nTouching == 1 ? xWeight
                                           : xWeight / nTouching;
    const DK_VECTOR& normal = pBody->GroundNormal;
    const int32_t w = FfMul(FfMul(FfAdd(pBody->SlideDamping, kLoadBase), HALF), normal.y);
    const DK_VECTOR f = VecScaled(normal, w);

    for (int i = 0; i < CAR_POINTS; ++i)
    {
        const bool boWheel = i < CAR_WHEELS;
        const bool boDown = pBody->PointOffGround[i] == 0 || (boWheel && pBody->WheelOnGround[i]);
        if (!boDown)
        {
            pMech->PointSlideLimit[i] = pMech->PointPeakLimit[i] = 0;
            if (boWheel)
                pMech->PeakGrip[i] = pMech->SlideGrip[i] = 0;
            continue;
        }
        if (nTouching != 4)
            pBody->PointGroundForce[i] = VecAdd(pBody->PointGroundForce[i], f);
        const int s = SurfaceRow(pMech->WheelSurface[i]);
        if (boWheel && pMech->Upright)
        {
            const int32_t w2 =
                FfMul(FfAdd(pBody->PointLoad[i], kLoadBase), FfMul(HALF, pBody->PointNormal[i].y));
            const int32_t xOffsets = FfAdd(pMech->TyreGripOffset[i], pMech->WheelGripOffset2[i]);
            pMech->SlideGrip[i] = FfMul(w2, FfAdd(SurfaceSlideGrip[s].xFirst, xOffsets));
            pMech->PeakGrip[i] = FfMul(w2, FfAdd(SurfacePeakGrip[s].xFirst, xOffsets));
        }
        else
        {
            pMech->PointSlideLimit[i] =
                FfMul(w, FfAdd(pMech->CarGripOffset[0], SurfaceSlideGrip[s].xFirst));
            pMech->PointPeakLimit[i] =
                FfMul(w, FfAdd(pMech->CarGripOffset[1], SurfacePeakGrip[s].xFirst));
        }
    }

    // Gravity along the ground, less what the slope's grip holds.
    if (nTouching > 0 || pBody->WheelsOnGround > 0)
    {
        const DK_VECTOR& gravity = pBody->GravityForce;
        const DK_VECTOR along = VecSub(gravity, VecScaled(normal, FfVecDot(&gravity, &normal)));
        const DK_VECTOR g = VecScaled(along, FfSub(ONE, gxSlopeGrip));
        if (nTouching > 0)
            pBody->GravityForce = g;
    }
}

void CarModel_CornerVelocities(void)
{
    CarBody* pBody = gpCurrentCarBody;
    // The spin in world axes crossed with each half extent.
    DK_VECTOR spin;
    DkTransformPointTransposed(&spin, &pBody->AngularVelocity, &pBody->Matrix);
    DK_VECTOR a, b, c;
    HalfAxes(pBody, &a, &b, &c);
    OverCorners(pBody->Velocity, VecCross(spin, a), VecCross(spin, b), VecCross(spin, c),
                pBody->PointVelocity);
}

void CarModel_UpdateCorners(CarBody* pBody)
{
    DK_VECTOR a, b, c;
    HalfAxes(pBody, &a, &b, &c);
    OverCorners(pBody->Position, a, b, c, pBody->ContactPoint);
    CarModel_UnoffsetCorners(pBody);
}
void CarModel_GroundNormal(void)
{
    CarBody* pBody = gpCurrentCarBody;
    // The face whose axis stands nearest the vertical: the bottom, the front or a side.
    static constexpr int kBottom[4] = {0, 1, 2, 3};
    static constexpr int kFront[4] = {0, 1, 4, 5};
    static constexpr int kSide[4] = {0, 2, 4, 6};
    const int32_t xUp = FfAbs(pBody->UpAxis.y);
    const int32_t xForward = FfAbs(pBody->OrientRow0.y);
    const int32_t xSide = FfAbs(pBody->OrientRow2.y);
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
