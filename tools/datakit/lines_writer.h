// Trigger files (".dat") and the older combined lines file.
//
// A trigger file is a headerless array of 48-byte records, little-endian:
//
//   bytes 0-23    end points A and B: x, y, z each, signed 32-bit 16.16
//   bytes 24-35   the line's unit normal, 16.16; its direction along the ground is then
//                 (-nz, 0, nx), from A towards B
//   bytes 36-39   parameter: a pace-note call word, a cat's-eye index or a school line index
//   bytes 40-43   the index of the track block the record is filed on
//   byte 44       type (0 pace note, 1 split marker, 2 wall, 3 school line, 6 finish, 7 to 11
//                 camera sets, 12 to 20 walls of nine materials, 21 timed event, 22 wall with
//                 impact particles)
//   byte 45       two-sided flag
//   byte 46       per-player fired bits, 0 on file
//   byte 47       0
//
// A line crossing several track blocks is stored once per block, the copies side by side.
//
// The older combined lines file: a signed 32-bit racing-line count, that many racing lines of
// sixteen signed 32-bit words, a signed 32-bit wall-line count, that many wall lines of two
// points (x, y, z 16.16 each), then one byte per racing line.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

inline constexpr size_t kTriggerRecordSize = 48;

// Line types.
inline constexpr uint8_t kPaceNote = 0;
inline constexpr uint8_t kSplit = 1;
inline constexpr uint8_t kWall = 2;
inline constexpr uint8_t kFinish = 6;
inline constexpr uint8_t kFirstCameraSet = 7;
inline constexpr uint8_t kTimedEvent = 21;
inline constexpr uint8_t kParticleWall = 22;

struct TriggerRecord
{
    std::array<int32_t, 3> a{}; // 16.16
    std::array<int32_t, 3> b{};
    std::array<int32_t, 3> normal{};
    int32_t param = 0;
    uint32_t block = 0;
    uint8_t type = 0;
    uint8_t twoSided = 0;
    uint8_t playerBits = 0;
};

std::vector<uint8_t> FormatTriggerRecords(const std::vector<TriggerRecord>& records);

// The stage's track blocks: square cells in rows of equal z, row 0 holding the largest z,
// columns running towards +x; block = row x columns + column.
struct BlockGrid
{
    double cell = 32.0;
    double firstColumnX = 0.0; // centre of column 0
    double firstRowZ = 0.0;    // centre of row 0
    int columns = 1;
    int rows = 1;
};

// The blocks whose squares (edges included) the segment from (ax, az) to (bx, bz) touches, in
// block order.
std::vector<uint32_t> BlocksCrossed(const BlockGrid& grid, double ax, double az, double bx,
                                    double bz);

// A line in world units.
struct TriggerLine
{
    double ax, ay, az;
    double bx, by, bz;
    uint8_t type;
    bool twoSided;
    int32_t param;
};

// One record per block the line crosses (Error for a line on no block, or of no length on the
// ground), with the normal (dz, 0, -dx) of its unit direction (dx, dz) from A to B: a
// one-sided line faces a car coming from the normal's side.
std::vector<TriggerRecord> TriggerRecordsFor(const std::vector<TriggerLine>& lines,
                                             const BlockGrid& grid);
std::vector<uint8_t> FormatTriggerFile(const std::vector<TriggerLine>& lines,
                                       const BlockGrid& grid);

struct OldLinesFile
{
    std::vector<std::array<int32_t, 16>> racingLines;
    std::vector<std::array<int32_t, 6>> wallLines; // A then B, 16.16
    std::vector<uint8_t> racingLineBytes;          // one a racing line
};

std::vector<uint8_t> FormatOldLinesFile(const OldLinesFile& file);

} // namespace datakit
