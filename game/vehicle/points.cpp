#include "game/vehicle/points.h"

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/dk_file.h"
#include "game/vehicle/le_bytes.h"

int32_t gnNumSplitLines = 0;
RacingLine* gpRacingLines = nullptr;
int32_t gnNumRacingLines = 0;
WallLine* gpLoadedWallLines = nullptr;
int32_t gnNumLoadedWallLines = 0;
uint8_t* gpRacingLineBytes = nullptr;

namespace
{

constexpr int kRacingLineBytes = 64;
constexpr int kOldWallLineBytes = 24;
constexpr uint8_t kSplitType = 1;
constexpr int32_t kOldWallLineParam = -32768; // -0.5


// The two end points, as both files lead with them.
void ReadEnds(const uint8_t* p, TrackTrigger& r)
{
    r.ax = LeRead32(p + 0);
    r.ay = LeRead32(p + 4);
    r.az = LeRead32(p + 8);
    r.bx = LeRead32(p + 12);
    r.by = LeRead32(p + 16);
    r.bz = LeRead32(p + 20);
}

void ReadRecord(const uint8_t* p, TrackTrigger& r)
{
    ReadEnds(p, r);
    r.nx = LeRead32(p + 24);
    r.ny = LeRead32(p + 28);
    r.nz = LeRead32(p + 32);
    r.nParam = LeRead32(p + 36);
    r.uNext = static_cast<uint32_t>(LeRead32(p + 40)); // the block index until the blocks are built
    r.uType = p[44];
    r.uTwoSided = p[45];
    r.uPlayerBits = p[46];
    r.uUnused = p[47];
}

// One line stored for several blocks: the same end points on the ground.
bool IdenticalNeighbours(const TrackTrigger& a, const TrackTrigger& b)
{
    return a.ax == b.ax && a.az == b.az && a.bx == b.bx && a.bz == b.bz;
}

void ForgetOldLines(void)
{
    gpRacingLines = nullptr;
    gnNumRacingLines = 0;
    gpLoadedWallLines = nullptr;
    gnNumLoadedWallLines = 0;
    gpRacingLineBytes = nullptr;
}

} // namespace

TrackTrigger* Points_ReadTriggers(const uint8_t* pBytes, uint32_t uSize)
{
    const int32_t nCount = pBytes != nullptr ? static_cast<int32_t>(uSize / POINTS_RECORD_SIZE) : 0;
    TrackTrigger* pRecords = nullptr;
    if (nCount > 0)
        pRecords = static_cast<TrackTrigger*>(DkHeapAlloc(nCount * sizeof(TrackTrigger)));
    gnNumWallLines = pRecords != nullptr ? nCount : 0;
    for (int32_t i = 0; i < gnNumWallLines; ++i)
        ReadRecord(pBytes + static_cast<size_t>(i) * POINTS_RECORD_SIZE, pRecords[i]);
    DkLog(DkFormatString("\nNumber of wall lines: %d\n", gnNumWallLines));
    return pRecords;
}

TrackTrigger* Points_LoadTriggerFile(const char* pszName, int nKind)
{
    const uint8_t* pFile = static_cast<const uint8_t*>(DkMallocLoadFile(pszName, nKind));
    if (pFile == nullptr)
    {
        gnNumWallLines = 0;
        gpWallLines = nullptr;
        return nullptr;
    }
    TrackTrigger* pRecords = Points_ReadTriggers(pFile, DkGetLastFileSize());
    DkHeapFree(const_cast<uint8_t*>(pFile));
    return pRecords;
}

void Points_NumberSplitLines(TrackTrigger* pRecords)
{
    gnNumSplitLines = 0;
    const int32_t n = pRecords != nullptr ? gnNumWallLines : 0;
    for (int32_t i = 0; i < n;)
    {
        TrackTrigger& first = pRecords[i];
        if (first.uType == kSplitType)
            first.uPlayerBits = static_cast<uint8_t>(gnNumSplitLines++);
        for (++i; i < n && IdenticalNeighbours(pRecords[i - 1], pRecords[i]); ++i)
            pRecords[i].nParam = first.nParam;
    }
    DkLog(DkFormatString("%d Split Lines found", gnNumSplitLines));
}

void Points_ClearWallLines(TrackTrigger* pRecords)
{
    gpWallLines = pRecords;
    gnNumSplitLines = 0;
    if (pRecords == nullptr)
        return;
    for (int32_t i = 0; i < gnNumWallLines; ++i)
        pRecords[i].uPlayerBits = 0;
}

int32_t Points_GetSplitCount(void)
{
    return gnNumSplitLines;
}

BOOL Points_Load(const uint8_t* pBytes, uint32_t uSize)
{
    Points_Destructor();
    if (pBytes == nullptr || uSize < 4)
    {
        DKREPORT("Points_Load() : no racing-line count");
        return FALSE;
    }
    uint32_t uAt = 0;
    const int32_t nRacing = LeRead32(pBytes);
    uAt += 4;
    DkLog(DkFormatString("Number of racing lines: %d\n", nRacing));
    if (nRacing > POINTS_MAX_RACING_LINES)
    {
        DKREPORT("Error, must be < 500 lines");
        return FALSE;
    }
    if (nRacing < 0)
    {
        DKREPORT(DkFormatString("Points_Load() : %d racing lines", nRacing));
        return FALSE;
    }
    DkLog(DkFormatString("Number racing lines: %d\n", nRacing));
    const uint32_t uRacingBytes = static_cast<uint32_t>(nRacing) * kRacingLineBytes;
    if (uSize - uAt < uRacingBytes + 4)
    {
        DKREPORT(DkFormatString("Points_Load() : %d racing lines need %u bytes, the file has %u",
                                nRacing, uAt + uRacingBytes + 4, uSize));
        return FALSE;
    }
    const uint8_t* pRacing = pBytes + uAt;
    for (int32_t i = 0; i < nRacing; ++i)
        DkLog(DkFormatString("%d %d\n", LeRead32(pRacing + i * kRacingLineBytes),
                             LeRead32(pRacing + i * kRacingLineBytes + 4)));
    uAt += uRacingBytes;
    const int32_t nWalls = LeRead32(pBytes + uAt);
    uAt += 4;
    DkLog(DkFormatString("Num of wall lines: %d\n", nWalls));
    if (nWalls < 0)
    {
        DKREPORT("ERROR, Number of wall lines less than 0");
        return FALSE;
    }
    if (nWalls > POINTS_MAX_WALL_LINES)
    {
        DKREPORT("ERROR, Too many wall lines");
        return FALSE;
    }
    const uint32_t uWallBytes = static_cast<uint32_t>(nWalls) * kOldWallLineBytes;
    if (uSize - uAt < uWallBytes + static_cast<uint32_t>(nRacing))
    {
        DKREPORT(DkFormatString("Points_Load() : %d racing and %d wall lines need %u bytes, the "
                                "file has %u",
                                nRacing, nWalls, uAt + uWallBytes + nRacing, uSize));
        return FALSE;
    }
    const uint8_t* pWalls = pBytes + uAt;
    const uint8_t* pLineBytes = pWalls + uWallBytes;

    RacingLine* pRacingLines =
        static_cast<RacingLine*>(DkHeapAlloc(static_cast<size_t>(nRacing) * sizeof(RacingLine)));
    WallLine* pWallLines =
        static_cast<WallLine*>(DkHeapAlloc(static_cast<size_t>(nWalls) * sizeof(WallLine)));
    uint8_t* pRacingLineBytes = static_cast<uint8_t*>(DkHeapAlloc(static_cast<size_t>(nRacing)));
    if (pRacingLines == nullptr || pWallLines == nullptr || pRacingLineBytes == nullptr)
        return FALSE; // the heap has reported it
    for (int32_t i = 0; i < nRacing; ++i)
    {
        for (int w = 0; w < 16; ++w)
            pRacingLines[i].anWords[w] = LeRead32(pRacing + i * kRacingLineBytes + w * 4);
        pRacingLineBytes[i] = pLineBytes[i];
    }
    for (int32_t i = 0; i < nWalls; ++i)
    {
        WallLine& line = pWallLines[i]; // zeroed by the heap
        ReadEnds(pWalls + i * kOldWallLineBytes, line);
        line.nParam = kOldWallLineParam;
        line.uPlayerBits = 0;
    }
    gpRacingLines = pRacingLines;
    gnNumRacingLines = nRacing;
    gpLoadedWallLines = pWallLines;
    gnNumLoadedWallLines = nWalls;
    gpRacingLineBytes = pRacingLineBytes;
    if (!DkIsDestructorAdded(Points_Destructor))
        DkAddDestructor(Points_Destructor, "Points Destructor!");
    return TRUE;
}

BOOL Points_Destructor(void)
{
    if (gpRacingLines != nullptr)
        DkHeapFree(gpRacingLines);
    if (gpLoadedWallLines != nullptr)
        DkHeapFree(gpLoadedWallLines);
    if (gpRacingLineBytes != nullptr)
        DkHeapFree(gpRacingLineBytes);
    ForgetOldLines();
    return TRUE;
}
