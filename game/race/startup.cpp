#include "game/race/startup.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <deque>

#include "engine/common/dk_actor.h"
#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_image.h"
#include "game/effects/muddycar.h"
#include "game/effects/sun.h"
#include "game/effects/surface.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "game/race/superspecial.h"
#include "game/race/trackcam.h"
#include "game/race/loading.h"
#include "game/race/stageinfo.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/knockedover.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/le_bytes.h"
#include "game/vehicle/points.h"

LoadedCar gaLoadedCar[MAX_LOADED_CARS];

// The defaults before any stage's horizon data.
int32_t gxStageObjectClipDistance = 150 << 16;
int32_t gxStageHorizonDistance = 100 << 16;
int32_t gxLoadedObjectClipDistance = 150 << 16;
int32_t gxLoadedHorizonDistance = 100 << 16;

void Car_SetTyreType(CarBody* pBody, int nChoice)
{
    if (pBody == nullptr)
        return;
    pBody->TyreType =
        nChoice == -1 ? GameData_GetSetupChoice(pBody->nCarNumber, SETUP_TYRES) : nChoice;
}

int32_t gxHorizonHeight = 0;
int32_t gxStageFarClipDistance = 200 << 16;
int32_t gnFirstObjectActor = 0;
int32_t gnLastObjectActor = 0;

namespace
{
// The projection the horizon data sets: 2.0, 2.4, the far clip distance and 1.0.
constexpr int32_t kProjectionScaleX = 2 << 16;
constexpr int32_t kProjectionScaleY = 157286;
constexpr int32_t kProjectionNear = 1 << 16;
// The bits of an object actor's attribute word the objects' set-up leaves.
constexpr uint32_t kObjectAttributeBits = 0x3FF;
// The horizon actor's draw value.
constexpr uint8_t kHorizonDrawValue = 3;

// The file with the last three letters of its name replaced.
void WithExtension(char* pszOut, const char* pszPath, const char* pszLetters)
{
    std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s", pszPath);
    const size_t uLength = std::strlen(pszOut);
    if (uLength >= 3)
        std::memcpy(pszOut + uLength - 3, pszLetters, 3);
}

// Processes a DK3D file under the world actor; the first actor made, or NULL.
DK_ACTOR* LoadC3d(const char* pszPath, int nKind, BOOL boKeyed)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return nullptr;
    DK_ACTOR* pFirst =
        DkProcessC3dObject(pImage, DkGetLastFileSize(), nKind, DkGetWorldActor(), boKeyed, 2);
    DkHeapFree(pImage);
    return pFirst;
}

void StartAnimation(const char* pszName)
{
    DkStartAnimatedTexture(pszName, DK_ANIM_LOOP);
}
} // namespace

BOOL Startup_ReadHorizonData(const uint8_t* pBytes, uint32_t uSize)
{
    if (pBytes == nullptr || uSize < HORIZON_DATA_SIZE)
        return FALSE;
    gxHorizonHeight = LeRead32(pBytes);
    gxStageObjectClipDistance = LeRead32(pBytes + 4);
    gxStageFarClipDistance = LeRead32(pBytes + 8);
    gxStageHorizonDistance = LeRead32(pBytes + 12);
    return TRUE;
}

void Startup_LoadHorizonData(const char* pszPath)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    const BOOL boRead =
        Startup_ReadHorizonData(static_cast<const uint8_t*>(pImage), DkGetLastFileSize());
    if (pImage != nullptr)
        DkHeapFree(pImage);
    if (boRead)
        DkLog("horizon height and clip distance loaded");
    else
    {
        DKREPORT("horizon/clip distance e.t.c. data invalid");
        gxHorizonHeight = HeightData_Report();
    }
    DkSetProjection(kProjectionScaleX, kProjectionScaleY, gxStageFarClipDistance, kProjectionNear);
    gxLoadedObjectClipDistance = gxStageObjectClipDistance;
    gxLoadedHorizonDistance = gxStageHorizonDistance;
    gxObjectClipDistance = gxStageObjectClipDistance;
    gxHorizonDistance = gxStageHorizonDistance;
}

BOOL Startup_LoadTrack(const char* pszPath)
{
    const BOOL boNight = StageInfo_GetLight() == STAGEINFO_LIGHT_NIGHT;
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return FALSE;
    DkProcessC3dObject(pImage, DkGetLastFileSize(), boNight ? DK3D_NIGHT_TRACK : DK3D_TRACK,
                       DkGetWorldActor(), FALSE, 2);
    DkHeapFree(pImage);

    char path[STAGE_PATH_LENGTH];
    WithExtension(path, pszPath, "hpc");
    pImage = DkMallocLoadFile(path, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return FALSE;
    HeightData_Parse(static_cast<const uint8_t*>(pImage), DkGetLastFileSize());
    DkHeapFree(pImage);
    DkLog("\nLOADED TRACK AND HEIGHT DATA\n");

    WithExtension(path, pszPath, "srf");
    pImage = DkMallocLoadFile(path, DKLF_AS_GIVEN);
    Surface_LoadSurvey(static_cast<const uint8_t*>(pImage),
                       pImage != nullptr ? DkGetLastFileSize() : 0);
    if (pImage != nullptr)
        DkHeapFree(pImage);
    DkLog("Determined effects textures to load");

    WithExtension(path, pszPath, "shp");
    Sun_LoadData(path);
    return TRUE;
}

void Startup_LoadWallLines(const char* pszPath)
{
    TrackTrigger* pRecords = Points_LoadTriggerFile(pszPath, DKLF_AS_GIVEN);
    Points_NumberSplitLines(pRecords);
    Points_ClearWallLines(pRecords);
}

void Startup_LoadObjects(const char* pszPath)
{
    if (LoadC3d(pszPath, DK3D_OBJECTS, TRUE) != nullptr)
        DkLog(DkFormatString("Loaded object file: %s", pszPath));
}

void Startup_LoadShadowObjects(const char* pszPath)
{
    if (LoadC3d(pszPath, DK3D_SHADOWS, TRUE) != nullptr)
        DkLog(DkFormatString("Loaded object file: %s", pszPath));
}

void Startup_LoadHorizon(const char* pszPath)
{
    gpHorizonActor = LoadC3d(pszPath, DK3D_HORIZON, TRUE);
    if (gpHorizonActor == nullptr)
        return;
    gpHorizonActor->uAlwaysDraw = kHorizonDrawValue;
    DkLog("Loaded horizon");
}

int Startup_ReadAnimations(const uint8_t* pBytes, uint32_t uSize,
                           void (*pfnStart)(const char* pszName))
{
    int nStarted = 0;
    for (uint32_t uAt = 0; pBytes != nullptr && uSize - uAt >= ANIMATION_RECORD_SIZE;
         uAt += ANIMATION_RECORD_SIZE)
    {
        const char* pszName = reinterpret_cast<const char*>(pBytes + uAt);
        if (std::memchr(pszName, '\0', ANIMATION_RECORD_SIZE) == nullptr)
            continue;
        pfnStart(pszName);
        ++nStarted;
    }
    return nStarted;
}

void Startup_LoadAnimations(const char* pszPath)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return;
    Startup_ReadAnimations(static_cast<const uint8_t*>(pImage), DkGetLastFileSize(),
                           StartAnimation);
    DkHeapFree(pImage);
}

void Startup_CreateBackground(int, int, int)
{
    // No sky: the viewport's own background shows behind the stage.
    gpHorizonActor = nullptr;
}

int Startup_CountCars(void)
{
    const int nResolution = GameData_GetByte(GD_CAR_RESOLUTION);
    const BOOL boTwoPlayers = IsTwoPlayerGame();
    gboMediumDetailCar = (boThisIsPodiumStage || boTwoPlayers || nResolution == 0) ? 1 : 0;
    if (nResolution == 2)
    {
        gboMediumDetailCar = 0;
        DkLog("Forcing no med. res as Car Resolution High");
    }
    else if (nResolution == 0)
        DkLog("Forcing no med. res as Car Resolution Low");
    DkLog(DkFormatString("gboMediumDetailCar : %d", gboMediumDetailCar));
    DkLog(DkFormatString("uCarResolution : %d", nResolution));
    if (gboMediumDetailCar)
    {
        DkLog("Using Medium detail car as :");
        if (boThisIsPodiumStage)
            DkLog("boThisIsPodiumStage is TRUE");
        if (boTwoPlayers)
            DkLog("IsTwoPlayerGame() is TRUE");
        DkLog(DkFormatString("gpGame_Data->Options.Graphics.uCarResolution has value %d",
                             nResolution));
        DkLog(DkFormatString("gpGame_Data->Options.Graphics.uObjectPriority has value %d",
                             GameData_GetByte(GD_OBJECT_PRIORITY)));
    }

    const int nMode = GameData_GetByte(GD_GAME_TYPE) & 3;
    int nToLoad = 0;
    if (DkEntries().IsRallySchool() || gboNetworkGame)
        nToLoad = gnNumMechCars = 1;
    else if (boThisIsPodiumStage)
    {
        nToLoad = 3;
        gnNumMechCars = 1;
    }
    else if (IsSuperSpecialStage() && nMode == 0)
    {
        nToLoad = 3;
        gnNumMechCars = 2;
    }
    else
    {
        if (IsSuperSpecialStage())
            gnNumMechCars = nMode == 2 && !boTwoPlayers ? 1 : 2;
        else
            gnNumMechCars = gNumberOfPlayers;
        nToLoad = gnNumMechCars;
        if (IsAlternatingGame())
            nToLoad *= 2;
    }
    DkLog(DkFormatString("nNumCarsToLoad %d", nToLoad));
    return nToLoad;
}


DK_VECTOR gaType14Positions[MAX_TYPE14_POSITIONS];
int32_t gnNumType14Positions = 0;

namespace
{
// A static object's collision box and its place in its block's list.
struct TrackObjectEntry
{
    TrackObject Object;
    TrackObjectCollision Collision;
    TrackObjectNode Node;
};
std::deque<TrackObjectEntry> gTrackObjectEntries;

// The knockable kinds' weighting factors (16.16): kind 2 is weighted 5.0.
constexpr int32_t kKnockableFactor = 1 << 16;
constexpr int32_t kWeightedFactor = 5 << 16;
// A knockable record may rest on any of its faces the right way up.
constexpr uint8_t kRestOnAnyAxis = 0x07;

int MovableKind(uint32_t uAttribute)
{
    return static_cast<int>(uAttribute >> OBJECT_MOVABLE_SHIFT) & 3;
}

bool IsKnockable(uint32_t uAttribute)
{
    return (uAttribute & OBJECT_SOLID) == 0 && MovableKind(uAttribute) != 0;
}

// A part of a dummy object: it takes its box through the dummy, with the dummy's attribute.
bool IsDummyPart(const DK_ACTOR* pActor)
{
    const DK_ACTOR* pParent = pActor->pParent;
    return pParent != nullptr && pParent != DkGetWorldActor() && pParent->uType == DK_ACTOR_DUMMY;
}

// The actor slots in use when the objects' files began, and the range they were marked for.
std::bitset<MAXACTORS> gaboSlotBefore;
int32_t gnMarkedFirst = -1;
int32_t gnMarkedLast = -1;

// The stage's object actors, each once. An actor fills the first free slot, so within the
// range an actor made before the objects (above a slot freed earlier) is left out.
template <typename Fn> void ForEachObjectActor(Fn fn)
{
    const bool boMarked = gnFirstObjectActor == gnMarkedFirst && gnLastObjectActor == gnMarkedLast;
    const int32_t nLast = std::min<int32_t>(gnLastObjectActor, MAXACTORS);
    for (int32_t i = std::max<int32_t>(gnFirstObjectActor, 0); i < nLast; ++i)
        if (gapActors[i] != nullptr && !(boMarked && gaboSlotBefore[i]))
            fn(gapActors[i]);
}

// The actor's placement in the world: its own, or within a parent other than the world.
DK_MATRIX PlacementOf(const DK_ACTOR* pActor)
{
    const DK_ACTOR* pParent = pActor->pParent;
    if (pParent == nullptr || pParent == DkGetWorldActor())
        return pActor->Local;
    DK_MATRIX world;
    DkMultiplyMatrix(&world, &pActor->Local, &pParent->Local);
    return world;
}

// A placement's axis and its length; a unit axis exactly 1.0 (the square root's table would
// make it a little more).
DK_VECTOR AxisOf(const DK_MATRIX& m, int nRow, int32_t* pxLength)
{
    const DK_VECTOR row = {m.m[nRow][0], m.m[nRow][1], m.m[nRow][2]};
    const int32_t xSquared = FfVecDot(&row, &row);
    *pxLength = xSquared == DK_FIXED_ONE ? DK_FIXED_ONE : FfSqrt(xSquared);
    return row;
}

// The placement's axes made unit length.
void UnitRows(const DK_MATRIX& m, DK_VECTOR aRows[3])
{
    for (int r = 0; r < 3; ++r)
    {
        int32_t xLength;
        const DK_VECTOR row = AxisOf(m, r, &xLength);
        if (xLength == DK_FIXED_ONE)
            aRows[r] = row;
        else
            FfVecNormalise(&aRows[r], &row);
    }
}

// The model's box in its own axes: its centre and its half extents scaled by the placement's
// axes. FALSE for an actor without a model or a model of no extent along some axis.
BOOL ModelBox(const DK_ACTOR* pActor, const DK_MATRIX& placement, DK_VECTOR* pCentre,
              DK_VECTOR* pHalfExtents)
{
    const DK_MODEL* pModel =
        pActor->uType == DK_ACTOR_MODEL ? static_cast<const DK_MODEL*>(pActor->pObject) : nullptr;
    DK_VECTOR low, high;
    if (!DkGetModelBounds(pModel, &low, &high))
        return FALSE;
    const int32_t axMin[3] = {low.x, low.y, low.z};
    const int32_t axMax[3] = {high.x, high.y, high.z};
    int32_t axHalf[3];
    for (int k = 0; k < 3; ++k)
    {
        const int32_t xExtent = axMax[k] - axMin[k];
        if (xExtent == 0)
            return FALSE;
        int32_t xScale;
        AxisOf(placement, k, &xScale);
        axHalf[k] = FfMul(xExtent, xScale) / 2;
    }
    *pHalfExtents = {axHalf[0], axHalf[1], axHalf[2]};
    // The centre in the model's own units (the placement scales it).
    *pCentre = {axMin[0] + (axMax[0] - axMin[0]) / 2, axMin[1] + (axMax[1] - axMin[1]) / 2,
                axMin[2] + (axMax[2] - axMin[2]) / 2};
    return TRUE;
}

// The block of the grid under (x, z), or -1 off the grid or beyond the blocks built.
int TrackBlockUnder(int32_t x, int32_t z)
{
    if (gxTrackCellSize <= 0 || guTrackGridWidth == 0)
        return -1;
    const int64_t nAcross = static_cast<int64_t>(x) - (static_cast<int64_t>(gxTrackMinX) - gxTrackHalfCell);
    const int64_t nDown = (static_cast<int64_t>(gxTrackMaxZ) + gxTrackHalfCell) - z;
    if (nAcross < 0 || nDown < 0)
        return -1;
    const int64_t nColumn = nAcross / gxTrackCellSize;
    const int64_t nRow = nDown / gxTrackCellSize;
    if (nColumn >= guTrackGridWidth || nRow >= guTrackGridRows)
        return -1;
    const int64_t nBlock = nRow * guTrackGridWidth + nColumn;
    return nBlock < std::min<int64_t>(guNumTrackBlocks, COLL_TRACK_BLOCKS) ? static_cast<int>(nBlock)
                                                                          : -1;
}

// A collision box for the modelled actor, filed on its block.
void AddTrackObject(DK_ACTOR* pActor, uint32_t uAttribute, int nIndex)
{
    const DK_MATRIX placement = PlacementOf(pActor);
    DK_VECTOR localCentre;
    DK_VECTOR half;
    if (!ModelBox(pActor, placement, &localCentre, &half))
        return;
    TrackObject object{};
    object.pActor = pActor;
    DkApplyMatrixToVector(&object.Centre, &localCentre, &placement);
    UnitRows(placement, object.aRows);
    object.uKind = ((uAttribute >> OBJECT_MATERIAL_SHIFT) & OBJECT_MATERIAL_MASK) |
                   ((uAttribute & OBJECT_SOLID) == 0 ? TRACK_OBJECT_SOFT : 0);
    object.nNumber = static_cast<uint16_t>(nIndex);
    const int nBlock = TrackBlockUnder(object.Centre.x, object.Centre.z);
    if (nBlock < 0)
    {
        DKREPORT(DkFormatString("Track object %d lies off the track's grid: no collisions", nIndex));
        return;
    }
    gTrackObjectEntries.push_back({});
    TrackObjectEntry& entry = gTrackObjectEntries.back();
    entry.Object = object;
    DK_VECTOR corners[8];
    TransformPoint(corners, &entry.Object.Centre, entry.Object.aRows, &half);
    InitTrackObjectBox(entry.Object.aRows, corners, &entry.Collision, &entry.Object.Centre);
    entry.Node = {&entry.Object, &entry.Collision, gapTrackObjects[nBlock]};
    gapTrackObjects[nBlock] = &entry.Node;
}

BOOL TrackObjectsDestructor(void)
{
    Coll_ClearAll();
    gTrackObjectEntries.clear();
    gnNumMovingObjects = 0;
    gnNumType14Positions = 0;
    return TRUE;
}
} // namespace

void Startup_BeginObjectActors(void)
{
    int32_t nFirstFree = MAXACTORS;
    for (int32_t i = MAXACTORS - 1; i >= 0; --i)
    {
        gaboSlotBefore[i] = gapActors[i] != nullptr;
        if (gapActors[i] == nullptr)
            nFirstFree = i;
    }
    gnFirstObjectActor = gnMarkedFirst = nFirstFree;
    gnLastObjectActor = gnMarkedLast = nFirstFree;
}

void Startup_EndObjectActors(void)
{
    int32_t nLast = gnFirstObjectActor;
    for (int32_t i = std::max<int32_t>(gnFirstObjectActor, 0); i < MAXACTORS; ++i)
        if (gapActors[i] != nullptr && !gaboSlotBefore[i])
            nLast = i + 1;
    gnLastObjectActor = gnMarkedLast = nLast;
    gnMarkedFirst = gnFirstObjectActor;
}

void InitialiseTrackObjects(void)
{
    DkLog("InitialiseTrackObjects - start");
    Coll_ClearAll();
    gTrackObjectEntries.clear();
    gnNumType14Positions = 0;
    BOOL boPositionsFull = FALSE;
    int nIndex = 0;
    ForEachObjectActor(
        [&](DK_ACTOR* pActor)
        {
            const uint32_t uAttribute = pActor->uId;
            const int nThis = nIndex++;
            if (IsKnockable(uAttribute) || IsDummyPart(pActor))
                return;
            if ((uAttribute & OBJECT_TYPE_MASK) == OBJECT_TYPE_POSITION_MARK)
            {
                if (gnNumType14Positions < MAX_TYPE14_POSITIONS)
                {
                    const DK_MATRIX placement = PlacementOf(pActor);
                    gaType14Positions[gnNumType14Positions++] = {
                        placement.m[3][0], placement.m[3][1], placement.m[3][2]};
                }
                else if (!boPositionsFull)
                {
                    boPositionsFull = TRUE;
                    DKREPORT(DkFormatString("More than %d objects of type %d: the rest unrecorded",
                                            MAX_TYPE14_POSITIONS, OBJECT_TYPE_POSITION_MARK));
                }
            }
            if (pActor->uType == DK_ACTOR_DUMMY)
            {
                for (DK_ACTOR* pChild = pActor->pChild; pChild != nullptr; pChild = pChild->pNext)
                    AddTrackObject(pChild, uAttribute, nThis);
            }
            else
                AddTrackObject(pActor, uAttribute, nThis);
        });
    // Registered once a stage: the heaps' reset of the stage before took it off the registry.
    if (!DkIsDestructorAdded(TrackObjectsDestructor))
        DkAddDestructor(TrackObjectsDestructor, "TrackObjectsDestructor");
    DkLog("InitialiseTrackObjects - end");
}

int Startup_GetNumTrackObjects(void)
{
    return static_cast<int>(gTrackObjectEntries.size());
}

void Startup_InitMovingObjects(void)
{
    const BOOL boTurned = GameData_IsOptionSet(OPTION_REVERSE_DIRECTION) &&
                          !DkEntries().IsRallySchool() && !IsSuperSpecialStage();
    int nCount = 0;
    BOOL boFull = FALSE;
    ForEachObjectActor(
        [&](DK_ACTOR* pActor)
        {
            const uint32_t uAttribute = pActor->uId;
            if (!IsKnockable(uAttribute))
                return;
            if (nCount >= HIT_OBJECT_RECORDS)
            {
                if (!boFull)
                    DKREPORT(DkFormatString("More than %d movable objects: the rest stay fixed",
                                            HIT_OBJECT_RECORDS));
                boFull = TRUE;
                return;
            }
            DK_VECTOR localCentre;
            DK_VECTOR half;
            if (!ModelBox(pActor, PlacementOf(pActor), &localCentre, &half))
                return;
            if (boTurned)
            {
                // Half a turn (2048) about the object's own up axis: its x and z axes reversed.
                for (int r = 0; r < 3; r += 2)
                    for (int c = 0; c < 3; ++c)
                    {
                        pActor->Local.m[r][c] = -pActor->Local.m[r][c];
                        pActor->Base.m[r][c] = -pActor->Base.m[r][c];
                    }
                DkMarkActorDirty(pActor);
            }
            const DK_MATRIX placement = PlacementOf(pActor);
            HitObject o{};
            o.pActor = pActor;
            DkApplyMatrixToVector(&o.Position, &localCentre, &placement);
            o.Translation = {placement.m[3][0], placement.m[3][1], placement.m[3][2]};
            o.HalfExtents = half;
            UnitRows(placement, o.aRows);
            const int32_t xFactor =
                MovableKind(uAttribute) == 2 ? kWeightedFactor : kKnockableFactor;
            o.auInverseInertia[0] = o.auInverseInertia[1] = o.auInverseInertia[2] =
                static_cast<uint32_t>(xFactor);
            o.xRadius = FfVecLength(&half);
            o.uKind = static_cast<uint16_t>(((uAttribute >> OBJECT_MATERIAL_SHIFT) & HIT_KIND_MASK) |
                                            nCount << 5);
            o.nGroundTriangle = -1;
            o.uBlock = static_cast<uint16_t>(DkGetTrackBlockIndex(o.Position.x, 0, o.Position.z));
            o.uFlags = static_cast<uint8_t>(uAttribute >> OBJECT_FLAGS_SHIFT);
            // A record starts at rest or in one of the states the step knows.
            if (((o.uFlags & HIT_STATE_MASK) >> HIT_STATE_SHIFT) > HIT_STATE_MOVING_UNLISTED)
                o.uFlags &= static_cast<uint8_t>(~HIT_STATE_MASK);
            o.uRestFlags = kRestOnAnyAxis;
            for (int nSet = 0; nSet < HIT_OBJECT_SETS; ++nSet)
                gaHitObjects[nSet][nCount] = o;
            ++nCount;
        });
    gnNumMovingObjects = nCount;
    for (int nSet = 0; nSet < HIT_OBJECT_SETS; ++nSet)
    {
        gaNumMovingInList[nSet] = 0;
        MovingObjects_Reset(nSet);
    }
    DkLog(DkFormatString("\nNumber of loaded moving objects: %d", nCount));
}

void Startup_CleanObjectFlags(void)
{
    ForEachObjectActor([](DK_ACTOR* pActor) { pActor->uId &= kObjectAttributeBits; });
}

BOOL gboDoInterior = TRUE;

namespace
{
// The attribute the reflection model's actor takes.
constexpr uint32_t kReflectionAttribute = 111;
// The super special stage's computer car.
constexpr int kComputerCar = 2;
// A car kept out of sight: its draw value and height.
constexpr uint8_t kHiddenCarDrawValue = 255;
constexpr int32_t kHiddenCarHeight = -100 << 16;
// The wheel whose model's radius gives the car's wheel radius: the first of the four (ids 1 to
// 4). The car files number their damageable parts from 6, so a part is never taken for a wheel.
constexpr uint32_t kWheelRadiusActor = 1;
// The car lights' radius at night and in the dark.
constexpr int32_t kCarLightRadius = 22 << 16;
// The hardware type of the palettised display, where the cars are not muddied.
constexpr int kPalettisedHardware = 6;

// Both actors of loaded car nCar at its start position.
void PlaceAtStart(int nCar)
{
    DK_VECTOR at;
    int16_t anAngles[3];
    TrackCam_GetStartPosition(nCar, &at, anAngles);
    for (DK_ACTOR* pActor : {gaLoadedCar[nCar].paBodyDummy, gaLoadedCar[nCar].paCar})
        if (pActor != nullptr)
            DkSetActor(pActor, &at, anAngles);
}

// The reflection map as the last level's texture of the shell's models and its subtree's.
void SetReflectionMap(DK_ACTOR* pActor, const DK_TEXTURE* pMap)
{
    DK_MODEL* pModel =
        pActor->uType == DK_ACTOR_MODEL ? static_cast<DK_MODEL*>(pActor->pObject) : nullptr;
    if (pModel != nullptr && pModel->uNumLevels > 0)
        for (DK_MODEL_NODE* pNode = pModel->aLevels[pModel->uNumLevels - 1].pFirstNode;
             pNode != nullptr; pNode = pNode->pNext)
            pNode->nTexture = pMap->uSlot;
    for (DK_ACTOR* pChild = pActor->pChild; pChild != nullptr; pChild = pChild->pNext)
        SetReflectionMap(pChild, pMap);
}

// The reflection's map from the hard disk as a texture; NULL when missing or bad.
DK_TEXTURE* LoadReflectionMap(const char* pszPath)
{
    // A texture lives on the display's device: without one the shell keeps its own colour.
    if (d3d == nullptr || d3d->lpD3DDevice2 == nullptr)
        return nullptr;
    void* pImage = DkMallocLoadFile(pszPath, DKLF_HARDDRIVE);
    if (pImage == nullptr)
        return nullptr;
    DK_TEXTURE* pMap = DkImageToTexture(pImage, DkGetLastFileSize(), ITT_BMP);
    DkHeapFree(pImage);
    return pMap;
}

BOOL CarDataDestructor(void)
{
    Startup_FreeCarData();
    return TRUE;
}

bool IsNight(void)
{
    return StageInfo_GetLight() == STAGEINFO_LIGHT_NIGHT;
}

bool IsAlternatingSuperSpecial(void)
{
    return IsAlternatingGame() && IsSuperSpecialStage();
}
} // namespace

DK_ACTOR* Startup_LoadCarFile(const char* pszPath, int nKind, DK_ACTOR* pParent)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_HARDDRIVE);
    if (pImage == nullptr)
        return nullptr;
    const uint32_t uOptions = IsNight() ? 2 : DK3D_OPT_CAR_LIGHT;
    DK_ACTOR* pFirst =
        DkProcessC3dObject(pImage, DkGetLastFileSize(), nKind, pParent, FALSE, uOptions);
    DkHeapFree(pImage);
    return pFirst;
}

void Startup_GetCarFilePaths(int nCar, CarFilePaths* pOut)
{
    char szFolder[STAGE_PATH_LENGTH];
    char szStem[STAGE_PATH_LENGTH];
    BuildCarObjectPath(nCar, szFolder, szStem);
    const bool boNight = IsNight();
    // The stem ends in "DAY": the night model's ends in "NIGHT", the night's medium-detail
    // model is the day's.
    const size_t uCode = std::strlen(szStem) - 3;
    if (gboMediumDetailCar)
        std::snprintf(szStem + uCode, sizeof szStem - uCode, "%s", boNight ? "daymed" : "DAYmed");
    else if (boNight)
        std::snprintf(szStem + uCode, sizeof szStem - uCode, "%s", "NIGHT");
    std::snprintf(pOut->szModel, sizeof pOut->szModel, "%s\\%s.C3D", szFolder, szStem);
    pOut->szReflection[0] = pOut->szReflectionMap[0] = '\0';
    if (!boNight && !gboMediumDetailCar && !IsAlternatingSuperSpecial())
    {
        std::snprintf(pOut->szReflection, sizeof pOut->szReflection, "%s\\%sref.c3d", szFolder,
                      szStem);
        std::snprintf(pOut->szReflectionMap, sizeof pOut->szReflectionMap, "%s\\ref_map.bmp",
                      szFolder);
    }
}

BOOL InitialiseCarMechanicsData(DK_ACTOR* paCar, DK_ACTOR* paBodyDummy, int nCar, int nCarType,
                                const int16_t* panAngles, const DK_VECTOR* pPosition)
{
    DkLog(DkFormatString("*** InitialiseCarMechanicsData Called for : paCar %d  paBodyDummy %d  "
                         "nCarNumber %d  nCarType %d",
                         paCar != nullptr ? 1 : 0, paBodyDummy != nullptr ? 1 : 0, nCar, nCarType));
    if (paCar == nullptr || paBodyDummy == nullptr || nCar < 0 || nCar >= MAX_CARS)
    {
        DKREPORT(DkFormatString("InitialiseCarMechanicsData() : car %d has no model", nCar));
        return FALSE;
    }
    DkSetActor(paCar, pPosition, panAngles);
    DkSetActor(paBodyDummy, pPosition, panAngles);
    if (!InitialiseCar(&gaCarBody[nCar], &gaCarMechanics[nCar], paBodyDummy, nCarType, pPosition,
                       nCar))
        return FALSE;
    // A frame drawn before the first tick shows the body object at the start.
    FfMatCopyTo(&gaSnapCarMatrix[nCar][SNAP_PREVIOUS], &paCar->Local);
    FfMatCopyTo(&gaSnapCarMatrix[nCar][SNAP_CURRENT], &paCar->Local);
    if (!gboMediumDetailCar)
        InitialiseMuddyCar(nCarType, nCar);
    return TRUE;
}

int32_t Startup_GetHalfWheelRadius(const DK_ACTOR* pBody)
{
    const DK_ACTOR* pWheel =
        pBody != nullptr ? DkFindActorById(pBody->pChild, kWheelRadiusActor) : nullptr;
    if (pWheel == nullptr || pWheel->pObject == nullptr)
        return 0;
    const DK_MODEL* pModel = static_cast<const DK_MODEL*>(pWheel->pObject);
    const int32_t xHalf = FfMul(pModel->xRadius, pWheel->Scale.x) / 2;
    return GameData_IsOptionSet(OPTION_HALF_SIZE) ? xHalf / 2 : xHalf;
}

int LoadSingleCar(int nCar)
{
    DkLog(DkFormatString("LoadSingleCar (int nCarNumber %d)", nCar));
    if (nCar < 0 || nCar >= MAX_LOADED_CARS)
    {
        DKREPORT(DkFormatString("LoadSingleCar() : no room for car %d", nCar));
        return 0;
    }
    const bool boSchool = DkEntries().IsRallySchool() != FALSE;
    CarFilePaths paths;
    Startup_GetCarFilePaths(nCar, &paths);
    char szFolder[STAGE_PATH_LENGTH];
    char szStem[STAGE_PATH_LENGTH];
    const int nCarType = BuildCarObjectPath(nCar, szFolder, szStem);

    DK_ACTOR* pRoot = DkCreateActor(DkGetWorldActor());
    if (pRoot == nullptr)
        return 0;
    const bool boAlwaysDrawn =
        !boSchool && (IsSuperSpecialStage() || IsSplitScreenCollisionGame() || boThisIsPodiumStage);
    DK_ACTOR* pBody =
        Startup_LoadCarFile(paths.szModel, boAlwaysDrawn ? DK3D_CAR : DK3D_MEDIUM_CAR, pRoot);
    if (pBody == nullptr)
    {
        DKREPORT(DkFormatString("The car file %s is missing or holds no car", paths.szModel));
        return 0;
    }
    if (boAlwaysDrawn)
        pBody->uAlwaysDraw = kHiddenCarDrawValue;

    LoadedCar& loaded = gaLoadedCar[nCar];
    loaded.nCarType = static_cast<int8_t>(nCarType);
    loaded.paBodyDummy = pRoot;
    loaded.paCar = pBody;
    loaded.xHalfWheelRadius = Startup_GetHalfWheelRadius(pBody);

    DK_VECTOR start;
    int16_t anAngles[3];
    TrackCam_GetStartPosition(IsSuperSpecialStage() ? nCar : 0, &start, anAngles);
    if (nCar < MAX_CARS &&
        !InitialiseCarMechanicsData(pBody, pRoot, nCar, nCarType, anAngles, &start))
        return 0;

    if (paths.szReflection[0] == '\0')
        return 1;
    if (IsAlternatingGame() && nCar >= gnNumMechCars && !gboDoInterior)
    {
        DkLog("Not doing ref. map yet as 2 Player Alt and gboDoInterior is false");
        return 1;
    }
    // The reflection is a finish: a car without one still drives.
    DK_ACTOR* pShell = pBody->pChild == nullptr
                           ? nullptr
                           : Startup_LoadCarFile(paths.szReflection, DK3D_CAR, pBody->pChild);
    if (pShell == nullptr)
    {
        DKREPORT(DkFormatString("The car's reflection %s is missing", paths.szReflection));
        return 1;
    }
    pShell->uId = kReflectionAttribute;
    gaCarBody[nCar].paReflection = pShell;
    // Without its map (the file layer reports a missing one) the shell keeps its own texture.
    DK_TEXTURE* pMap = LoadReflectionMap(paths.szReflectionMap);
    if (pMap != nullptr)
        SetReflectionMap(pShell, pMap);
    return 1;
}

int Startup_LoadCars(int nMask)
{
    const bool boSchool = DkEntries().IsRallySchool() != FALSE;
    int nToLoad = Startup_CountCars();
    if (nToLoad > MAX_LOADED_CARS)
    {
        DKREPORT(DkFormatString("Only %d of the %d cars can be loaded", MAX_LOADED_CARS, nToLoad));
        nToLoad = MAX_LOADED_CARS;
    }
    gboDoInterior = IsSuperSpecialStage() && !boSchool ? FALSE : TRUE;
    DkAddDestructor(CarDataDestructor, "Car Data Destructor");
    for (int n = 0; n < nToLoad; ++n)
    {
        if (!LoadSingleCar(n))
            return 0;
        Loading_Step();
    }

    const int nMode = GameData_GetByte(GD_GAME_TYPE) & 3;
    if (boThisIsPodiumStage)
    {
        for (int n = 0; n < nToLoad; ++n)
            PlaceAtStart(n);
    }
    else if (IsAlternatingSuperSpecial() && nMode != 2)
    {
        // Both players' cars stand on their lanes, always drawn.
        for (int n = 0; n < nToLoad; ++n)
        {
            gaLoadedCar[n].paBodyDummy->uAlwaysDraw = kHiddenCarDrawValue;
            gaLoadedCar[n].paCar->uAlwaysDraw = kHiddenCarDrawValue;
            PlaceAtStart(n);
        }
    }
    else if (IsAlternatingGame())
    {
        // The second player's cars wait out of sight.
        for (int n = gnNumMechCars; n < nToLoad; ++n)
            for (DK_ACTOR* pActor : {gaLoadedCar[n].paBodyDummy, gaLoadedCar[n].paCar})
            {
                pActor->uAlwaysDraw = kHiddenCarDrawValue;
                DK_VECTOR at;
                FfMatGetPosition(&at, &pActor->Local);
                at.y = kHiddenCarHeight;
                DkSetActorPosition(pActor, &at);
            }
    }

    if (!IsAlternatingSuperSpecial())
    {
        if (boThisIsPodiumStage)
        {
            DkLog("*** PODIUM STAGE, RESET CAR DAMAGE COMPLETELY!\n");
            InitialiseDamage();
        }
        else
            InitialiseDamageStage();
    }

    // The computer's car on the super special stage is drawn as any other.
    if (nMode == 0 && IsSuperSpecialStage() && !boSchool && nToLoad > kComputerCar)
        gaLoadedCar[kComputerCar].paBodyDummy->uAlwaysDraw =
            gaLoadedCar[kComputerCar].paCar->uAlwaysDraw = 0;

    if (IsNight() || GameData_IsOptionSet(OPTION_DARK_STAGE))
        for (int n = 0; n < gnNumMechCars && n < nToLoad; ++n)
            DkCreateCarLight(gaLoadedCar[n].paCar, kCarLightRadius, n);

    DkLog(DkFormatString("gnNumMechCars %d", gnNumMechCars));
    if (gboDoInterior)
    {
        const BOOL boDetail =
            DkGetUse3DBitmaps() && DkGetHardwareType() != kPalettisedHardware && !gboMediumDetailCar;
        for (int nJ = 0; nJ < gnNumMechCars && nJ < MUDDY_CARS; ++nJ)
        {
            if (gboMuddyCarInitialised[nJ])
                continue;
            DkLog(DkFormatString("nJ : %d  nMuddyCars : %d  gboMuddyCarInitialised[nJ] : %d", nJ,
                                 gnNumMechCars, gboMuddyCarInitialised[nJ]));
            if (boDetail)
            {
                DkLog(DkFormatString("About to Detail Node in Startup.cpp for Player : %d", nJ));
                MuddyCar_InitDetailNode(nJ);
            }
            gboMuddyCarInitialised[nJ] = TRUE;
        }
    }
    DkLog(DkFormatString("Cars loaded (mask %d)", nMask));
    return 1;
}

void Startup_FreeCarData(void)
{
    // The models go with the heaps: no record may point at them afterwards.
    for (LoadedCar& car : gaLoadedCar)
        car = LoadedCar{};
}
