// The data kit's trigger lines loaded as the stage loader loads a stage's lines, on the track
// blocks of the ground's grid.
#include <cmath>
#include <cstring>

#include "engine/pc/3d/dk_tblk.h"
#include "game/vehicle/points.h"
#include "tools/bench/car_drive.h"
#include "tools/datakit/grounds.h"

namespace drive
{

bool LoadLines(const datakit::Ground& ground)
{
    ClearLines();
    const std::vector<uint8_t> bytes = datakit::FormatTriggerFile(ground.lines, ground.blocks);
    TrackTrigger* pRecords = Points_ReadTriggers(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (pRecords == nullptr)
        return false;
    Points_NumberSplitLines(pRecords);
    Points_ClearWallLines(pRecords);
    const datakit::BlockGrid& grid = ground.blocks;
    for (int r = 0; r < grid.rows; ++r)
        for (int c = 0; c < grid.columns; ++c)
            gaTrackBlocks[r * grid.columns + c].Reference = {
                static_cast<int32_t>(std::lround((grid.firstColumnX + c * grid.cell) * 65536.0)),
                0,
                static_cast<int32_t>(std::lround((grid.firstRowZ - r * grid.cell) * 65536.0))};
    guNumTrackBlocks = static_cast<uint32_t>(grid.rows * grid.columns);
    DkInitialiseTrackBlocks();
    return true;
}

void ClearLines(void)
{
    std::memset(gaTrackBlocks, 0, sizeof gaTrackBlocks);
    guNumTrackBlocks = 0;
    gpWallLines = nullptr;
    gnNumWallLines = 0;
}

} // namespace drive
