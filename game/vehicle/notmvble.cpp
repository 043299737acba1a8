// Scripted moving objects: the ".moj" records, their binding to track actors, the per-tick
// phases and the per-frame blend into the actors.
#include "game/vehicle/notmvble.h"

#include <cstring>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_services.h"
#include "engine/pc/core/dk_file.h"
#include "game/race/cameras.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/le_bytes.h"

MovingObjectState gaMovingObjects[MAX_MOVING_OBJECTS];
int16_t gnNumScriptedObjects = 0;

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;

// Where each field of a record lies in the file.
constexpr uint32_t kGroundAt = 0;
constexpr uint32_t kAngleAt = 4;
constexpr uint32_t kDistanceAt = 8;
constexpr uint32_t kStartAt = 16;
constexpr uint32_t kMotionPeriodAt = 28;
constexpr uint32_t kSpinXPeriodAt = 32;
constexpr uint32_t kSpinYPeriodAt = 36;
constexpr uint32_t kSpinX2PeriodAt = 40;
constexpr uint32_t kTypeAt = 44;
static_assert(kGroundAt == 0 && kAngleAt == 4 && kDistanceAt == 8 && kStartAt == 16);
static_assert(kMotionPeriodAt == 28 && kSpinXPeriodAt == 32 && kSpinYPeriodAt == 36);
static_assert(kSpinX2PeriodAt == 40 && kTypeAt == 44);
static_assert(kTypeAt + 4 == MOVING_OBJECT_RECORD_SIZE, "a record is 48 bytes");

MovingObjectRecord ReadRecord(const uint8_t* p)
{
    MovingObjectRecord r{};
    r.nGround = LeRead32(p + kGroundAt);
    r.nAngle = static_cast<int16_t>(LeRead16(p + kAngleAt));
    r.xDistance = LeRead32(p + kDistanceAt);
    r.Start = {LeRead32(p + kStartAt), LeRead32(p + kStartAt + 4), LeRead32(p + kStartAt + 8)};
    r.nMotionPeriod = LeRead32(p + kMotionPeriodAt);
    r.nSpinXPeriod = LeRead32(p + kSpinXPeriodAt);
    r.nSpinYPeriod = LeRead32(p + kSpinYPeriodAt);
    r.nSpinX2Period = LeRead32(p + kSpinX2PeriodAt);
    r.uType = static_cast<uint32_t>(LeRead32(p + kTypeAt));
    return r;
}

int32_t Sin(int32_t nAngle)
{
    return gaSinTable[nAngle & DK_ANGLE_MASK];
}

int32_t Cos(int32_t nAngle)
{
    return gaSinTable[(nAngle + DK_QUARTER_TURN) & DK_ANGLE_MASK];
}

// Seconds into ticks: 25 a second, 50 at the doubled rate. A period too long to count in ticks
// is held at the largest that can.
int32_t PeriodInTicks(int32_t nSeconds)
{
    const int64_t nTicks = static_cast<int64_t>(nSeconds) * CarModel_TicksPerSecond();
    return nTicks > INT32_MAX ? INT32_MAX : nTicks < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(nTicks);
}

DK_VECTOR Translation(const DK_MATRIX& m)
{
    return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

void SetTranslation(DK_MATRIX* pM, const DK_VECTOR& v)
{
    pM->m[3][0] = v.x;
    pM->m[3][1] = v.y;
    pM->m[3][2] = v.z;
}

// start + (to - start) x t, component by component.
DK_VECTOR Between(const DK_VECTOR& start, const DK_VECTOR& to, int32_t t)
{
    return VecAdd(start, VecScaled(VecSub(to, start), t));
}

// The current transform turned about the object's own axis by the rotation of the rows given.
void Turn(MovingObjectState* pState, const DK_VECTOR& r0, const DK_VECTOR& r1)
{
    DK_MATRIX turn{};
    const DK_VECTOR r2 = VecCross(r0, r1);
    FfMatSetRow0(&r0, &turn);
    FfMatSetRow1(&r1, &turn);
    FfMatSetRow2(&r2, &turn);
    turn.m[3][3] = ONE;
    const DK_VECTOR position = Translation(pState->Current);
    DkMultiplyMatrix(&pState->Current, &turn, &pState->Current);
    SetTranslation(&pState->Current, position);
}

// A phase of the counter over the period; the counter then moves on, back to 0 at |period|.
int32_t NextPhase(int32_t* pnCounter, int32_t nPeriod)
{
    const int32_t xPhase =
        static_cast<int32_t>(static_cast<int64_t>(*pnCounter) * ONE / nPeriod);
    const int64_t nLength = nPeriod < 0 ? -static_cast<int64_t>(nPeriod) : nPeriod;
    if (++*pnCounter >= nLength)
        *pnCounter = 0;
    return xPhase;
}

} // namespace

void MovingObjects_Parse(const uint8_t* pBytes, uint32_t uSize)
{
    gnNumScriptedObjects = 0;
    if (pBytes == nullptr || uSize % MOVING_OBJECT_RECORD_SIZE != 0)
        return;
    const uint32_t uRecords = uSize / MOVING_OBJECT_RECORD_SIZE;
    for (uint32_t i = 0; i < uRecords; ++i)
    {
        const MovingObjectRecord r = ReadRecord(pBytes + i * MOVING_OBJECT_RECORD_SIZE);
        if (r.uType == MOVING_TYPE_NONE)
            continue;
        if (gnNumScriptedObjects >= MAX_MOVING_OBJECTS)
        {
            DKREPORT(DkFormatString("MovingObjects_Load(): more than %d moving objects, the rest "
                                    "are left out",
                                    MAX_MOVING_OBJECTS));
            return;
        }
        MovingObjectState& s = gaMovingObjects[gnNumScriptedObjects++];
        s = MovingObjectState{};
        s.Record = r;
        s.pActor = nullptr;
    }
}

void MovingObjects_Load(const char* pszPath)
{
    gnNumScriptedObjects = 0;
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return;
    MovingObjects_Parse(static_cast<const uint8_t*>(pImage), DkGetLastFileSize());
    DkHeapFree(pImage);
}

void MovingObjects_BindActor(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
        return;
    const DK_VECTOR at = Translation(pActor->Local);
    for (int i = 0; i < gnNumScriptedObjects; ++i)
    {
        MovingObjectState& s = gaMovingObjects[i];
        if (s.Record.Start.x != at.x || s.Record.Start.z != at.z)
            continue;
        s.pActor = pActor;
        s.nGroundTriangle = -1;
        for (int32_t& nCounter : s.anCounter)
            nCounter = 0;
        s.anPeriod[MOVING_MOTION] = PeriodInTicks(s.Record.nMotionPeriod);
        s.anPeriod[MOVING_SPIN_X] = PeriodInTicks(s.Record.nSpinXPeriod);
        s.anPeriod[MOVING_SPIN_Y] = PeriodInTicks(s.Record.nSpinYPeriod);
        s.anPeriod[MOVING_SPIN_X2] = PeriodInTicks(s.Record.nSpinX2Period);
        s.Base = s.Current = s.Previous = pActor->Local;
        const DK_VECTOR start = at;
        const DK_VECTOR d = {Sin(s.Record.nAngle), 0, Cos(s.Record.nAngle)};
        switch (s.Record.uType)
        {
        case MOVING_TYPE_TO_TARGET:
        case MOVING_TYPE_PING_PONG:
            s.MotionPoint = VecAdd(start, VecScaled(d, s.Record.xDistance));
            s.nArrived = 0;
            break;
        case MOVING_TYPE_CIRCLE_CW:
        case MOVING_TYPE_CIRCLE_ACW:
            s.MotionPoint = VecAdd(start, VecScaled(d, s.Record.xDistance / 2));
            break;
        default:
            break;
        }
        return;
    }
}

BOOL MovingObjects_Check(void)
{
    for (int i = 0; i < gnNumScriptedObjects; ++i)
    {
        if (gaMovingObjects[i].pActor == nullptr)
        {
            gnNumScriptedObjects = 0;
            DkTryBoolFailed("Some moving objects are not set as movable (or have bounding boxes) "
                            "- moving objects deactivated",
                            820, __FILE__);
            return FALSE;
        }
    }
    return TRUE;
}

void MovingObjects_CircleClockwise(MovingObjectRecord* pRecord, MovingObjectState* pState,
                                   int32_t xPhase)
{
    const int32_t a = pRecord->nAngle + xPhase / 16;
    const DK_VECTOR d = {Sin(a), 0, Cos(a)};
    SetTranslation(&pState->Current,
                   VecSub(pState->MotionPoint, VecScaled(d, pRecord->xDistance / 2)));
}

void MovingObjects_CircleAnticlockwise(MovingObjectRecord* pRecord, MovingObjectState* pState,
                                       int32_t xPhase)
{
    const int32_t a = pRecord->nAngle - xPhase / 16;
    const DK_VECTOR d = {Sin(a), 0, Cos(a)};
    SetTranslation(&pState->Current,
                   VecSub(pState->MotionPoint, VecScaled(d, pRecord->xDistance / 2)));
}

void MovingObjects_MoveToTarget(MovingObjectRecord* pRecord, MovingObjectState* pState,
                                int32_t xPhase)
{
    // The counter comes round to 0 at the end of the period: that step is the arrival.
    if (xPhase == 0 && pState->nArrived)
        xPhase = ONE;
    SetTranslation(&pState->Current, Between(pRecord->Start, pState->MotionPoint, xPhase));
    if (xPhase == ONE)
        pRecord->uType = MOVING_TYPE_NONE;
    pState->nArrived = 1;
}

void MovingObjects_PingPong(MovingObjectRecord* pRecord, MovingObjectState* pState,
                            int32_t xPhase)
{
    const int32_t t = xPhase < ONE / 2 ? xPhase : ONE - xPhase;
    SetTranslation(&pState->Current, Between(pRecord->Start, pState->MotionPoint, 2 * t));
}

void MovingObjects_SpinAboutX(MovingObjectRecord*, MovingObjectState* pState, int32_t xPhase)
{
    const int32_t a = xPhase / 16;
    Turn(pState, {ONE, 0, 0}, {0, Cos(a), Sin(a)});
}

void MovingObjects_SpinAboutY(MovingObjectRecord*, MovingObjectState* pState, int32_t xPhase)
{
    const int32_t a = xPhase / 16;
    Turn(pState, {Cos(a), 0, FfNeg(Sin(a))}, {0, ONE, 0});
}

void MovingObjects_Update(int)
{
    for (int i = 0; i < gnNumScriptedObjects; ++i)
    {
        MovingObjectState& s = gaMovingObjects[i];
        MovingObjectRecord& r = s.Record;
        s.Previous = s.Current;
        s.Current = s.Base;
        // An object whose motion is not stepped this tick stays where its motion left it: at
        // its start, or at the target a to-target motion reached.
        const bool boReached = s.nArrived && r.uType == MOVING_TYPE_NONE;
        SetTranslation(&s.Current, boReached ? s.MotionPoint : r.Start);
        if (s.anPeriod[MOVING_SPIN_X] != 0)
            MovingObjects_SpinAboutX(&r, &s,
                                     NextPhase(&s.anCounter[MOVING_SPIN_X], s.anPeriod[MOVING_SPIN_X]));
        if (s.anPeriod[MOVING_SPIN_Y] != 0)
            MovingObjects_SpinAboutY(&r, &s,
                                     NextPhase(&s.anCounter[MOVING_SPIN_Y], s.anPeriod[MOVING_SPIN_Y]));
        if (s.anPeriod[MOVING_SPIN_X2] != 0)
            MovingObjects_SpinAboutX(
                &r, &s, NextPhase(&s.anCounter[MOVING_SPIN_X2], s.anPeriod[MOVING_SPIN_X2]));
        // A motion of no period is never divided by: it is not stepped.
        if (s.anPeriod[MOVING_MOTION] == 0)
            continue;
        const int32_t xPhase = NextPhase(&s.anCounter[MOVING_MOTION], s.anPeriod[MOVING_MOTION]);
        switch (r.uType)
        {
        case MOVING_TYPE_CIRCLE_CW:
            MovingObjects_CircleClockwise(&r, &s, xPhase);
            break;
        case MOVING_TYPE_CIRCLE_ACW:
            MovingObjects_CircleAnticlockwise(&r, &s, xPhase);
            break;
        case MOVING_TYPE_TO_TARGET:
            MovingObjects_MoveToTarget(&r, &s, xPhase);
            break;
        case MOVING_TYPE_PING_PONG:
            MovingObjects_PingPong(&r, &s, xPhase);
            break;
        default:
            break;
        }
    }
}

void MovingObjects_PlaceOnGround(int32_t xFraction)
{
    for (int i = 0; i < gnNumScriptedObjects; ++i)
    {
        MovingObjectState& s = gaMovingObjects[i];
        if (s.pActor == nullptr)
            continue;
        DK_MATRIX m;
        BlendMatrices(&m, &s.Previous, &s.Current, xFraction, xFraction, xFraction, 0);
        if (s.Record.nGround != 0)
        {
            const DK_VECTOR at = Translation(m);
            DK_VECTOR normal = {0, ONE, 0};
            int16_t nSurface = 0;
            m.m[3][1] = FindHeightOnTrack(&at, &normal, &nSurface, &s.nGroundTriangle, at.y);
        }
        s.pActor->Local = m;
        DkMarkActorDirty(s.pActor);
    }
}
