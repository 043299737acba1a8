// The developer's instruments: 21 named timing bars measured with the performance counter and
// painted from the bottom of the screen up, a frame-rate and polygon-rate counter over the
// device's statistics, and the four-line overlay (frame rate, polygons a frame, the track and
// object clip distances) the frame renderer draws after the scene in the alternative debug
// mode.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct DK_TEXTURE;

#define MAX_TIMEBARS 21
#define DK_TIMEBAR_NAME_LENGTH 32
// The colour of a free bar.
#define DK_TIMEBAR_FREE (-1)

#define DK_FPS_IMAGE_FILE "images\\fps2.bmp"

// Frees the bars from bar 0 up to the first already free, and clears the total's peak.
void DkResetTimeBars(void);
// Frees every bar and clears its name.
void DkClearTimeBarNames(void);
// Starts bar nIndex (0-20) in nColour, a fill value of the display's pixel format, under its
// name; FALSE for another index.
BOOL DkStartTimeBar(int nIndex, int32_t nColour, const char* pszName);
// Takes the counts since the bar's start (modulo 2^32); FALSE for an index outside 0-20.
BOOL DkStopTimeBar(int nIndex);
// Paint the used bars on the back surface, each in its row from the bottom up, labelled, with a
// peak held for 60 frames and tick marks every 75 pixels; the second also paints the sum of
// them all as one bar above them. Nothing on a 320-wide screen.
void DkDrawTimeBars(void);
void DkDrawTimeBarsWithTotal(void);

// Called once a frame: measures the frame rate and the triangles and vertices a frame over
// 51 frames.
void DkCountFrameRate(void);
int DkGetFrameRate(void);
// "FPS", "POLYS" and the two clip distances, in red at the top left.
void DkDrawDebugOverlay(void);
// The frame-rate image from the disc root; NULL when it cannot be loaded.
DK_TEXTURE* DkLoadFpsImage(void);
// Whether the last 3D view drawn was a game scene.
BOOL DkGetGameScene3D(void);
