// The per-tick driver.
//
// A tick works on one car, or two: the two players' cars, or on a super special stage the
// player's and the computer's. In a network game the remote cars are snapshot records 1 to 7
// beside the local car 0.

#include "game/race/pertick.h"

#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/core/dk_qtime.h"
#include "game/effects/effects.h"
#include "game/effects/forcefeedback.h"
#include "game/hud/catseye.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "game/race/netreplay.h"
#include "game/race/replay.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carcontrol.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/knockedover.h"
#include "game/vehicle/notmvble.h"
#include "game/vehicle/trigger.h"

int32_t gaCarTrackSection[PERTICK_CARS];
std::atomic<BOOL> gboInMechanics{FALSE};
BOOL gboFirstMechanicsTick = FALSE;
std::atomic<int32_t> gnTicksSinceFrame{0};
std::atomic<BOOL> gboMechanicsTickDone{FALSE};
int32_t gnNetSendCountdown = 0;

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
// The drawn wheel's spin flags change at half a radian a tick.
constexpr int32_t kSpinFlagSpeed = ONE / 2;
// The lift of a car whose vertical-motion word is below the limit: 0.02 a unit beyond it.
constexpr int32_t kImpactLiftScale = 1310;
constexpr int kRemoteSlots = 7;

// Per car record: the next tick copies its current snapshot over the previous one. The players
// set records 0 and 1; remote slot s reads record s's flag, as the network code always has, so
// the table covers every record a slot may name.
BOOL gaboViewCopyPending[PERTICK_CARS];
BOOL gaboCameraReselect[PERTICK_PLAYERS];

const PerTickCallees kRealCallees = {
    Replay_UpdateAll,
    Replay_StepAllPlaybacks,
    QuickTime_Start,
    QuickTime_End,
    CarControl_HoldCarAtStart,
    CarControl_ClearInputs,
    CarModel_StepCars,
    NetPlay_SendCarState,
    NetPlay_Poll,
    MovingObjects_Relink,
    CarModel_OffsetCorners,
    Coll_CarVsTrackObjects,
    Coll_CarVsMovingObjects,
    Coll_CarVsCar,
    Trigger_ProcessCar,
    CarModel_UnoffsetCorners,
    HitObjects_UpdateAll,
    MovingObjects_Update,
    CarModel_SpinWheels,
    CarModel_UpdateBody,
    CarModel_UpdateDisplayBody,
    CatsEye_PlaceCar,
    Effects_Tick,
    NetPlay_PredictRemoteCars,
    NetReplay_Record,
    NetReplay_Play,
    Cameras_Reattach,
    Cameras_Update,
    CatsEye_UpdateCar,
    CatsEye_UpdateCarLoop,
    ForceFeedback_Update,
};
PerTickCallees gCallees = kRealCallees;

bool IsRemoteSlotActive(int nSlot)
{
    return GameData_IsRemotePlayerActive(nSlot) == TRUE;
}

int TicksPerSecond()
{
    return gbo50HzMode ? 50 : 25;
}

// The car's previous snapshot takes its current one.
void ShiftSnapshot(int k)
{
    gaSnapCarMatrix[k][SNAP_PREVIOUS] = gaSnapCarMatrix[k][SNAP_CURRENT];
    gaSnapRootMatrix[k][SNAP_PREVIOUS] = gaSnapRootMatrix[k][SNAP_CURRENT];
    gaSnapPartMatrix[k][SNAP_PREVIOUS] = gaSnapPartMatrix[k][SNAP_CURRENT];
    gaSnapBodyVector[k][SNAP_PREVIOUS] = gaSnapBodyVector[k][SNAP_CURRENT];
    gaSnapFadeLevel[k][SNAP_PREVIOUS] = gaSnapFadeLevel[k][SNAP_CURRENT];
    gaSnapHeightLift[k][SNAP_PREVIOUS] = gaSnapHeightLift[k][SNAP_CURRENT];
    gaSnapSecondLift[k][SNAP_PREVIOUS] = gaSnapSecondLift[k][SNAP_CURRENT];
    gaSnapImpactLift[k][SNAP_PREVIOUS] = gaSnapImpactLift[k][SNAP_CURRENT];
}

// This tick's snapshot of car k.
void TakeSnapshot(int k)
{
    const CarBody& body = gaCarBody[k];
    const CarMechanics& mech = gaCarMechanics[k];
    FfMatCopyTo(&gaSnapCarMatrix[k][SNAP_CURRENT], &body.Matrix);
    FfMatCopyTo(&gaSnapRootMatrix[k][SNAP_CURRENT], &mech.DisplayMatrix);
    DK_MATRIX& part = gaSnapPartMatrix[k][SNAP_CURRENT];
    FfMatCopyTo(&part, &mech.SwayMatrix);
    part.m[3][1] += Interp_GetHeightOffset(&body);
    gaSnapBodyVector[k][SNAP_CURRENT] = body.GroundNormal;
    // The car records keep no first height correction for the car-mounted views yet; the second
    // is wheel 0's third height value, the bounce of the flat-gravel mode.
    gaSnapHeightLift[k][SNAP_CURRENT] = 0;
    gaSnapSecondLift[k][SNAP_CURRENT] = body.WheelShake[0];
    // A car carried off by the timed event rises while its vertical-motion word (the event
    // timer) runs on below -6 seconds of ticks; above that the last lift stays.
    const int32_t nLimit = 6 * TicksPerSecond();
    if (body.StartCountdown < -nLimit)
        gaSnapImpactLift[k][SNAP_CURRENT] = (-body.StartCountdown - nLimit) * kImpactLiftScale;
    gaSnapFadeLevel[k][SNAP_CURRENT] = mech.RescueFade;
}

// Shows car k where it now is: the current car, root and part matrices, first height
// correction, ground normal and fade byte over the previous ones.
void CopyViewSnapshot(int k)
{
    gaSnapCarMatrix[k][SNAP_PREVIOUS] = gaSnapCarMatrix[k][SNAP_CURRENT];
    gaSnapRootMatrix[k][SNAP_PREVIOUS] = gaSnapRootMatrix[k][SNAP_CURRENT];
    gaSnapPartMatrix[k][SNAP_PREVIOUS] = gaSnapPartMatrix[k][SNAP_CURRENT];
    gaSnapHeightLift[k][SNAP_PREVIOUS] = gaSnapHeightLift[k][SNAP_CURRENT];
    gaSnapBodyVector[k][SNAP_PREVIOUS] = gaSnapBodyVector[k][SNAP_CURRENT];
    gaSnapFadeLevel[k][SNAP_PREVIOUS] = gaSnapFadeLevel[k][SNAP_CURRENT];
}

// The drawn wheels of car n: each wheel's spin angle and spin flag from its rotation speed.
void SpinDrawnWheels(int n)
{
    const CarMechanics& mech = gaCarMechanics[n];
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        int32_t v = mech.WheelSpinSpeed[w];
        const int32_t t = mech.WheelTorqueOut[w];
        const bool boDriven = (t > 0 && v > 0) || (t < 0 && v < 0);
        if (!boDriven &&
            PerTick_IsWheelHeld(mech.HandbrakeOn != 0 ? TRUE : FALSE,
                                mech.BrakeHeld != 0 ? TRUE : FALSE, mech.DriveShareFront, w))
            v = 0;
        gaWheelSpinAngle[n][w] =
            static_cast<int16_t>(static_cast<uint16_t>(gaWheelSpinAngle[n][w]) -
                                 static_cast<uint32_t>(Interp_RadiansToAngle(v)));
        const bool boFast = (v < 0 ? -static_cast<int64_t>(v) : v) > kSpinFlagSpeed;
        gaWheelReversed[n][w] = (w == 0 || w == 2) == boFast ? 1 : 0;
    }
}

} // namespace

BOOL PerTick_IsWheelHeld(BOOL boFirstHold, BOOL boSecondHold, int32_t xHoldValue, int nWheel)
{
    const bool boRear = nWheel >= 2;
    if (boFirstHold && boRear)
        return TRUE;
    if (boSecondHold)
    {
        if (xHoldValue != 0 && (xHoldValue != ONE || boRear))
            return TRUE;
        if (xHoldValue == 0 && !boRear)
            return TRUE;
    }
    return FALSE;
}

int UpdateMechanics(void)
{
    const PerTickCallees& c = gCallees;
    const bool boNetwork = gboNetworkGame != FALSE;
    const bool boSchool = DkEntries().IsRallySchool() != FALSE;
    const bool boSuperSpecial = IsSuperSpecialStage() != FALSE;
    const bool boTwoPlayers = gNumberOfPlayers == 2;
    const int nCars = gnNumMechCars >= 2 ? 2 : 1;

    // 1. The start of the tick; the stage's first seeds the remote cars' snapshots.
    gboInMechanics = TRUE;
    for (int n = 0; n < PERTICK_PLAYERS; ++n)
        gaWallImpact[n].nActive = 0;
    if (gboFirstMechanicsTick)
    {
        gboFirstMechanicsTick = FALSE;
        if (boNetwork)
            for (int k = kRemoteSlots; k >= 1; --k)
                if (IsRemoteSlotActive(k - 1))
                    for (DK_MATRIX& m : gaSnapCarMatrix[k])
                        FfMatCopyTo(&m, &gaCarBody[0].Matrix);
    }

    // 2, 3. Replays, then the cars' mechanics under the profiler.
    c.Replay_UpdateAll();
    c.Replay_StepAllPlaybacks();
    c.QuickTime_Start("Mechanics");

    // 4. The holds: a finished player's after-finish hold counts down.
    int16_t anList[2];
    for (int n = nCars - 1; n >= 0; --n)
    {
        if (!boSchool && HasPlayerFinished(n) && gaStartHold[n] > 0)
            --gaStartHold[n];
        c.CarControl_HoldCarAtStart(&gaCarMechanics[n], &gaCarBody[n], n);
        anList[n] = static_cast<int16_t>(n);
    }
    // 5. Both cars of a super special stage lose the inputs of a finished car.
    if (boSuperSpecial && nCars == 2 && !boSchool)
        for (int n = 0; n < 2; ++n)
            c.CarControl_ClearInputs(&gaCarBody[n], &gaCarMechanics[n]);

    // 6, 7. Last tick's snapshots become the previous ones.
    for (int n = nCars - 1; n >= 0; --n)
        ShiftSnapshot(n);
    if (boNetwork)
        for (int s = 0; s < kRemoteSlots; ++s)
            if (IsRemoteSlotActive(s))
            {
                gaSnapCarMatrix[s + 1][SNAP_PREVIOUS_BUT_ONE] =
                    gaSnapCarMatrix[s + 1][SNAP_PREVIOUS];
                gaSnapCarMatrix[s + 1][SNAP_PREVIOUS] = gaSnapCarMatrix[s + 1][SNAP_CURRENT];
            }

    // 8. The physics step.
    c.CarModel_StepCars(gaCarMechanics, gaCarBody, anList, static_cast<int16_t>(nCars));

    // 9. The network: the car state every send interval (none at the end of the stage, though
    // the countdown runs), then every message waiting.
    if (boNetwork)
    {
        if (gnNetSendCountdown > 0)
            --gnNetSendCountdown;
        else
        {
            if (GetGameState() != GAME_STATE_END_STAGE)
                c.NetPlay_SendCarState(0);
            gnNetSendCountdown = NetPlay_GetSendInterval();
        }
        c.NetPlay_Poll();
    }

    // 10 to 13. Objects, collisions and triggers.
    c.MovingObjects_Relink();
    for (int n = 0; n < nCars; ++n)
    {
        c.CarModel_OffsetCorners(&gaCarBody[n]);
        c.Coll_CarVsTrackObjects(&gaCarBody[n]);
        c.Coll_CarVsMovingObjects(&gaCarBody[n]);
    }
    if (nCars == 2 && !boSchool && (boSuperSpecial || IsSplitScreenCollisionGame()))
        c.Coll_CarVsCar(&gaCarBody[0], &gaCarBody[1]);
    for (int n = 0; n < nCars; ++n)
    {
        CarBody& body = gaCarBody[n];
        c.Trigger_ProcessCar(&body, &gaCarMechanics[n], n);
        for (int i = 0; i < CAR_POINTS; ++i)
            body.ContactPointStart[i] = body.ContactPoint[i];
        c.CarModel_UnoffsetCorners(&body);
    }
    c.HitObjects_UpdateAll();
    c.MovingObjects_Update(0);
    if (boTwoPlayers)
        c.MovingObjects_Update(1);

    // 14, 15. The drawn wheels, then each car's wheels, body and drawn body.
    for (int n = 0; n < nCars; ++n)
        SpinDrawnWheels(n);
    for (int n = nCars - 1; n >= 0; --n)
    {
        c.CarModel_SpinWheels(&gaCarBody[n], &gaCarMechanics[n]);
        c.CarModel_UpdateBody(&gaCarBody[n], &gaCarMechanics[n]);
        c.CarModel_UpdateDisplayBody(&gaCarBody[n], &gaCarMechanics[n]);
        c.CatsEye_PlaceCar(n);
    }

    // 16, 17.
    c.QuickTime_End("Mechanics");
    c.Effects_Tick();

    // 18 to 21. This tick's snapshots; the remote cars' predicted; a re-placed car's shown
    // where it now is.
    for (int n = nCars - 1; n >= 0; --n)
        TakeSnapshot(n);
    if (boNetwork)
        c.NetPlay_PredictRemoteCars();
    const int nPlayers = boTwoPlayers ? 2 : 1;
    for (int p = 0; p < nPlayers; ++p)
        if (gaboViewCopyPending[p])
        {
            gaboViewCopyPending[p] = FALSE;
            CopyViewSnapshot(p);
        }
    if (boNetwork)
        for (int s = 0; s < kRemoteSlots; ++s)
            if (IsRemoteSlotActive(s) && gaboViewCopyPending[s])
            {
                gaboViewCopyPending[s] = FALSE;
                gaSnapCarMatrix[s + 1][SNAP_PREVIOUS] = gaSnapCarMatrix[s + 1][SNAP_CURRENT];
            }

    // 22, 23. The network cars' recording and playback; the cameras.
    if (boNetwork)
    {
        c.NetReplay_Record();
        c.NetReplay_Play();
    }
    for (int p = 0; p < PERTICK_PLAYERS; ++p)
        if (gaboCameraReselect[p])
        {
            c.Cameras_Reattach(p);
            gaboCameraReselect[p] = FALSE;
        }
    c.Cameras_Update(0);
    if (boTwoPlayers)
        c.Cameras_Update(1);

    // 25, 26. The checkpoints; force feedback.
    for (int n = nCars - 1; n >= 0; --n)
    {
        if (!boSchool && boSuperSpecial)
            c.CatsEye_UpdateCarLoop(n);
        else
            c.CatsEye_UpdateCar(n);
    }
    c.ForceFeedback_Update(0);
    if (boTwoPlayers)
        c.ForceFeedback_Update(1);

    // 27.
    gboMechanicsTickDone = TRUE;
    ++gnTicksSinceFrame;
    gboInMechanics = FALSE;
    return 1;
}

void SetViewCopyPending(int nPlayer)
{
    if (nPlayer >= 0 && nPlayer < PERTICK_PLAYERS)
        gaboViewCopyPending[nPlayer] = TRUE;
}

void SetCameraReselectPending(int nPlayer)
{
    if (nPlayer >= 0 && nPlayer < PERTICK_PLAYERS)
        gaboCameraReselect[nPlayer] = TRUE;
}

PerTickCallees& PerTick_Callees(void)
{
    return gCallees;
}

BOOL PerTick_IsViewCopyPending(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < PERTICK_PLAYERS ? gaboViewCopyPending[nPlayer] : FALSE;
}

void PerTick_ResetForTests(void)
{
    for (BOOL& boPending : gaboViewCopyPending)
        boPending = FALSE;
    for (BOOL& boReselect : gaboCameraReselect)
        boReselect = FALSE;
    for (int32_t& nSection : gaCarTrackSection)
        nSection = 0;
    gboInMechanics = FALSE;
    gboFirstMechanicsTick = FALSE;
    gnTicksSinceFrame = 0;
    gboMechanicsTickDone = FALSE;
    gnNetSendCountdown = 0;
    gCallees = kRealCallees;
}
