#include "game/hud/catseye.h"

#include <cstdlib>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/splttime.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/le_bytes.h"

int32_t gaCatsEyeHead[8];
CatsEyeRecord* gpCatsEyes = nullptr;
int32_t gnNumCatsEyes = 0;
int32_t gaNearestCheckpoint[8];
uint32_t gaBestSplitTimes[NUM_SPLIT_TIMES] = {
    NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE,
    NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE,
    NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE};

namespace
{

constexpr int kCars = 8;
// Backward passes in a row after which the wrong-way text shows, and for how many frames.
constexpr int kWrongWayPasses = 5;
constexpr int kWrongWayFrames = 15;
// Beyond this the vector to a cat's eye is scaled down before it is normalised.
constexpr int64_t kNormaliseLimit = 100LL << 16;
// A chain's indices are taken as 16.16 numbers, so it holds fewer records than 32768.
constexpr uint32_t kMaxCatsEyes = 32767;

uint8_t gaWrongWayCount[kCars];
uint8_t gaWrongWayTimer[kCars];
// Per car, the laps still to run on the closed loop of a super special stage.
int32_t gaLapsLeft[kCars];

bool ValidCar(int nCar)
{
    return nCar >= 0 && nCar < kCars;
}

// The stage is run from its finish to its start.
bool ReversedChain(void)
{
    return !DkEntries().IsRallySchool() && GameData_IsOptionSet(OPTION_REVERSE_DIRECTION) &&
           !IsSuperSpecialStage();
}

// Once the stage's heap goes, so does the chain.
BOOL CatsEye_Destructor(void)
{
    gpCatsEyes = nullptr;
    gnNumCatsEyes = 0;
    return TRUE;
}

void ReadRecord(const uint8_t* p, CatsEyeRecord* pRecord)
{
    pRecord->x = LeRead32(p + 0);
    pRecord->y = LeRead32(p + 4);
    pRecord->z = LeRead32(p + 8);
    pRecord->dirX = LeRead32(p + 12);
    pRecord->dirY = LeRead32(p + 16);
    pRecord->dirZ = LeRead32(p + 20);
    // A split point is passed by each player once: one bit a player.
    pRecord->splitFlags = p[24] != 0 ? 0xFF : 0;
    pRecord->noPlace = p[25];
    pRecord->order = LeRead16(p + 26);
}

// Records i and N-1-i change places, facing the other way.
void ReverseChain(CatsEyeRecord* pRecords, int32_t nCount)
{
    const auto turn = [nCount](CatsEyeRecord& r)
    {
        r.dirX = FfNeg(r.dirX);
        r.dirY = FfNeg(r.dirY);
        r.dirZ = FfNeg(r.dirZ);
        r.order = static_cast<uint16_t>(nCount - 1 - r.order);
    };
    for (int32_t i = 0, j = nCount - 1; i <= j; ++i, --j)
    {
        const CatsEyeRecord a = pRecords[i];
        pRecords[i] = pRecords[j];
        pRecords[j] = a;
        turn(pRecords[i]);
        if (i != j)
            turn(pRecords[j]);
    }
}

// The flat unit vector from the car to cat's eye e.
DK_VECTOR FlatToward(const DK_VECTOR& car, const CatsEyeRecord& e)
{
    int64_t d[3] = {static_cast<int64_t>(e.x) - car.x, static_cast<int64_t>(e.y) - car.y,
                    static_cast<int64_t>(e.z) - car.z};
    const auto outside = [](int64_t v) { return std::llabs(v) > kNormaliseLimit; };
    if (outside(d[0]) || outside(d[1]) || outside(d[2]))
        for (int64_t& v : d)
            v /= 512;
    // Far across the world the flat part may still be too long to square in 16.16.
    while (outside(d[0]) || outside(d[2]))
    {
        d[0] /= 512;
        d[2] /= 512;
    }
    DK_VECTOR v{static_cast<int32_t>(d[0]), 0, static_cast<int32_t>(d[2])};
    FfVecNormalise(&v, &v);
    return v;
}

// The sign of the cat's eye's direction against the way from the car to it: negative once the
// car has passed it, positive while the car is behind it.
int32_t FacingSign(int nCar, const CatsEyeRecord& e)
{
    const DK_VECTOR flat = FlatToward(gaCarBody[nCar].Position, e);
    const DK_VECTOR dir{e.dirX, e.dirY, e.dirZ};
    return FfVecDot(&dir, &flat);
}

// A backward pass: the wrong-way text shows after several in a row.
void CountBackwardPass(int nCar)
{
    if (gaWrongWayCount[nCar] == kWrongWayPasses)
        gaWrongWayTimer[nCar] = kWrongWayFrames;
    else
        ++gaWrongWayCount[nCar];
}

} // namespace

void CatsEye_ResetState(void)
{
    for (int n = 0; n < kCars; ++n)
    {
        gaCatsEyeHead[n] = 0;
        gaWrongWayCount[n] = gaWrongWayTimer[n] = 0;
        gaLapsLeft[n] = 1;
    }
}

void CatsEye_PlaceCar(int) {}

void CatsEye_UpdateCar(int nCar)
{
    if (!ValidCar(nCar) || gpCatsEyes == nullptr)
        return;
    int32_t& nHead = gaCatsEyeHead[nCar];
    if (nHead < 0)
        nHead = 0;
    if (nHead < gnNumCatsEyes)
    {
        if (FacingSign(nCar, gpCatsEyes[nHead]) < 0)
        {
            if (nHead == 0)
                gaWrongWayTimer[nCar] = 0;
            gaWrongWayCount[nCar] = 0;
            ++nHead;
        }
        else if (nHead > 0 && FacingSign(nCar, gpCatsEyes[nHead - 1]) > 0)
        {
            CountBackwardPass(nCar);
            --nHead;
        }
    }
    // Only the two players' cars finish.
    if (nHead >= gnNumCatsEyes && nCar < SPLIT_PLAYERS && !DkEntries().IsRallySchool() &&
        !HasPlayerFinished(nCar))
        OnPlayerFinished(nCar);
}

void CatsEye_UpdateCarLoop(int nCar)
{
    if (!ValidCar(nCar) || gpCatsEyes == nullptr)
        return;
    const int32_t n = gnNumCatsEyes;
    int32_t& nHead = gaCatsEyeHead[nCar];
    if (nHead < 0 || nHead >= n)
        nHead = 0;
    // The car's own start on the loop offsets its chain.
    const int32_t nOffset = gaNearestCheckpoint[nCar] >= 0 ? gaNearestCheckpoint[nCar] % n : 0;
    const int32_t nTested = (nHead + nOffset) % n;
    if (FacingSign(nCar, gpCatsEyes[nTested]) < 0)
    {
        gaWrongWayTimer[nCar] = gaWrongWayCount[nCar] = 0;
        ++nHead;
        if (nHead >= n)
        {
            nHead = 0;
            --gaLapsLeft[nCar];
            DkLog(DkFormatString("Positive wrap for player %d", nCar));
        }
        else if (nHead == 1 && gaLapsLeft[nCar] < 1 && nCar < SPLIT_PLAYERS &&
                 !HasPlayerFinished(nCar))
        {
            gaPlayerFinishTime[nCar] = StageTimer_GetHundredths(nCar);
            OnPlayerFinished(nCar);
        }
    }
    else if (nTested > 0 && FacingSign(nCar, gpCatsEyes[nTested - 1]) > 0)
    {
        CountBackwardPass(nCar);
        --nHead;
        if (nHead < 0)
        {
            nHead = n - 1;
            ++gaLapsLeft[nCar];
            DkLog(DkFormatString("Negative wrap for player %d", nCar));
        }
    }
}

CatsEyeRecord* CatsEye_ReadChain(const uint8_t* pData, uint32_t uSize, int32_t* pnCount)
{
    *pnCount = 0;
    // Whole records only: a shorter tail is ignored.
    const uint32_t uCount = pData != nullptr ? uSize / CATSEYE_RECORD_SIZE : 0;
    if (uCount == 0 ||
        !TRYBOOL_MSG(uCount <= kMaxCatsEyes, "Too many cat's eyes in the stage's chain"))
        return nullptr;
    auto* pRecords = static_cast<CatsEyeRecord*>(DkHeapAlloc(uCount * sizeof(CatsEyeRecord)));
    if (pRecords == nullptr)
        return nullptr;
    for (uint32_t i = 0; i < uCount; ++i)
        ReadRecord(pData + i * CATSEYE_RECORD_SIZE, &pRecords[i]);
    *pnCount = static_cast<int32_t>(uCount);
    return pRecords;
}

void CatsEye_Load(const char* pszPath)
{
    gpCatsEyes = nullptr;
    gnNumCatsEyes = 0;
    // A stage without cat's eyes is no fault: the file is only read when it is there.
    if (DkGetFileSize(pszPath, DKLF_AS_GIVEN) == 0)
        return;
    void* pFile = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pFile == nullptr)
        return;
    int32_t nCount = 0;
    CatsEyeRecord* pRecords =
        CatsEye_ReadChain(static_cast<const uint8_t*>(pFile), DkGetLastFileSize(), &nCount);
    DkHeapFree(pFile);
    if (pRecords == nullptr)
        return;
    if (ReversedChain())
        ReverseChain(pRecords, nCount);
    gpCatsEyes = pRecords;
    gnNumCatsEyes = nCount;
    if (!DkIsDestructorAdded(CatsEye_Destructor))
        DkAddDestructor(CatsEye_Destructor, "CatsEye_Destructor");
}

BOOL CatsEye_IsWrongWay(int nCar)
{
    return ValidCar(nCar) && gaWrongWayCount[nCar] == kWrongWayPasses ? TRUE : FALSE;
}

void OverrideSuperSpecialTime(int) {}
