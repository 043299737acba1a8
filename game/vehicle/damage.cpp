#include "game/vehicle/damage.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_line.h"
#include "engine/pc/display/dk_font.h"
#include "engine/pc/input/dk_input.h"
#include "game/effects/lights.h"
#include "game/effects/surfaces.h"
#include "game/hud/schoolspeech.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/stageinfo.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/le_bytes.h"

DamageRecord gaDamage[MAX_DAMAGE_RECORDS];
DamageWobble gaDamageWobble[MAX_DAMAGE_RECORDS];

static_assert(std::size(gaauMediumSmashRoles) == NUM_CAR_TYPES, "a row a car type");

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t kLeastImpact = 9764;   // 0.149
constexpr int32_t kImpactSpan = 68419;   // 1.044
constexpr int32_t kCornerShare = 19660;  // 0.3 of a side's weight to each corner value
constexpr int32_t kEngineShare = 39321;  // 0.6
constexpr int32_t kPullFrom = 26214;     // 0.4: the mean corner damage the pull starts at
constexpr int32_t kPullRise = 109248;    // 1.667
constexpr int32_t kPullAngle = 68;       // angle units at full pull
constexpr int32_t kSteeringLoss = 39321; // 0.6
constexpr int32_t kGripLoss = 13107;     // 0.2
constexpr int32_t kDragShare = 3276;     // 0.05
constexpr int32_t kEngineLoss = 13107;   // 0.2
constexpr int32_t kEngineScale = 192675; // 2.94
constexpr int32_t kGearboxLoss = 3276;   // 0.05
constexpr int32_t kShadeDepth = 20 * ONE;
constexpr int32_t kShadeDarkest = 64880; // 0.99
constexpr int32_t kWobbleVertical = 13107;
constexpr int32_t kWobbleSpring = 13107;
constexpr int32_t kWobbleStep = 786;   // 0.012
constexpr int32_t kWobbleDecay = 1310; // 0.02
constexpr int32_t kWobbleRipple = 3276;
constexpr int32_t kDegreesToAngle = 5760; // a 16.16 angle in degrees over this is 4096 a turn
constexpr int32_t kWobbleLowest = -32768; // -0.5: the height the body's sway starts at
constexpr int32_t kAxesAgree = 61603;     // 0.94
constexpr int32_t kWaterSpeed = ONE;
constexpr int32_t kDryingStep = 32;
constexpr int32_t kQuickDryingStep = 327;
constexpr int32_t kDry = 65534;      // 0.99998
constexpr int32_t kShellGap = 19660; // 0.3
constexpr int kNight = 8;
constexpr int kNoTexture = -1;

// The player record's fields the damage keeps.
constexpr int kRepairGroups = 5;
constexpr int kRepairField = 110; // three bytes a group: time, condition, condition at service
constexpr int kPercentField = 125;
constexpr int kGroupValue[kRepairGroups] = {4, 5, 6, 7, 8};
constexpr int kGroupScale[kRepairGroups] = {30, 45, 30, 60, 60};
constexpr int kGameModeByte = 358;

// The engine constant the engine factor is reckoned from: the full throttle, 1.0.
constexpr int32_t kEngineConstant = ONE;

// The super special stage's shell: the first nodes of its rest and live levels.
DK_ACTOR* gpShellActor = nullptr;
DK_MODEL_NODE* gpShellRest = nullptr;
DK_MODEL_NODE* gpShellLive = nullptr;

int gnDebugPart = 0;
BOOL gboDebugBack = FALSE;
BOOL gboDebugOn = FALSE;

bool ValidCar(int nCar)
{
    return nCar >= 0 && nCar < MAX_DAMAGE_RECORDS;
}

int32_t ToFixed(float f)
{
    const double d = static_cast<double>(f) * 65536.0;
    if (!(d > -2147483648.0))
        return INT32_MIN;
    if (!(d < 2147483647.0))
        return INT32_MAX;
    return static_cast<int32_t>(d);
}

float ToFloat(int32_t x)
{
    return static_cast<float>(x / 65536.0);
}

DK_VECTOR PositionOf(const DK_VERTEX& v)
{
    return {ToFixed(v.x), ToFixed(v.y), ToFixed(v.z)};
}

void SetPosition(DK_VERTEX& v, const DK_VECTOR& p)
{
    v.x = ToFloat(p.x);
    v.y = ToFloat(p.y);
    v.z = ToFloat(p.z);
}

DK_VECTOR NormalOf(const float* pf)
{
    return {ToFixed(pf[0]), ToFixed(pf[1]), ToFixed(pf[2])};
}

void SetNormal(float* pf, const DK_VECTOR& n)
{
    pf[0] = ToFloat(n.x);
    pf[1] = ToFloat(n.y);
    pf[2] = ToFloat(n.z);
}

int32_t& Axis(DK_VECTOR& v, int a)
{
    return a == 0 ? v.x : a == 1 ? v.y : v.z;
}

int32_t AxisOf(const DK_VECTOR& v, int a)
{
    return a == 0 ? v.x : a == 1 ? v.y : v.z;
}

int32_t Abs(int32_t v)
{
    return v < 0 ? FfNeg(v) : v;
}

// A vector's length, exact to the last bit (the square root of the raw squares' sum, in 64
// bits), so that a speed compares with its threshold to the raw unit.
int32_t Length(const DK_VECTOR& v)
{
    const auto square = [](int32_t c)
    { return static_cast<uint64_t>(static_cast<int64_t>(c) * c); };
    const uint64_t uSum = square(v.x) + square(v.y) + square(v.z);
    uint64_t uRoot = 0;
    for (uint64_t uBit = uint64_t{1} << 31; uBit != 0; uBit >>= 1)
        if ((uRoot + uBit) * (uRoot + uBit) <= uSum)
            uRoot += uBit;
    return uRoot > INT32_MAX ? INT32_MAX : static_cast<int32_t>(uRoot);
}

// One vertex of a part in its three chains, and its index within the part.
struct PartVertex
{
    DK_VERTEX& rest;
    DK_VERTEX& damaged;
    DK_VERTEX& live;
    float* pfRestNormal;
    float* pfDamagedNormal;
    float* pfLiveNormal;
    int nIndex;
};

bool HasPart(const DamageRecord& d, int p)
{
    return d.apRest[p] != nullptr && d.apDamaged[p] != nullptr && d.apLive[p] != nullptr;
}

// Calls fn for every vertex of part p, the three chains in step (the build made sure they are).
template <typename Fn> void ForEachVertex(const DamageRecord& d, int p, Fn&& fn)
{
    int nIndex = 0;
    for (DamageVertexList *r = d.apRest[p], *m = d.apDamaged[p], *l = d.apLive[p];
         r != nullptr && m != nullptr && l != nullptr; r = r->pNext, m = m->pNext, l = l->pNext)
        for (int i = 0; i < l->nCount; ++i, ++nIndex)
            fn(PartVertex{r->pVertices[i], m->pVertices[i], l->pVertices[i], &r->pfNormals[3 * i],
                          &m->pfNormals[3 * i], &l->pfNormals[3 * i], nIndex});
}

int PartVertexCount(const DamageRecord& d, int p)
{
    int nCount = 0;
    for (const DamageVertexList* l = d.apLive[p]; l != nullptr; l = l->pNext)
        nCount += l->nCount;
    return nCount;
}

// Whether vertex v of part p lives in the main body's table, which holds the first 100.
bool InMainTable(const DamageRecord& d, int p, const PartVertex& v)
{
    return p == d.nMainBodyPart && v.nIndex < DAMAGE_MAIN_BODY_VERTICES;
}

// Where a vertex stands now: the main body's table entry, else its live position.
DK_VECTOR CurrentPosition(const DamageRecord& d, int p, const PartVertex& v)
{
    return InMainTable(d, p, v) ? d.MainBodyRest[v.nIndex] : PositionOf(v.live);
}

void PutPosition(DamageRecord& d, int p, const PartVertex& v, const DK_VECTOR& at)
{
    if (InMainTable(d, p, v))
        d.MainBodyRest[v.nIndex] = at;
    else
        SetPosition(v.live, at);
}

// The main body's vertices past the table take no part in its moves.
bool Takes(const DamageRecord& d, int p, const PartVertex& v)
{
    return p != d.nMainBodyPart || v.nIndex < DAMAGE_MAIN_BODY_VERTICES;
}

int32_t RoleWeight(const DamageRecord& d, int nRole)
{
    return d.xImpactWeight[d.auRole[nRole] % DAMAGE_PARTS];
}

int32_t AtMostOne(int32_t v)
{
    return v > ONE ? ONE : v;
}

// --- Building the records

DK_MODEL* PartModel(const DK_ACTOR* pActor)
{
    return pActor->uType == DK_ACTOR_MODEL ? static_cast<DK_MODEL*>(pActor->pObject) : nullptr;
}

// Whether the model's live, damaged and rest levels run in step: as many nodes, each with the
// same vertex count (one a 16-bit count can hold) and its arrays.
bool LevelsInStep(const DK_MODEL* pModel, const char** ppszWhy)
{
    const DK_MODEL_NODE* l = pModel->aLevels[DAMAGE_LIVE_LEVEL].pFirstNode;
    const DK_MODEL_NODE* m = pModel->aLevels[DAMAGE_DAMAGED_LEVEL].pFirstNode;
    const DK_MODEL_NODE* r = pModel->aLevels[DAMAGE_REST_LEVEL].pFirstNode;
    if (l == nullptr || m == nullptr || r == nullptr)
    {
        *ppszWhy = "lacks a shape";
        return false;
    }
    for (; l != nullptr || m != nullptr || r != nullptr; l = l->pNext, m = m->pNext, r = r->pNext)
    {
        if (l == nullptr || m == nullptr || r == nullptr)
        {
            *ppszWhy = "has shapes of unequal node counts";
            return false;
        }
        const int32_t n = l->nNumVertices;
        if (m->nNumVertices != n || r->nNumVertices != n)
        {
            *ppszWhy = "has shapes of unequal vertex counts";
            return false;
        }
        if (n < 0 || n > 0xFFFF ||
            (n > 0 &&
             (l->pVertices == nullptr || m->pVertices == nullptr || r->pVertices == nullptr ||
              l->pfPositions == nullptr || m->pfPositions == nullptr || r->pfPositions == nullptr)))
        {
            *ppszWhy = "has a node without its vertices";
            return false;
        }
    }
    return true;
}

// The record's copy of a level's chain, its nodes pushed at the head; NULL when the heap ran
// out (reported there). With boOwnArrays (the live chain) each node takes copies of the model's
// vertices and normals and shows them in the model's arrays.
DamageVertexList* CopyChain(const DK_MODEL_NODE* pFirst, bool boOwnArrays)
{
    DamageVertexList* pHead = nullptr;
    for (const DK_MODEL_NODE* n = pFirst; n != nullptr; n = n->pNext)
    {
        auto* pNode = static_cast<DamageVertexList*>(DkHeapAlloc(sizeof(DamageVertexList)));
        if (pNode == nullptr)
            return nullptr;
        pNode->nCount = static_cast<uint16_t>(n->nNumVertices);
        pNode->pVertices = n->pVertices;
        pNode->pfNormals = n->pfPositions;
        pNode->pShownVertices = nullptr;
        pNode->pfShownNormals = nullptr;
        if (boOwnArrays && pNode->nCount > 0)
        {
            const size_t uVertexBytes = sizeof(DK_VERTEX) * pNode->nCount;
            const size_t uNormalBytes = 3 * sizeof(float) * pNode->nCount;
            auto* pVertices = static_cast<DK_VERTEX*>(DkHeapAlloc(uVertexBytes));
            auto* pfNormals = static_cast<float*>(DkHeapAlloc(uNormalBytes));
            if (pVertices == nullptr || pfNormals == nullptr)
                return nullptr;
            std::memcpy(pVertices, n->pVertices, uVertexBytes);
            std::memcpy(pfNormals, n->pfPositions, uNormalBytes);
            pNode->pShownVertices = n->pVertices;
            pNode->pfShownNormals = n->pfPositions;
            pNode->pVertices = pVertices;
            pNode->pfNormals = pfNormals;
        }
        pNode->pNext = pHead;
        pHead = pNode;
    }
    return pHead;
}

// The texture words: the three levels walked in step while the rest and live levels draw the
// same texture; the last such step's words are kept.
void TakeTextureSlots(DamageRecord& d, int p, DK_MODEL* pModel)
{
    DK_MODEL_NODE* l = pModel->aLevels[DAMAGE_LIVE_LEVEL].pFirstNode;
    DK_MODEL_NODE* m = pModel->aLevels[DAMAGE_DAMAGED_LEVEL].pFirstNode;
    DK_MODEL_NODE* r = pModel->aLevels[DAMAGE_REST_LEVEL].pFirstNode;
    for (; l != nullptr && m != nullptr && r != nullptr && r->nTexture == l->nTexture;
         l = l->pNext, m = m->pNext, r = r->pNext)
    {
        d.apUndamagedTexture[p] = &r->nTexture;
        d.apDamagedTexture[p] = &m->nTexture;
        d.apLiveTexture[p] = &l->nTexture;
    }
    // The drawn word is shown from a word of the record's own, like the live shapes.
    if (d.apLiveTexture[p] != nullptr)
    {
        auto* pnOwn = static_cast<int32_t*>(DkHeapAlloc(sizeof(int32_t)));
        if (pnOwn == nullptr)
        {
            d.apUndamagedTexture[p] = d.apDamagedTexture[p] = d.apLiveTexture[p] = nullptr;
            return;
        }
        *pnOwn = *d.apLiveTexture[p];
        d.apShownTexture[p] = d.apLiveTexture[p];
        d.apLiveTexture[p] = pnOwn;
    }
}

void ForgetPart(DamageRecord& d, int p)
{
    d.apRest[p] = d.apDamaged[p] = d.apLive[p] = nullptr;
    d.apUndamagedTexture[p] = d.apDamagedTexture[p] = d.apLiveTexture[p] = nullptr;
    d.apShownTexture[p] = nullptr;
}

// The part's box from its live vertices.
void MeasurePart(DamageRecord& d, int p)
{
    DK_VECTOR lo = {100 * ONE, 100 * ONE, 100 * ONE};
    DK_VECTOR hi = {-100 * ONE, -100 * ONE, -100 * ONE};
    ForEachVertex(d, p,
                  [&](const PartVertex& v)
                  {
                      DK_VECTOR at = PositionOf(v.live);
                      for (int a = 0; a < 3; ++a)
                      {
                          Axis(lo, a) = std::min(Axis(lo, a), Axis(at, a));
                          Axis(hi, a) = std::max(Axis(hi, a), Axis(at, a));
                      }
                  });
    DK_VECTOR& centre = d.PartCentre[p];
    DK_VECTOR& half = d.PartHalfSize[p];
    for (int a = 0; a < 3; ++a)
    {
        Axis(centre, a) =
            static_cast<int32_t>((static_cast<int64_t>(Axis(lo, a)) + Axis(hi, a)) / 2);
        Axis(half, a) = FfSub(Axis(hi, a), Axis(centre, a));
    }
}

// One actor of the body's list taken as a part, or refused with a report.
void TakePart(DamageRecord& d, int nCar, const DK_ACTOR* pActor)
{
    const int nAttribute = static_cast<int>(pActor->uId & DK_ACTOR_ID_MASK);
    const bool boMain = nAttribute == DAMAGE_MAIN_BODY_ATTRIBUTE;
    int p = nAttribute - DAMAGE_FIRST_PART_ATTRIBUTE;
    if (boMain)
    {
        // The next free number: the count, past any part a refused one left it behind.
        p = d.nNoOfParts;
        while (p < DAMAGE_PARTS && HasPart(d, p))
            ++p;
    }
    if (p >= DAMAGE_PARTS)
    {
        DKREPORT(DkFormatString("InitialiseDamage() : car %d: the part of attribute %d would be "
                                "part %d, beyond the %d parts",
                                nCar, nAttribute, p, DAMAGE_PARTS));
        return;
    }
    if (HasPart(d, p))
    {
        DKREPORT(DkFormatString(
            "InitialiseDamage() : car %d: the part of attribute %d takes part %d a second time",
            nCar, nAttribute, p));
        return;
    }
    DK_MODEL* pModel = PartModel(pActor);
    const char* pszWhy = nullptr;
    if (!LevelsInStep(pModel, &pszWhy))
    {
        DKREPORT(DkFormatString("InitialiseDamage() : car %d: the part of attribute %d %s", nCar,
                                nAttribute, pszWhy));
        return;
    }
    d.apRest[p] = CopyChain(pModel->aLevels[DAMAGE_REST_LEVEL].pFirstNode, false);
    d.apDamaged[p] = CopyChain(pModel->aLevels[DAMAGE_DAMAGED_LEVEL].pFirstNode, false);
    d.apLive[p] = CopyChain(pModel->aLevels[DAMAGE_LIVE_LEVEL].pFirstNode, true);
    if (!HasPart(d, p))
    {
        ForgetPart(d, p);
        return;
    }
    TakeTextureSlots(d, p, pModel);
    d.xDeformation[p] = 0;
    d.anSmashed[p] = 0;
    MeasurePart(d, p);
    if (boMain)
    {
        d.nMainBodyPart = p;
        const int nVertices = PartVertexCount(d, p);
        if (nVertices > DAMAGE_MAIN_BODY_VERTICES)
            DKREPORT(DkFormatString("InitialiseDamage() : car %d: the main body has %d vertices, "
                                    "only the first %d take part",
                                    nCar, nVertices, DAMAGE_MAIN_BODY_VERTICES));
    }
    ++d.nNoOfParts;
}

bool IsPartActor(const DK_ACTOR* pActor)
{
    const int nAttribute = static_cast<int>(pActor->uId & DK_ACTOR_ID_MASK);
    return nAttribute >= DAMAGE_FIRST_PART_ATTRIBUTE && nAttribute <= DAMAGE_MAIN_BODY_ATTRIBUTE &&
           PartModel(pActor) != nullptr && pActor->uPassMask != 0;
}

void SetRolesAndThresholds(DamageRecord& d, int nCarType)
{
    const bool boMedium = gboMediumDetailCar != 0;
    std::memcpy(d.auRole, boMedium ? gauMediumDetailRoles : gauFullDetailRoles, DAMAGE_ROLES);
    if (boMedium)
    {
        const int nType = nCarType >= 0 && nCarType < NUM_CAR_TYPES ? nCarType : 0;
        std::memcpy(&d.auRole[DAMAGE_ROLE_SMASH_2_FIRST], gaauMediumSmashRoles[nType], 4);
    }
    std::memcpy(d.xSmashThreshold, boMedium ? gaxMediumDetailThresholds : gaxFullDetailThresholds,
                sizeof(gaxFullDetailThresholds));
}

uint8_t* WritablePlayer(int nPlayer)
{
    return GameData_GetPlayerInfoForWrite(nPlayer);
}

// Every repair group of the player's record repaired, no time to pay.
void MarkRepaired(int nPlayer)
{
    uint8_t* pInfo = WritablePlayer(nPlayer);
    if (pInfo == nullptr)
        return;
    for (int g = 0; g < kRepairGroups; ++g)
    {
        uint8_t* pGroup = pInfo + kRepairField + 3 * g;
        pGroup[0] = static_cast<uint8_t>(pGroup[0] & 0xC0);
        pGroup[1] = static_cast<uint8_t>((pGroup[1] & 0x80) | 100);
    }
}

void BuildRecord(int nCar, bool boStage)
{
    CarBody& body = gaCarBody[nCar];
    if (body.paCar == nullptr)
        return;
    DamageRecord& d = gaDamage[nCar];
    d = DamageRecord{};
    for (const DK_ACTOR* pActor = body.paCar->pChild; pActor != nullptr; pActor = pActor->pNext)
        if (IsPartActor(pActor))
            TakePart(d, nCar, pActor);
    if (d.nNoOfParts == 0)
    {
        d.xPartReciprocal = 0;
        DKREPORT("pDamage->nNoOfParts = 0 (DAMAGE WILL NOT WORK!!!!! - QRT)");
    }
    else
        d.xPartReciprocal = FfDiv(ONE, d.nNoOfParts * ONE);
    SetRolesAndThresholds(d, body.nCarType);

    if (!boStage)
        Damage_ShadeDamagedNormals(&d);
    Damage_ResetWobble(nCar);
    if (!boStage)
        MarkRepaired(nCar);
    else
        Damage_LoadPercentages();
    // A main body numbered 0 takes its table too.
    if (d.nMainBodyPart >= 0)
        ForEachVertex(d, d.nMainBodyPart,
                      [&](const PartVertex& v)
                      {
                          if (v.nIndex < DAMAGE_MAIN_BODY_VERTICES)
                              d.MainBodyRest[v.nIndex] = PositionOf(v.live);
                      });
}

int StageCars(void)
{
    if (IsAlternatingGame())
        return 2;
    return std::clamp(static_cast<int>(gnNumMechCars), 0, MAX_DAMAGE_RECORDS);
}

// --- Percentages

void DeriveRepairGroups(uint8_t* pInfo)
{
    for (int g = 0; g < kRepairGroups; ++g)
    {
        const int nPercent = std::min<int>(pInfo[kPercentField + kGroupValue[g]], 100);
        int nTime = nPercent * kGroupScale[g] / 100;
        if (nTime < 1 && nPercent != 0)
            nTime = 1;
        uint8_t* pGroup = pInfo + kRepairField + 3 * g;
        pGroup[0] = static_cast<uint8_t>((pGroup[0] & 0xC0) | (nTime & 0x3F));
        pGroup[1] = static_cast<uint8_t>((pGroup[1] & 0x80) | (100 - nPercent));
    }
}

void StorePlayer(const DamageRecord& d, int nPlayer)
{
    uint8_t* pInfo = WritablePlayer(nPlayer);
    if (pInfo == nullptr)
        return;
    const bool boZeros =
        (GameData_GetByte(kGameModeByte) >> 4) == 5 && !DkEntries().IsRallySchool();
    for (int v = 0; v < DAMAGE_VALUES; ++v)
    {
        const int64_t nPercent = static_cast<int64_t>(d.DamageValue[v]) * 100 / ONE;
        pInfo[kPercentField + v] =
            boZeros ? 0 : static_cast<uint8_t>(std::clamp<int64_t>(nPercent, 0, 100));
    }
    DeriveRepairGroups(pInfo);
}

// The values a paid repair clears, by group.
void ClearRepairedGroups(uint8_t* pInfo)
{
    static constexpr int kCleared[kRepairGroups][5] = {{4, -1, -1, -1, -1},
                                                       {5, 0, 1, 2, 3},
                                                       {6, 9, 10, 11, 12},
                                                       {7, -1, -1, -1, -1},
                                                       {8, -1, -1, -1, -1}};
    for (int g = 0; g < kRepairGroups; ++g)
        if ((pInfo[kRepairField + 3 * g + 1] & 0x7F) == 100)
            for (int v : kCleared[g])
                if (v >= 0)
                    pInfo[kPercentField + v] = 0;
}

// --- Meshes

// Back to the rest shape: positions (the main body's into its table), normals and texture
// coordinates; the undamaged texture drawn, nothing smashed.
void RestoreRest(DamageRecord& d)
{
    d.boShownStale = true;
    for (int p = 0; p < DAMAGE_PARTS; ++p)
    {
        if (!HasPart(d, p))
            continue;
        ForEachVertex(d, p,
                      [&](const PartVertex& v)
                      {
                          PutPosition(d, p, v, PositionOf(v.rest));
                          std::memcpy(v.pfLiveNormal, v.pfRestNormal, 3 * sizeof(float));
                          v.live.u = v.rest.u;
                          v.live.v = v.rest.v;
                      });
        if (d.apLiveTexture[p] != nullptr && d.apUndamagedTexture[p] != nullptr)
            *d.apLiveTexture[p] = *d.apUndamagedTexture[p];
        d.anSmashed[p] = 0;
    }
}

// A direction toward the target, unit length; long offsets are shortened first so the squares
// stay inside 16.16.
DK_VECTOR Toward(const DK_VECTOR& from, const DK_VECTOR& to)
{
    int64_t ax = static_cast<int64_t>(to.x) - from.x;
    int64_t ay = static_cast<int64_t>(to.y) - from.y;
    int64_t az = static_cast<int64_t>(to.z) - from.z;
    while (std::max({ax < 0 ? -ax : ax, ay < 0 ? -ay : ay, az < 0 ? -az : az}) > INT32_MAX / 2)
    {
        ax /= 2;
        ay /= 2;
        az /= 2;
    }
    const DK_VECTOR offset = {static_cast<int32_t>(ax), static_cast<int32_t>(ay),
                              static_cast<int32_t>(az)};
    const int32_t xLength = Length(offset);
    if (xLength == 0)
        return {0, 0, 0};
    return {static_cast<int32_t>(ax * ONE / xLength), static_cast<int32_t>(ay * ONE / xLength),
            static_cast<int32_t>(az * ONE / xLength)};
}

// A vertex placed 0.3 from where it rests toward the target.
void PlaceToward(const DK_VECTOR& rest, const DK_VECTOR& target, DK_VERTEX& live)
{
    const DK_VECTOR unit = Toward(rest, target);
    SetPosition(live,
                {FfAdd(rest.x, FfMul(unit.x, kShellGap)), FfAdd(rest.y, FfMul(unit.y, kShellGap)),
                 FfAdd(rest.z, FfMul(unit.z, kShellGap))});
}

// A world point in the actor's axes.
DK_VECTOR InActorAxes(const DK_ACTOR* pActor, const DK_VECTOR& world)
{
    DK_VECTOR origin;
    FfMatGetPosition(&origin, &pActor->World);
    const DK_VECTOR offset = {FfSub(world.x, origin.x), FfSub(world.y, origin.y),
                              FfSub(world.z, origin.z)};
    DK_VECTOR local;
    DkTransformPoint(&local, &offset, &pActor->World);
    return local;
}

// --- Byte images

// The record's offsets in its image.
constexpr size_t kPointerArrays = 6 * DAMAGE_PARTS * 4;
constexpr size_t kMainBodyAt = kPointerArrays;
constexpr size_t kRestTableAt = kMainBodyAt + 4;
constexpr size_t kReciprocalAt = kRestTableAt + DAMAGE_MAIN_BODY_VERTICES * 12;
constexpr size_t kDeformationAt = kReciprocalAt + 4;
constexpr size_t kValuesAt = kDeformationAt + DAMAGE_PARTS * 4;
constexpr size_t kFactorsAt = kValuesAt + DAMAGE_VALUES * 4;
constexpr size_t kWeightsAt = kFactorsAt + 12 * 4;
constexpr size_t kCentresAt = kWeightsAt + DAMAGE_PARTS * 4;
constexpr size_t kPullAt = kCentresAt + 2 * DAMAGE_PARTS * 12;
constexpr size_t kPartsAt = kPullAt + 4;
constexpr size_t kSmashedAt = kPartsAt + 8;
constexpr size_t kLightCountAt = kSmashedAt + 2 * DAMAGE_PARTS * 4 + DAMAGE_LIGHTS * 4;
constexpr size_t kRolesAt = kLightCountAt + 1;
static_assert(kMainBodyAt == 720 && kRestTableAt == 724 && kDeformationAt == 1928);
static_assert(kValuesAt == 2048 && kWeightsAt == 2148 && kPullAt == 2988);
static_assert(kPartsAt == 2992 && kSmashedAt == 3000 && kRolesAt == 3265);
static_assert((kRolesAt + DAMAGE_ROLES + 3) / 4 * 4 == DAMAGE_RECORD_IMAGE_SIZE);

// The wobble's: phase, active flag, amplitude, displacement.
constexpr size_t kWobbleActiveAt = 4;
constexpr size_t kWobbleAmplitudeAt = 8;
constexpr size_t kWobbleDisplacementAt = 12;
static_assert(kWobbleAmplitudeAt == kWobbleActiveAt + 4 &&
              kWobbleDisplacementAt == kWobbleAmplitudeAt + 4);
static_assert(kWobbleDisplacementAt + 12 == DAMAGE_WOBBLE_IMAGE_SIZE);

// Reads or writes words in order at a cursor; the same walk serves both.
struct Writer
{
    uint8_t* p;
    size_t uAt = 0;
    void Word(const int32_t& v)
    {
        LeWrite32(p + uAt, v);
        uAt += 4;
    }
    void Half(const int16_t& v)
    {
        LeWrite16(p + uAt, v);
        uAt += 2;
    }
    void Byte(const uint8_t& v) { p[uAt++] = v; }
    void Skip(size_t u) { uAt += u; }
};

struct Reader
{
    const uint8_t* p;
    size_t uAt = 0;
    void Word(int32_t& v)
    {
        v = LeRead32(p + uAt);
        uAt += 4;
    }
    void Half(int16_t& v)
    {
        v = static_cast<int16_t>(LeRead16(p + uAt));
        uAt += 2;
    }
    void Byte(uint8_t& v) { v = p[uAt++]; }
    void Skip(size_t u) { uAt += u; }
};

template <typename Io, typename T> void Words(Io& io, T& values, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        io.Word(values[i]);
}

template <typename Io, typename V> void Vectors(Io& io, V* pV, size_t n)
{
    for (size_t i = 0; i < n; ++i)
    {
        io.Word(pV[i].x);
        io.Word(pV[i].y);
        io.Word(pV[i].z);
    }
}

// The record's image in order; the pointer arrays are slots of 0.
template <typename Io, typename R> void WalkRecord(Io& io, R& d)
{
    io.Skip(kPointerArrays);
    io.Word(d.nMainBodyPart);
    Vectors(io, d.MainBodyRest, DAMAGE_MAIN_BODY_VERTICES);
    io.Word(d.xPartReciprocal);
    Words(io, d.xDeformation, DAMAGE_PARTS);
    Words(io, d.DamageValue, DAMAGE_VALUES);
    io.Word(d.xWaterFactor);
    io.Word(d.xSteeringFactor);
    Words(io, d.DamageWheelDrag, 4);
    io.Word(d.xGripFactorA);
    io.Word(d.xGripFactorB);
    io.Word(d.DamageFrontBrake);
    io.Word(d.DamageRearBrake);
    io.Word(d.DamageEngine);
    io.Word(d.xGearboxFactor);
    Words(io, d.xImpactWeight, DAMAGE_PARTS);
    Vectors(io, d.PartCentre, DAMAGE_PARTS);
    Vectors(io, d.PartHalfSize, DAMAGE_PARTS);
    io.Word(d.SteeringOffset);
    io.Word(d.nNoOfParts);
    io.Word(d.nDrying);
    Words(io, d.anSmashed, DAMAGE_PARTS);
    Words(io, d.xSmashThreshold, DAMAGE_PARTS);
    Words(io, d.anBrokenLight, DAMAGE_LIGHTS);
    io.Byte(d.uBrokenLights);
    for (auto& uRole : d.auRole)
        io.Byte(uRole);
}

template <typename Io, typename W> void WalkWobble(Io& io, W& w)
{
    io.Half(w.nPhase);
    io.Skip(kWobbleActiveAt - 2);
    io.Word(w.nActive);
    io.Word(w.xAmplitude);
    io.Word(w.Displacement.x);
    io.Word(w.Displacement.y);
    io.Word(w.Displacement.z);
}

// What the module indexes with; NULL when all is in range.
const char* BadIndex(const DamageRecord& d)
{
    if (d.nNoOfParts < 0 || d.nNoOfParts > DAMAGE_PARTS)
        return "part count";
    if (d.nMainBodyPart < -1 || d.nMainBodyPart >= DAMAGE_PARTS)
        return "main-body part";
    for (uint8_t uRole : d.auRole)
        if (uRole >= DAMAGE_PARTS)
            return "role";
    if (d.uBrokenLights > DAMAGE_LIGHTS)
        return "broken-light count";
    return nullptr;
}

} // namespace

// --- Building

void InitialiseDamage(void)
{
    DkLog("Start of InitialiseDamage...");
    const int nCars = StageCars();
    for (int nCar = 0; nCar < nCars; ++nCar)
        BuildRecord(nCar, false);
    DkLog("End of InitialiseDamage.\n");
}

void InitialiseDamageStage(void)
{
    DkLog("Start of InitialiseDamageStage...");
    if (IsSuperSpecialStage() && !DkEntries().IsRallySchool())
    {
        InitialiseDamage();
        return;
    }
    const int nCars = StageCars();
    for (int nCar = 0; nCar < nCars; ++nCar)
        BuildRecord(nCar, true);
    DkLog("End of InitialiseDamageStage.");
}

void Damage_ShadeDamagedNormals(DamageRecord* pDamage)
{
    if (pDamage == nullptr)
        return;
    DamageRecord& d = *pDamage;
    for (int p = 0; p < DAMAGE_PARTS; ++p)
    {
        if (!HasPart(d, p) || p == d.nMainBodyPart)
            continue;
        ForEachVertex(d, p,
                      [&](const PartVertex& v)
                      {
                          const DK_VECTOR r = PositionOf(v.rest);
                          const DK_VECTOR m = PositionOf(v.damaged);
                          const int32_t a = Length(r);
                          const int32_t b = Length(m);
                          if (b >= a)
                              return;
                          const int32_t xDepth = AtMostOne(FfMul(FfSub(a, b), kShadeDepth));
                          const int32_t xScale = FfSub(ONE, FfMul(kShadeDarkest, xDepth));
                          DK_VECTOR n = NormalOf(v.pfDamagedNormal);
                          FfVecScale(&n, &n, xScale);
                          SetNormal(v.pfDamagedNormal, n);
                      });
    }
}

// --- Impacts

void Damage_ApplyImpact(CarBody* pBody, int32_t* pnSmashKind, int32_t* pxDamage)
{
    int32_t nKind = 0;
    int32_t xDamage = 0;
    if (pBody != nullptr && Length(pBody->ExtForce) >= kLeastImpact)
    {
        const int32_t xSpeed = Length(pBody->ExtForce);
        xDamage = AtMostOne(FfDiv(FfSub(xSpeed, kLeastImpact), kImpactSpan));
        const int nCar = pBody->nCarNumber;
        const BOOL boWobbleInstead =
            GameData_IsOptionSet(OPTION_DAMAGE_OFF) || pBody->NoDamage != 0;
        if (!boWobbleInstead && !GameData_IsOptionSet(OPTION_DAMAGE_OFF_NO_WOBBLE) &&
            ValidCar(nCar))
        {
            DamageRecord& d = gaDamage[nCar];
            const int nFront = d.auRole[DAMAGE_ROLE_FRONT] % DAMAGE_PARTS;
            const int32_t xFrontBefore = d.xDeformation[nFront];
            Damage_DeformAtImpact(pBody, xDamage);
            if (StageInfo_GetLight() == kNight && d.xDeformation[nFront] > xFrontBefore)
                Lights_CheckBreakage(pBody);
            nKind = 0;
            Damage_SmashParts(&d, pBody, &nKind);
            Damage_UpdateValues(&d, nCar);
        }
        if (DkEntries().IsRallySchool())
            SchoolSpeech_SetCollisionSeverity(&xDamage);
        if (boWobbleInstead && xDamage > 0 && ValidCar(nCar))
        {
            DamageWobble& w = gaDamageWobble[nCar];
            w.nActive = 1;
            w.xAmplitude = xDamage >= ONE / 2 ? ONE : 2 * xDamage;
        }
    }
    if (pnSmashKind != nullptr)
        *pnSmashKind = nKind;
    if (pxDamage != nullptr)
        *pxDamage = xDamage;
}

DamageRecord* Damage_DeformAtImpact(CarBody* pBody, int32_t xDamage)
{
    if (pBody == nullptr || !ValidCar(pBody->nCarNumber))
        return nullptr;
    DamageRecord& d = gaDamage[pBody->nCarNumber];
    if (d.nNoOfParts == 0)
        return &d;
    d.boShownStale = true;
    const DK_VECTOR& impact = pBody->ImpactOffset;
    // Quadrants by x below 0 (bit 0) and z below 0 (bit 1), for the medium-detail car.
    int64_t anQuadrantSum[4] = {};
    int64_t anQuadrantCount[4] = {};
    for (int p = 0; p < DAMAGE_PARTS; ++p)
    {
        if (!HasPart(d, p))
            continue;
        int64_t nImpactSum = 0;
        int64_t nMovedSum = 0;
        ForEachVertex(d, p,
                      [&](const PartVertex& v)
                      {
                          if (!Takes(d, p, v))
                              return;
                          DK_VECTOR at = CurrentPosition(d, p, v);
                          const DK_VECTOR off = {FfSub(at.x, impact.x), FfSub(at.y, impact.y),
                                                 FfSub(at.z, impact.z)};
                          // A unit or more along any axis is out of reach, and its square could
                          // overflow.
                          if (Abs(off.x) >= ONE || Abs(off.y) >= ONE || Abs(off.z) >= ONE)
                              return;
                          const int32_t xDistance2 = FfVecDot(&off, &off);
                          if (xDistance2 >= ONE)
                              return;
                          const int32_t w = FfMul(FfSub(ONE, xDistance2), xDamage);
                          if (w <= 0)
                              return;
                          nImpactSum += w;
                          const int q = (at.x < 0 ? 1 : 0) | (at.z < 0 ? 2 : 0);
                          anQuadrantSum[q] += w;
                          anQuadrantCount[q] += 2;

                          const DK_VECTOR rest = PositionOf(v.rest);
                          const DK_VECTOR damaged = PositionOf(v.damaged);
                          if (at.x == damaged.x && at.y == damaged.y && at.z == damaged.z)
                              return;
                          DK_VECTOR normal = NormalOf(v.pfLiveNormal);
                          const DK_VECTOR restNormal = NormalOf(v.pfRestNormal);
                          const DK_VECTOR damagedNormal = NormalOf(v.pfDamagedNormal);
                          for (int a = 0; a < 3; ++a)
                          {
                              const int32_t xTo = AxisOf(damaged, a);
                              const int32_t xDelta = FfSub(xTo, AxisOf(rest, a));
                              int32_t& xAt = Axis(at, a);
                              int32_t& xNormal = Axis(normal, a);
                              xAt = FfAdd(xAt, FfMul(w, xDelta));
                              xNormal = FfAdd(xNormal, FfMul(w, FfSub(AxisOf(damagedNormal, a),
                                                                      AxisOf(restNormal, a))));
                              // Never past the damaged shape.
                              if ((xDelta > 0 && xAt > xTo) || (xDelta < 0 && xAt < xTo))
                              {
                                  xAt = xTo;
                                  xNormal = AxisOf(damagedNormal, a);
                              }
                          }
                          PutPosition(d, p, v, at);
                          SetNormal(v.pfLiveNormal, normal);
                          nMovedSum += w;
                      });
        const int nVertices = PartVertexCount(d, p);
        if (nVertices == 0)
            continue;
        d.xDeformation[p] =
            AtMostOne(FfAdd(d.xDeformation[p], static_cast<int32_t>(nMovedSum / nVertices)));
        d.xImpactWeight[p] = static_cast<int32_t>(nImpactSum / nVertices);
    }
    if (gboMediumDetailCar)
    {
        int32_t axMean[4];
        for (int q = 0; q < 4; ++q)
            axMean[q] = anQuadrantCount[q] != 0
                            ? static_cast<int32_t>(anQuadrantSum[q] / anQuadrantCount[q])
                            : 0;
        auto weight = [&](int nRole) -> int32_t&
        { return d.xImpactWeight[d.auRole[nRole] % DAMAGE_PARTS]; };
        weight(DAMAGE_ROLE_SIDE_A) = FfAdd(axMean[0], axMean[1]);
        weight(DAMAGE_ROLE_SIDE_B) = FfAdd(axMean[2], axMean[3]);
        weight(DAMAGE_ROLE_FRONT) = FfAdd(axMean[0], axMean[2]);
        weight(DAMAGE_ROLE_REAR) = FfAdd(axMean[1], axMean[3]);
    }
    return &d;
}

void Damage_SmashParts(DamageRecord* pDamage, CarBody* /*pBody*/, int32_t* pnSmashKind)
{
    if (pDamage == nullptr)
        return;
    DamageRecord& d = *pDamage;
    d.boShownStale = true;
    for (int p = 0; p < DAMAGE_PARTS; ++p)
    {
        if (!HasPart(d, p) || p == d.nMainBodyPart || d.anSmashed[p] != 0 ||
            d.xDeformation[p] <= d.xSmashThreshold[p])
            continue;
        ForEachVertex(d, p,
                      [](const PartVertex& v)
                      {
                          v.live.u = v.damaged.u;
                          v.live.v = v.damaged.v;
                      });
        if (d.apLiveTexture[p] != nullptr && d.apDamagedTexture[p] != nullptr)
            *d.apLiveTexture[p] = *d.apDamagedTexture[p];
        d.anSmashed[p] = 1;
        if (pnSmashKind == nullptr)
            continue;
        const auto roleIs = [&](int nRole) { return d.auRole[nRole] == p; };
        if (roleIs(DAMAGE_ROLE_SMASH_3))
            *pnSmashKind = 3;
        else if (roleIs(6) || roleIs(7) || roleIs(8) || roleIs(9))
            *pnSmashKind = 2;
        else if (roleIs(DAMAGE_ROLE_LAMP_A) || roleIs(DAMAGE_ROLE_LAMP_B))
            *pnSmashKind = 1;
    }
}

void Damage_UpdateValues(DamageRecord* pDamage, int nCar)
{
    if (pDamage == nullptr || !ValidCar(nCar) || gaCarBody[nCar].DamageActive == 0)
        return;
    DamageRecord& d = *pDamage;
    int32_t* v = d.DamageValue;
    int32_t c[4];
    for (int r = 0; r < 4; ++r)
        c[r] = FfMul(kCornerShare, RoleWeight(d, r));
    // Front c0, rear c1, side A c2, side B c3, each onto the corners and grip values it touches.
    v[0] = FfAdd(v[0], FfAdd(c[0], c[2]));
    v[1] = FfAdd(v[1], FfAdd(c[0], c[3]));
    v[2] = FfAdd(v[2], FfAdd(c[1], c[2]));
    v[3] = FfAdd(v[3], FfAdd(c[1], c[3]));
    v[9] = FfAdd(v[9], FfAdd(c[0], c[3]));
    v[10] = FfAdd(v[10], FfAdd(c[0], c[2]));
    v[11] = FfAdd(v[11], FfAdd(c[1], c[3]));
    v[12] = FfAdd(v[12], FfAdd(c[1], c[2]));
    v[5] = FfAdd(FfAdd(v[0], v[1]), FfAdd(v[2], v[3])) / 4;
    v[6] = FfAdd(FfAdd(v[9], v[10]), FfAdd(v[11], v[12])) / 4;
    v[DAMAGE_VALUE_ENGINE] =
        FfAdd(v[DAMAGE_VALUE_ENGINE], FfMul(kEngineShare, RoleWeight(d, DAMAGE_ROLE_FRONT)));
    const int32_t xGearboxWeight =
        FfAdd(RoleWeight(d, DAMAGE_ROLE_GEARBOX_A), RoleWeight(d, DAMAGE_ROLE_GEARBOX_B)) / 2;
    v[DAMAGE_VALUE_GEARBOX] = FfAdd(v[DAMAGE_VALUE_GEARBOX], FfMul(kEngineShare, xGearboxWeight));
    for (int k = 0; k < DAMAGE_VALUES; ++k)
        v[k] = AtMostOne(v[k]);
    for (int k = 0; k < 4; ++k)
        d.DamageWheelDrag[k] = v[k];

    // The pull: a car damaged more on one side than the other steers to it.
    const int32_t xMean = FfAdd(FfAdd(v[0], v[1]), FfAdd(v[2], v[3])) / 4;
    const int32_t k = xMean >= kPullFrom ? AtMostOne(FfMul(FfSub(xMean, kPullFrom), kPullRise)) : 0;
    int32_t xPull = FfMul(FfSub(FfAdd(v[1], v[3]), FfAdd(v[0], v[2])), 10 * k);
    xPull = std::clamp(xPull, -ONE, ONE);
    d.SteeringOffset = FfMul(xPull, kPullAngle);

    d.xSteeringFactor = FfSub(ONE, FfMul(kSteeringLoss, FfAdd(v[0], v[1]) / 2));
    d.xGripFactorA = FfSub(ONE, FfMul(kGripLoss, FfAdd(v[9], v[10]) / 2));
    d.xGripFactorB = FfSub(ONE, FfMul(kGripLoss, FfAdd(v[11], v[12]) / 2));
    d.DamageFrontBrake = FfMul(d.xGripFactorA, d.xWaterFactor);
    d.DamageRearBrake = FfMul(d.xGripFactorB, d.xWaterFactor);
    for (int32_t& xDrag : d.DamageWheelDrag)
        xDrag = FfMul(xDrag, kDragShare);

    d.DamageEngine = FfSub(ONE, FfMul(FfMul(v[DAMAGE_VALUE_ENGINE], kEngineLoss),
                                      std::max(ONE, FfMul(kEngineScale, kEngineConstant))));
    d.xGearboxFactor = FfSub(ONE, FfMul(kGearboxLoss, v[DAMAGE_VALUE_GEARBOX]));
    CarMechanics& mech = gaCarMechanics[nCar];
    for (int g = 0; g < CAR_GEARS; ++g)
    {
        mech.GearRatioCopy[g] = FfMul(mech.GearRatio[g], d.xGearboxFactor);
        mech.InverseGearRatioCopy[g] = FfDiv(mech.InverseGearRatio[g], d.xGearboxFactor);
    }
}

// --- Wobble and water

void Damage_ResetWobble(int nCar)
{
    if (ValidCar(nCar))
        gaDamageWobble[nCar] = DamageWobble{};
}

void Damage_UpdateWobble(int nCar)
{
    if (!ValidCar(nCar))
        return;
    const CarBody& body = gaCarBody[nCar];
    DamageWobble& w = gaDamageWobble[nCar];
    DamageRecord& d = gaDamage[nCar];

    const DK_VECTOR change = {FfSub(body.Velocity.x, body.VelocityPrev.x),
                              FfSub(body.Velocity.y, body.VelocityPrev.y),
                              FfSub(body.Velocity.z, body.VelocityPrev.z)};
    DK_VECTOR jolt;
    DkTransformPoint(&jolt, &change, &body.Matrix);
    jolt.y = FfMul(jolt.y, kWobbleVertical);
    DK_VECTOR& s = w.Displacement;
    if (s.x != 0 || s.y != 0 || s.z != 0)
    {
        jolt.x = FfSub(jolt.x, FfMul(kWobbleSpring, s.x));
        jolt.y = FfSub(jolt.y, FfMul(kWobbleSpring, s.y));
        jolt.z = FfSub(jolt.z, FfMul(kWobbleSpring, s.z));
    }
    // Any axis past the limit makes it long, and its square could overflow.
    if (Abs(jolt.x) > kWobbleStep || Abs(jolt.y) > kWobbleStep || Abs(jolt.z) > kWobbleStep ||
        Length(jolt) > kWobbleStep)
    {
        const DK_VECTOR unit = Toward({0, 0, 0}, jolt);
        FfVecScale(&jolt, &unit, kWobbleStep);
    }
    s = {FfAdd(s.x, jolt.x), FfAdd(s.y, jolt.y), FfAdd(s.z, jolt.z)};

    const auto advance = [&w](int32_t xDegrees)
    {
        int32_t nPhase = w.nPhase + xDegrees / kDegreesToAngle;
        if (nPhase > 4096)
            nPhase = (nPhase - 1) % 4096 + 1;
        w.nPhase = static_cast<int16_t>(nPhase);
    };
    advance(FfMul(50 * ONE, FfAdd(FfMul(13107, body.Speed), 6553)));
    int32_t xStrength = 0;
    if (w.nActive != 0)
    {
        advance(FfMul(100 * ONE, FfAdd(FfMul(52428, w.xAmplitude), 6553)));
        xStrength = FfMul(kWobbleRipple, w.xAmplitude);
        w.xAmplitude = FfSub(w.xAmplitude, kWobbleDecay);
        if (w.xAmplitude <= 0)
        {
            w.xAmplitude = 0;
            w.nActive = 0;
        }
    }

    for (int p = 0; p < DAMAGE_PARTS; ++p)
    {
        if (!HasPart(d, p))
            continue;
        ForEachVertex(d, p,
                      [&](const PartVertex& v)
                      {
                          if (!Takes(d, p, v))
                              return;
                          DK_VECTOR at = PositionOf(v.rest);
                          const int32_t xSum = FfAdd(FfAdd(at.x, at.y), at.z);
                          const int nAngle =
                              (w.nPhase + FfMul(300 * ONE, xSum) / kDegreesToAngle) & DK_ANGLE_MASK;
                          FfVecScale(&at, &at, FfAdd(ONE, FfMul(xStrength, gaSinTable[nAngle])));
                          if (at.y > kWobbleLowest)
                          {
                              const int32_t h = FfSub(at.y, kWobbleLowest);
                              const int32_t xSway = FfMul(6 * ONE, FfMul(h, h));
                              at = {FfAdd(at.x, FfMul(s.x, xSway)), FfAdd(at.y, FfMul(s.y, xSway)),
                                    FfAdd(at.z, FfMul(s.z, xSway))};
                          }
                          PutPosition(d, p, v, at);
                      });
    }
}

void Damage_UpdateWater(CarBody* pBody, CarMechanics* pMechanics)
{
    if (pBody == nullptr || pMechanics == nullptr || !ValidCar(pBody->nCarNumber))
        return;
    if ((IsSuperSpecialStage() && !DkEntries().IsRallySchool()) || pBody->DamageActive == 0)
        return;
    DamageRecord& d = gaDamage[pBody->nCarNumber];
    bool boInWater = false;
    for (int w = 0; w < CAR_WHEELS; ++w)
        boInWater = boInWater || (pMechanics->WheelSurface[w] >= SURFACE_SHALLOW_WATER &&
                                  pMechanics->WheelSurface[w] <= SURFACE_STREAM);
    if (pBody->WheelsOnGround > 0 && boInWater &&
        FfVecDot(&pBody->UpAxis, &pBody->GroundNormal) > kAxesAgree)
    {
        const int32_t xAlong = FfVecDot(&pBody->Velocity, &pBody->OrientRow0);
        const DK_VECTOR across = {FfSub(pBody->Velocity.x, FfMul(xAlong, pBody->OrientRow0.x)),
                                  FfSub(pBody->Velocity.y, FfMul(xAlong, pBody->OrientRow0.y)),
                                  FfSub(pBody->Velocity.z, FfMul(xAlong, pBody->OrientRow0.z))};
        const int32_t xAcross = Length(across);
        if (xAcross > kWaterSpeed)
        {
            const int32_t e = FfSub(xAcross, kWaterSpeed);
            d.xWaterFactor = std::max(0, FfSub(d.xWaterFactor, AtMostOne(e / 2)));
            int32_t& xWater = d.DamageValue[DAMAGE_VALUE_WATER];
            xWater = AtMostOne(FfAdd(xWater, AtMostOne(e / 20)));
            d.nDrying = 1;
        }
    }
    d.DamageFrontBrake = FfMul(d.xGripFactorA, d.xWaterFactor);
    d.DamageRearBrake = FfMul(d.xGripFactorB, d.xWaterFactor);
    if (d.nDrying == 0)
        return;
    d.xWaterFactor =
        FfAdd(d.xWaterFactor, pMechanics->QuickDrying != 0 ? kQuickDryingStep : kDryingStep);
    if (d.xWaterFactor > kDry)
    {
        d.xWaterFactor = ONE;
        d.nDrying = 0;
    }
    d.DamageFrontBrake = FfMul(d.xGripFactorA, d.xWaterFactor);
    d.DamageRearBrake = FfMul(d.xGripFactorB, d.xWaterFactor);
}

// --- Between stages

void Damage_StoreDamagePercentages(void)
{
    if ((GameData_GetByte(kGameModeByte) & 3) == 2)
        return;
    if (IsAlternatingGame())
    {
        const int nTurn = gnCurrentPlayer == 1 ? 1 : 0;
        StorePlayer(gaDamage[0], nTurn);
        // The first player's groups follow that player's own percentages.
        if (nTurn == 1)
            if (uint8_t* pFirst = WritablePlayer(0))
                DeriveRepairGroups(pFirst);
        return;
    }
    const int nPlayers = std::clamp(static_cast<int>(gNumberOfPlayers), 0, GAME_DATA_LOCAL_PLAYERS);
    for (int nPlayer = 0; nPlayer < nPlayers; ++nPlayer)
        StorePlayer(gaDamage[nPlayer], nPlayer);
}

void Damage_LoadPercentages(void)
{
    const int nPlayers = IsAlternatingGame() ? 2
                                             : std::clamp(static_cast<int>(gNumberOfPlayers), 0,
                                                          GAME_DATA_LOCAL_PLAYERS);
    for (int nPlayer = 0; nPlayer < nPlayers; ++nPlayer)
    {
        if (uint8_t* pInfo = WritablePlayer(nPlayer))
            ClearRepairedGroups(pInfo);
        const uint8_t* pInfo = GameData_GetPlayerInfo(nPlayer);
        DamageRecord& d = gaDamage[nPlayer];
        for (int v = 0; v < DAMAGE_VALUES; ++v)
        {
            // Rounded up, so that the value stores as the same percentage again.
            const int nPercent = std::min<int>(pInfo[kPercentField + v], 100);
            d.DamageValue[v] = (nPercent * ONE + 99) / 100;
        }
        for (int32_t& xWeight : d.xImpactWeight)
            xWeight = 0;
        Damage_UpdateValues(&d, nPlayer);
    }
}

// --- Rebuilding, repairs and the lamps

void Damage_RebuildShapes(CarBody* pBody)
{
    if (pBody == nullptr || !ValidCar(pBody->nCarNumber))
        return;
    DamageRecord& d = gaDamage[pBody->nCarNumber];
    RestoreRest(d);
    if (pBody->DamageActive == 0)
    {
        for (int32_t& xDeformation : d.xDeformation)
            xDeformation = 0;
        return;
    }
    for (int p = 0; p < DAMAGE_PARTS; ++p)
    {
        if (!HasPart(d, p))
            continue;
        const int32_t f = d.xDeformation[p];
        ForEachVertex(d, p,
                      [&](const PartVertex& v)
                      {
                          const DK_VECTOR r = PositionOf(v.rest);
                          const DK_VECTOR m = PositionOf(v.damaged);
                          const DK_VECTOR rn = NormalOf(v.pfRestNormal);
                          const DK_VECTOR mn = NormalOf(v.pfDamagedNormal);
                          PutPosition(d, p, v,
                                      {FfAdd(r.x, FfMul(f, FfSub(m.x, r.x))),
                                       FfAdd(r.y, FfMul(f, FfSub(m.y, r.y))),
                                       FfAdd(r.z, FfMul(f, FfSub(m.z, r.z)))});
                          SetNormal(v.pfLiveNormal, {FfAdd(rn.x, FfMul(f, FfSub(mn.x, rn.x))),
                                                     FfAdd(rn.y, FfMul(f, FfSub(mn.y, rn.y))),
                                                     FfAdd(rn.z, FfMul(f, FfSub(mn.z, rn.z)))});
                      });
    }
    int32_t nKind = 0;
    Damage_SmashParts(&d, pBody, &nKind);
}

void Damage_GetLampPartsSmashed(const CarBody* pBody, int32_t* pnFirst, int32_t* pnSecond)
{
    int32_t nFirst = 0, nSecond = 0;
    if (pBody != nullptr && ValidCar(pBody->nCarNumber))
    {
        const DamageRecord& d = gaDamage[pBody->nCarNumber];
        nFirst = d.anSmashed[d.auRole[DAMAGE_ROLE_LAMP_A] % DAMAGE_PARTS];
        nSecond = d.anSmashed[d.auRole[DAMAGE_ROLE_LAMP_B] % DAMAGE_PARTS];
    }
    if (pnFirst != nullptr)
        *pnFirst = nFirst;
    if (pnSecond != nullptr)
        *pnSecond = nSecond;
}

void Damage_DeformNearPoint(int nCar, const DK_VECTOR* pPoint)
{
    if (!ValidCar(nCar) || pPoint == nullptr || gaCarBody[nCar].paCar == nullptr)
        return;
    DamageRecord& d = gaDamage[nCar];
    const int p = d.nMainBodyPart;
    if (p < 0 || !HasPart(d, p))
        return;
    const DK_VECTOR target = InActorAxes(gaCarBody[nCar].paCar, *pPoint);
    d.boShownStale = true;
    ForEachVertex(d, p,
                  [&](const PartVertex& v)
                  {
                      if (Takes(d, p, v))
                          PlaceToward(d.MainBodyRest[v.nIndex], target, v.live);
                  });
}

void Damage_ShowLiveShapes(void)
{
    for (DamageRecord& d : gaDamage)
    {
        if (!d.boShownStale)
            continue;
        d.boShownStale = false;
        for (int p = 0; p < DAMAGE_PARTS; ++p)
        {
            if (!HasPart(d, p))
                continue;
            // Positions, normals and texture coordinates only: the colour words of lit vertices
            // are the frame's.
            for (const DamageVertexList* l = d.apLive[p]; l != nullptr; l = l->pNext)
            {
                if (l->pShownVertices == nullptr || l->pfShownNormals == nullptr)
                    continue;
                for (int i = 0; i < l->nCount; ++i)
                {
                    const DK_VERTEX& from = l->pVertices[i];
                    DK_VERTEX& to = l->pShownVertices[i];
                    to.x = from.x;
                    to.y = from.y;
                    to.z = from.z;
                    to.u = from.u;
                    to.v = from.v;
                }
                std::memcpy(l->pfShownNormals, l->pfNormals, 3 * sizeof(float) * l->nCount);
            }
            if (d.apShownTexture[p] != nullptr && d.apLiveTexture[p] != nullptr)
                *d.apShownTexture[p] = *d.apLiveTexture[p];
        }
    }
}

void Damage_RepairCar(int nCar)
{
    if (!ValidCar(nCar))
        return;
    DamageRecord& d = gaDamage[nCar];
    RestoreRest(d);
    for (int p = 0; p < DAMAGE_PARTS; ++p)
        d.xDeformation[p] = d.xImpactWeight[p] = 0;
    for (int32_t& xValue : d.DamageValue)
        xValue = 0;
    d.xWaterFactor = ONE;
    d.nDrying = 0;
    d.xSteeringFactor = d.xGripFactorA = d.xGripFactorB = ONE;
    d.DamageFrontBrake = d.DamageRearBrake = d.DamageEngine = d.xGearboxFactor = ONE;
    for (int32_t& xDrag : d.DamageWheelDrag)
        xDrag = 0;
    d.SteeringOffset = 0;
    Damage_UpdateValues(&d, nCar);
}

void Damage_DebugDrawPart(const CarBody* pBody, DK_FONT* pFont, DK_SURFACE* pSurface)
{
    if (pBody == nullptr || !ValidCar(pBody->nCarNumber))
        return;
    // T steps back, Y on, through parts 0 to 10; a key counts once however long it is held.
    constexpr int kKeyBack = 'T';
    constexpr int kKeyOn = 'Y';
    constexpr int kShown = 11;
    const BOOL boBack = DkIsKeyHeld(kKeyBack);
    const BOOL boOn = DkIsKeyHeld(kKeyOn);
    if (boBack && !gboDebugBack)
        gnDebugPart = (gnDebugPart + kShown - 1) % kShown;
    if (boOn && !gboDebugOn)
        gnDebugPart = (gnDebugPart + 1) % kShown;
    gboDebugBack = boBack;
    gboDebugOn = boOn;

    const DamageRecord& d = gaDamage[pBody->nCarNumber];
    const int p = gnDebugPart;
    const auto world = [&](const DK_VERTEX& v)
    {
        const DK_VECTOR local = PositionOf(v);
        DK_VECTOR out;
        DkTransformPointTransposed(&out, &local, &pBody->Matrix);
        return DK_VECTOR{FfAdd(out.x, pBody->Position.x), FfAdd(out.y, pBody->Position.y),
                         FfAdd(out.z, pBody->Position.z)};
    };
    static const uint8_t kRestColour[4] = {0, 255, 0, 255};
    static const uint8_t kDamagedColour[4] = {255, 0, 0, 255};
    const DK_VERTEX* pRestFirst = nullptr;
    const DK_VERTEX* pDamagedFirst = nullptr;
    if (HasPart(d, p))
        ForEachVertex(d, p,
                      [&](const PartVertex& v)
                      {
                          if (pRestFirst != nullptr)
                          {
                              const DK_VECTOR a = world(*pRestFirst), b = world(v.rest);
                              const DK_VECTOR c = world(*pDamagedFirst), e = world(v.damaged);
                              DkDrawLine(&a, &b, kRestColour, nullptr);
                              DkDrawLine(&c, &e, kDamagedColour, nullptr);
                          }
                          pRestFirst = &v.rest;
                          pDamagedFirst = &v.damaged;
                      });

    int y = 20;
    const auto line = [&](const char* pszText)
    { y = DkPrintText(20, y, pszText, pFont, pSurface, nullptr, 17); };
    line(DkFormatString("PART %d", p));
    line("UV COORDS");
    if (HasPart(d, p) && d.apLive[p]->nCount > 0)
    {
        const DK_VERTEX& l = d.apLive[p]->pVertices[0];
        const DK_VERTEX& m = d.apDamaged[p]->pVertices[0];
        line(DkFormatString("(%d %d)  (%d %d)", static_cast<int>(l.u * 100),
                            static_cast<int>(l.v * 100), static_cast<int>(m.u * 100),
                            static_cast<int>(m.v * 100)));
    }
    line(DkFormatString("CURRENT DAMAGE %d", d.xDeformation[p] * 100 / ONE));
    line(d.anSmashed[p] ? "PART IS SMASHED" : "PART IS NOT SMASHED");
    line(DkFormatString("UNDAMAGED ID %d  DAMAGED ID %d",
                        d.apUndamagedTexture[p] ? *d.apUndamagedTexture[p] : kNoTexture,
                        d.apDamagedTexture[p] ? *d.apDamagedTexture[p] : kNoTexture));
}

// --- The super special stage's shell

void Damage_FindSuperSpecialShell(void)
{
    gpShellActor = nullptr;
    gpShellRest = gpShellLive = nullptr;
    if ((GameData_GetByte(kGameModeByte) & 3) != 0 || !IsSuperSpecialStage())
        return;
    const DK_ACTOR* pCar = gaLoadedCar[2].paCar;
    if (pCar == nullptr)
        return;
    DkLog("Actor pointed to");
    for (DK_ACTOR* pActor = pCar->pChild; pActor != nullptr; pActor = pActor->pNext)
    {
        const int nAttribute = static_cast<int>(pActor->uId & DK_ACTOR_ID_MASK);
        DkLog(DkFormatString("Attribute %d", nAttribute));
        DK_MODEL* pModel = PartModel(pActor);
        const char* pszWhy = nullptr;
        if (nAttribute == DAMAGE_MAIN_BODY_ATTRIBUTE && pModel != nullptr)
        {
            if (!LevelsInStep(pModel, &pszWhy))
            {
                DKREPORT(DkFormatString("Damage_FindSuperSpecialShell() : the shell %s", pszWhy));
                return;
            }
            gpShellActor = pActor;
            gpShellRest = pModel->aLevels[DAMAGE_REST_LEVEL].pFirstNode;
            gpShellLive = pModel->aLevels[DAMAGE_LIVE_LEVEL].pFirstNode;
            return;
        }
        DkLog("Got next actor");
    }
}

void Damage_DeformSuperSpecialShell(const DK_VECTOR* pCamera)
{
    if (gpShellActor == nullptr || pCamera == nullptr)
        return;
    const DK_VECTOR target = InActorAxes(gpShellActor, *pCamera);
    for (DK_MODEL_NODE *r = gpShellRest, *l = gpShellLive; r != nullptr && l != nullptr;
         r = r->pNext, l = l->pNext)
        for (int32_t i = 0; i < l->nNumVertices; ++i)
            PlaceToward(PositionOf(r->pVertices[i]), target, l->pVertices[i]);
}

// --- Byte images

uint32_t Damage_WriteRecord(const DamageRecord* pDamage, uint8_t* pOut, uint32_t uSize)
{
    if (pDamage == nullptr || pOut == nullptr || uSize < DAMAGE_RECORD_IMAGE_SIZE)
        return 0;
    std::memset(pOut, 0, DAMAGE_RECORD_IMAGE_SIZE);
    Writer w{pOut};
    WalkRecord(w, *pDamage);
    return DAMAGE_RECORD_IMAGE_SIZE;
}

BOOL Damage_ReadRecord(DamageRecord* pDamage, const uint8_t* pIn, uint32_t uSize)
{
    if (pDamage == nullptr)
        return FALSE;
    if (pIn == nullptr || uSize < DAMAGE_RECORD_IMAGE_SIZE)
    {
        DKREPORT(DkFormatString("Damage_ReadRecord() : %u bytes, a damage record takes %d", uSize,
                                DAMAGE_RECORD_IMAGE_SIZE));
        return FALSE;
    }
    // Into a copy that keeps the chains, so that a refused image changes nothing.
    DamageRecord d = *pDamage;
    Reader r{pIn};
    WalkRecord(r, d);
    if (const char* pszBad = BadIndex(d))
    {
        DKREPORT(DkFormatString("Damage_ReadRecord() : %s out of range", pszBad));
        return FALSE;
    }
    *pDamage = d;
    return TRUE;
}

uint32_t Damage_WriteWobble(const DamageWobble* pWobble, uint8_t* pOut, uint32_t uSize)
{
    if (pWobble == nullptr || pOut == nullptr || uSize < DAMAGE_WOBBLE_IMAGE_SIZE)
        return 0;
    std::memset(pOut, 0, DAMAGE_WOBBLE_IMAGE_SIZE);
    Writer w{pOut};
    WalkWobble(w, *pWobble);
    return DAMAGE_WOBBLE_IMAGE_SIZE;
}

BOOL Damage_ReadWobble(DamageWobble* pWobble, const uint8_t* pIn, uint32_t uSize)
{
    if (pWobble == nullptr || pIn == nullptr || uSize < DAMAGE_WOBBLE_IMAGE_SIZE)
        return FALSE;
    Reader r{pIn};
    WalkWobble(r, *pWobble);
    return TRUE;
}
