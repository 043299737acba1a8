// The stage's trigger lines (walls, pace notes, split markers, camera sets, the finish, the
// timed event), read from the stage's ".dat" file and prepared for the trigger processing: the
// split markers counted, identical neighbouring records (one line stored once per track block
// it crosses) given one parameter, and every record's per-player fired bits cleared. Also the
// loader of an older combined file of racing lines and wall lines, which nothing calls.
//
// The ".dat" file is a headerless array of 48-byte TrackTrigger records (dk_trigger.h); a tail
// shorter than a record is ignored. Offset 40 holds the index of the track block the record is
// filed on, which the track-block build turns into the next line's index plus one.
//
// The older combined file: a signed 32-bit racing-line count, that many 64-byte racing lines
// (sixteen signed 32-bit words), a signed 32-bit wall-line count, that many 24-byte wall lines
// (two points of three 16.16 numbers), then one byte per racing line.
#pragma once

#include <cstdint>

#include "engine/include/dk_trigger.h"
#include "engine/include/dk_types.h"

#define POINTS_RECORD_SIZE 48
#define POINTS_MAX_RACING_LINES 499
#define POINTS_MAX_WALL_LINES 1023

struct RacingLine
{
    int32_t anWords[16];
};
static_assert(sizeof(RacingLine) == 64, "a racing line is 64 bytes");

// A wall line of the older file in memory: a trigger record with its two points, parameter
// -0.5 and no fired bits.
typedef TrackTrigger WallLine;

// The split markers counted by Points_NumberSplitLines; Points_ClearWallLines sets it back to 0.
extern int32_t gnNumSplitLines;

// What Points_Load read: racing lines, wall lines and the racing lines' bytes.
extern RacingLine* gpRacingLines;
extern int32_t gnNumRacingLines;
extern WallLine* gpLoadedWallLines;
extern int32_t gnNumLoadedWallLines;
extern uint8_t* gpRacingLineBytes;

// Reads the ".dat" bytes into a table of records on the main heap, one a whole 48 bytes, and
// keeps their count in gnNumWallLines; logs the count. NULL (and a count of 0) when the bytes
// hold no whole record.
TrackTrigger* Points_ReadTriggers(const uint8_t* pBytes, uint32_t uSize);
// Loads the ".dat" file and reads it. A missing file leaves the stage without trigger lines:
// count 0 and no table.
TrackTrigger* Points_LoadTriggerFile(const char* pszName, int nKind);

// Counts the split markers (type 1), one a run of identical neighbours, and gives every
// following neighbour of a run the run's first parameter word.
void Points_NumberSplitLines(TrackTrigger* pRecords);
// Makes the records the stage's trigger table, clears every record's fired bits and the split
// count.
void Points_ClearWallLines(TrackTrigger* pRecords);
int32_t Points_GetSplitCount(void);

// The older combined file. Stops at the first count outside its limits or past the bytes, with
// a report, and leaves nothing loaded; registers "Points Destructor!".
BOOL Points_Load(const uint8_t* pBytes, uint32_t uSize);
BOOL Points_Destructor(void);
