// The step rate, and putting cars down: the rescue that fades a car out, places it back on the
// track and fades it in, and the drop onto the ground at a start point.
#include "engine/common/dk_actor.h"
#include "engine/include/dk_services.h"
#include "engine/pc/core/dk_qtime.h"
#include "game/effects/vrooom.h"
#include "game/race/pertick.h"
#include "game/race/splttime.h"
#include "game/vehicle/carmodel_internal.h"

int32_t gRateScale = DK_FIXED_ONE;
int32_t gStepScale = DK_FIXED_ONE;
uint32_t gTicksPerStep = 0;
BOOL gboTicksPerStepMeasured = FALSE;

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t kRatePerTick = 0xA3D; // 0.04
constexpr int32_t kRescueStart = 10 * ONE;
constexpr int32_t kRescueEnd = -0x9FFFF;    // the rescue ends below this (-10.0 reaches it)
constexpr int32_t kPenaltyFadeOut = 0x8000; // 0.5 a tick
constexpr int32_t kPenaltyFadeIn = 0x18000; // 1.5 a tick
constexpr int32_t kPenaltySeconds = 540 * ONE;
constexpr int32_t kFadeFraction = 0x1999; // 0.1 of the fade per 1.0 of the timer
constexpr int32_t kFadeFull = 255 * ONE;
constexpr int32_t kPlacingDepth = 0x640000; // 100.0: placed below, then lifted out
constexpr int32_t kStartDepth = -32000 * ONE;

// Everything that moved before the car was put down, stopped.
void StopCar(CarBody* pBody, CarMechanics* pMech)
{
    pBody->AxisDotGround[0] = 0;
    pBody->AxisDotGround[1] = ONE;
    pBody->AxisDotGround[2] = 0;
    pBody->Velocity = pBody->VelocityPrev = {};
    pBody->Speed = 0;
    pBody->AngularVelocity = {};
    pBody->ExtForce = pBody->ExtTorque = {};
    pBody->OrientPrev[0] = pBody->OrientRow0;
    pBody->OrientPrev[1] = pBody->UpAxis;
    pBody->OrientPrev[2] = pBody->OrientRow2;
    pBody->GroundNormalPrev = pBody->GroundNormal;
    for (int w = 0; w < CAR_WHEELS; ++w)
        pBody->PointNormalPrev[w] = pBody->PointNormal[w];
    pBody->PositionPrev = pBody->Position;
    pBody->FrontWheelSide = pBody->OrientRow2;
    pBody->RearWheelForward = pBody->FrontWheelForward = pBody->OrientRow0;
    pBody->Rolling = pBody->RollStarted = pBody->WasUpsideDown = pBody->RollTicks = 0;
    pBody->RollAngle = 0;
    pBody->TipValue = 0;
    pBody->TipCounter = 0;
    pMech->SwayState = pMech->SwayState2 = {};
    for (int w = 0; w < CAR_WHEELS; ++w)
        pMech->WheelSpeed[w] = pMech->WheelSpinSpeed[w] = pMech->WheelTorqueOut[w] = 0;
    pMech->Throttle = pMech->xFixed732 = 0;
    pMech->EngineRevs = pMech->EngineRevsPrev = pMech->EngineTarget = 0;
    pMech->BrakeInput = pMech->xFixed752 = pMech->HandbrakeTorque = pMech->xFixed760 = 0;
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        pMech->WheelSurface[i] = 0;
        pBody->SinkTicks[i] = 0;
    }
    pMech->SteerAngle = 0;
    pMech->TargetSteerAngle = 0;
    pMech->Stuck = pMech->UpsideDown = pMech->OnSide = pMech->OnEnd = 0;
    pMech->InputSwap = 0;
    pMech->Gear = 1;
    pMech->RevLimiterOn = 0;
    pBody->StartCountdown = 0;
}

// Queries the ground under every point, stands the rows on its normal, and queries again where
// the corners now are.
void StandOnGround(CarBody* pBody, CarMechanics* pMech)
{
    CarModel_ForgetTriangles(pMech);
    CarModel_UpdateBodyContacts(pBody, pMech);
    CarModel_GroundNormal();
    CarModel_AlignToGround(pBody);
    CarModel_WriteMatrix(pBody);
    CarModel_UpdateCorners(pBody);
    CarModel_UpdateBodyContacts(pBody, pMech);
}

// Puts the car down at the point facing the heading, resting on the ground.
void PlaceCar(CarBody* pBody, CarMechanics* pMech, const DK_VECTOR* pPoint,
              const DK_VECTOR* pHeading)
{
    pBody->OrientRow0 = VecNormalised({pHeading->x, 0, pHeading->z});
    pBody->UpAxis = {0, ONE, 0};
    pBody->OrientRow2 = {pBody->OrientRow0.z, 0, FfNeg(pBody->OrientRow0.x)};
    pBody->Position = *pPoint;
    pBody->Position.y = FfSub(pBody->Position.y, kPlacingDepth);
    CarModel_WriteMatrix(pBody);
    CarModel_UpdateCorners(pBody);
    StandOnGround(pBody, pMech);

    CarModel_UpdateTouchingPoints();
    CarModel_LiftOutOfGround();
    CarModel_UpdateTouchingPoints();
    CarModel_CountWheelsOnGround();

    pMech->DisplayMatrix = pBody->Matrix;
    DkIdentityMatrix(&pMech->SwayMatrix);
    StopCar(pBody, pMech);

    if (pBody->nCarNumber >= 0 && pBody->nCarNumber < PERTICK_CARS)
        gaCarTrackSection[pBody->nCarNumber] = 1;
    SetViewCopyPending(pBody->nCarNumber);
}

} // namespace

void CarModel_SetStepRate(int32_t xRate)
{
    gRateScale = FfMul(kRatePerTick, xRate);
    gStepScale = FfDiv(ONE, gRateScale);
}

void CarModel_ScaleRates(CarBody*, CarMechanics* pMech)
{
    pMech->SteerRate = FfMul(pMech->SteerRateBase, gStepScale);
    pMech->RampRateA = FfMul(pMech->RampRateABase, gStepScale);
    pMech->RampRateB = FfMul(pMech->RampRateBBase, gStepScale);
    pMech->RampRateC = FfMul(pMech->RampRateCBase, gStepScale);
}

void CarModel_CopyRates(CarBody*, CarMechanics* pMech)
{
    pMech->SteerRate = pMech->SteerRateBase;
    pMech->RampRateA = pMech->RampRateABase;
    pMech->RampRateB = pMech->RampRateBBase;
    pMech->RampRateC = pMech->RampRateCBase;
}

void CarModel_MeasureTimer(void)
{
    gTicksPerStep = DkGetPerformanceFrequency() / 25;
    gboTicksPerStepMeasured = TRUE;
    DkLog(DkFormatString("ticks per step: %d", static_cast<int>(gTicksPerStep)));
}

void CarModel_PlaceOnTrack(CarBody* pBody, CarMechanics* pMech, const DK_VECTOR* pPoint,
                           const DK_VECTOR* pHeading, int32_t nForce)
{
    gpCurrentCarBody = pBody;
    gpCurrentCarMechanics = pMech;
    if (!pMech->RescueActive)
    {
        pMech->RescueActive = 1;
        pMech->RescueTimer = kRescueStart;
        pMech->RescueFade = 0;
    }
    else if (!pMech->RescuePenalty)
        pMech->RescueTimer = FfSub(pMech->RescueTimer, ONE);
    else
    {
        pMech->RescueTimer =
            FfSub(pMech->RescueTimer, pMech->RescueTimer > 0 ? kPenaltyFadeOut : kPenaltyFadeIn);
        if (pMech->RescueTimer == 0)
        {
            StageTimer_Advance(kPenaltySeconds);
            CarSound_Nothing(pBody->nCarNumber);
        }
    }

    const int32_t xTimer = pMech->RescueTimer < 0 ? FfNeg(pMech->RescueTimer) : pMech->RescueTimer;
    int32_t nFade = FfMul(FfSub(ONE, FfMul(xTimer, kFadeFraction)), kFadeFull) >> 16;
    if (pMech->RescuePenalty)
        nFade *= 2;
    pMech->RescueFade = static_cast<uint8_t>(nFade < 0 ? 0 : nFade > 255 ? 255 : nFade);

    if (pMech->RescueTimer < kRescueEnd)
    {
        pBody->NeedsRescue = 0;
        pMech->RescueActive = 0;
        pMech->RescueFade = 0;
        if (pMech->RescuePenalty)
        {
            pMech->RescuePenalty = 0;
            pBody->NoDamage = 1;
        }
    }
    if (pMech->RescueTimer == 0 || nForce != 0)
        PlaceCar(pBody, pMech, pPoint, pHeading);
}

void CarModel_PlaceAtStart(DK_ACTOR* pActor, CarBody* pBody, CarMechanics* pMech, int32_t xSpeed,
                           int16_t nHeading, int32_t x, int32_t z)
{
    if (pActor == nullptr)
    {
        DKREPORT("CarModel_PlaceAtStart() : no actor");
        return;
    }
    gpCurrentCarBody = pBody;
    gpCurrentCarMechanics = pMech;
    const int16_t anAngles[3] = {0, nHeading, 0};
    const DK_VECTOR at = {x, kStartDepth, z};
    DkSetActor(pActor, &at, anAngles);
    FfMatGetRow0(&pBody->OrientRow0, &pActor->Local);
    FfMatGetRow1(&pBody->UpAxis, &pActor->Local);
    FfMatGetRow2(&pBody->OrientRow2, &pActor->Local);
    FfMatGetPosition(&pBody->Position, &pActor->Local);
    CarModel_WriteMatrix(pBody);
    CarModel_UpdateCorners(pBody);
    pBody->PointsTouching = 4;
    pBody->AllPointsOff = 0;
    for (int i = 0; i < CAR_WHEELS; ++i)
        pBody->TouchingList[i] = static_cast<int8_t>(i);

    StandOnGround(pBody, pMech);
    CarModel_LiftOutOfGround();

    const int32_t xAlong = FfVecDot(&pBody->OrientRow0, &pBody->GroundNormal);
    const DK_VECTOR forward =
        VecNormalised(VecSub(pBody->OrientRow0, VecScaled(pBody->GroundNormal, xAlong)));
    pBody->Velocity = VecScaled(forward, xSpeed);
    pBody->AngularVelocity = {};
    for (int32_t& xWheel : pMech->WheelSpeed)
        xWheel = FfMul(4 * ONE, xSpeed);
    pMech->Gear = 1;
    pMech->EngineRevs = 0;
    // The first gear whose revs at this speed lie in its band.
    for (int g = 1; g <= 5; ++g)
    {
        const int32_t xRevs = FfMul(pMech->WheelSpeed[0], pMech->GearRatio[g]);
        const int32_t xShare = FfMul(xRevs, pMech->InverseMaxRevs);
        if (xShare >= pMech->RevBandLow[g] && xShare <= pMech->RevBandHigh[g])
        {
            pMech->Gear = static_cast<int8_t>(g);
            pMech->EngineRevs = xRevs;
            break;
        }
    }
    pMech->BrakeInput = pMech->AccelControl = pMech->BrakeControl = 0;
    pMech->ClutchOut = 0;
    pBody->AxisDotGround[0] = 0;
    pBody->AxisDotGround[1] = ONE;
    pBody->AxisDotGround[2] = 0;
}
