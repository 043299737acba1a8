#include "tools/datakit/lines_writer.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace datakit
{

namespace
{

int32_t Fixed(double v)
{
    if (!std::isfinite(v) || std::fabs(v) > 32767.0)
        throw Error("trigger line: coordinate " + std::to_string(v) + " is beyond +-32,767.0");
    return static_cast<int32_t>(std::llround(v * 65536.0));
}

// Whether the segment touches the closed box (Liang-Barsky).
bool SegmentTouchesBox(double ax, double az, double bx, double bz, double loX, double loZ,
                       double hiX, double hiZ)
{
    double t0 = 0.0, t1 = 1.0;
    const double dx = bx - ax, dz = bz - az;
    const double p[4] = {-dx, dx, -dz, dz};
    const double q[4] = {ax - loX, hiX - ax, az - loZ, hiZ - az};
    for (int i = 0; i < 4; ++i)
    {
        if (p[i] == 0.0)
        {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    return true;
}

} // namespace

std::vector<uint8_t> FormatTriggerRecords(const std::vector<TriggerRecord>& records)
{
    std::vector<uint8_t> out;
    out.reserve(records.size() * kTriggerRecordSize);
    for (const TriggerRecord& r : records)
    {
        for (const auto* three : {&r.a, &r.b, &r.normal})
            for (int32_t v : *three)
                AppendLittleEndian(out, static_cast<uint32_t>(v), 4);
        AppendLittleEndian(out, static_cast<uint32_t>(r.param), 4);
        AppendLittleEndian(out, r.block, 4);
        out.insert(out.end(), {r.type, r.twoSided, r.playerBits, 0});
    }
    return out;
}

std::vector<uint32_t> BlocksCrossed(const BlockGrid& grid, double ax, double az, double bx,
                                    double bz)
{
    std::vector<uint32_t> blocks;
    const double h = grid.cell / 2;
    for (int row = 0; row < grid.rows; ++row)
        for (int column = 0; column < grid.columns; ++column)
        {
            const double cx = grid.firstColumnX + column * grid.cell;
            const double cz = grid.firstRowZ - row * grid.cell;
            if (SegmentTouchesBox(ax, az, bx, bz, cx - h, cz - h, cx + h, cz + h))
                blocks.push_back(static_cast<uint32_t>(row * grid.columns + column));
        }
    return blocks;
}

std::vector<TriggerRecord> TriggerRecordsFor(const std::vector<TriggerLine>& lines,
                                             const BlockGrid& grid)
{
    std::vector<TriggerRecord> records;
    for (const TriggerLine& line : lines)
    {
        const double dx = line.bx - line.ax, dz = line.bz - line.az;
        const double length = std::hypot(dx, dz);
        if (length == 0.0)
            throw Error("trigger line: its ends are one point on the ground");
        const std::vector<uint32_t> blocks =
            BlocksCrossed(grid, line.ax, line.az, line.bx, line.bz);
        if (blocks.empty())
            throw Error("trigger line: it lies on no track block");
        TriggerRecord r;
        r.a = {Fixed(line.ax), Fixed(line.ay), Fixed(line.az)};
        r.b = {Fixed(line.bx), Fixed(line.by), Fixed(line.bz)};
        r.normal = {Fixed(dz / length), 0, Fixed(-dx / length)};
        r.param = line.param;
        r.type = line.type;
        r.twoSided = line.twoSided ? 1 : 0;
        for (uint32_t block : blocks)
        {
            r.block = block;
            records.push_back(r);
        }
    }
    return records;
}

std::vector<uint8_t> FormatTriggerFile(const std::vector<TriggerLine>& lines, const BlockGrid& grid)
{
    return FormatTriggerRecords(TriggerRecordsFor(lines, grid));
}

std::vector<uint8_t> FormatOldLinesFile(const OldLinesFile& file)
{
    if (file.racingLineBytes.size() != file.racingLines.size())
        throw Error("lines file: " + std::to_string(file.racingLineBytes.size()) + " bytes for " +
                    std::to_string(file.racingLines.size()) + " racing lines");
    std::vector<uint8_t> out;
    AppendLittleEndian(out, static_cast<uint32_t>(file.racingLines.size()), 4);
    for (const auto& line : file.racingLines)
        for (int32_t word : line)
            AppendLittleEndian(out, static_cast<uint32_t>(word), 4);
    AppendLittleEndian(out, static_cast<uint32_t>(file.wallLines.size()), 4);
    for (const auto& line : file.wallLines)
        for (int32_t word : line)
            AppendLittleEndian(out, static_cast<uint32_t>(word), 4);
    out.insert(out.end(), file.racingLineBytes.begin(), file.racingLineBytes.end());
    return out;
}

} // namespace datakit
