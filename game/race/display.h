// The display functions of the game states: the 2D screens of the entry states and the frame of
// the running states. A running state's frame blends the scene between the last two ticks and
// takes the frame's copy of the tick's other values (the frame snapshot) inside the engine's
// critical section, then draws every viewport from the snapshot with the section left, so a
// long frame never holds a tick back.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

int32_t DispStateNone(void);
int32_t DispInitGame(void);
int32_t DispWelcome(void);
int32_t DispSetupRepair(void);
int32_t DispRace(void);
int32_t DispSchool(void);
int32_t DispEndStage(void);
int32_t DispExitPan(void);
int32_t DispPause(void);
int32_t DispLeaveGame(void);

#define DISP_PLAYERS 2

// The start sequence's phase as the frame draws it.
#define DISP_START_NONE 0
#define DISP_START_WAIT 1
#define DISP_START_LIGHTS 2
#define DISP_START_RUN_IN 3

// What a frame reads of the tick besides the blend, copied inside the critical section.
struct DISP_FRAME_SNAPSHOT
{
    int32_t nState;   // the game state whose display runs
    int32_t nPlayers; // gNumberOfPlayers
    int32_t xFraction;
    BOOL aboFinished[DISP_PLAYERS];
    int32_t anStartHold[DISP_PLAYERS];
    int32_t anStartPhase[DISP_PLAYERS];
    int32_t anLightsLeft[DISP_PLAYERS];
    int32_t anLightTicks[DISP_PLAYERS];
    int32_t anRunIn[DISP_PLAYERS];
    int32_t nStepTicks;
    int32_t anStageHundredths[DISP_PLAYERS];
    int16_t anSplitIndex[DISP_PLAYERS];
    int32_t anCameraType[DISP_PLAYERS];
    BOOL boEndStageSelected; // the end-stage screens' selection is made
    BOOL boNetworkReady;     // this machine waits for the network's other players
};
extern DISP_FRAME_SNAPSHOT gDispFrame;

// Each player's viewport of the frame (one of the stage's rectangles).
extern DK_RECT gaPlayerViewport[DISP_PLAYERS];
// The debug overlay (frame rate, the OSD's debug lines) over the frame.
extern BOOL gboDebugOverlay;

// The frame snapshot, taken inside the critical section right after the blend; it also passes
// on to the tick what the last frame decided (a super special stage's finish display run out).
void Disp_TakeFrameSnapshot(int32_t xFraction);

// Draws every viewport of the frame from the snapshot: one, or the two players' in a
// two-player race or pause. With boFlip the frame is flipped; with boStartLights the first
// viewport shows the start's waiting text, light or run-in.
void Disp_RenderFrame(BOOL boFlip, BOOL boPauseLayer, BOOL boStartLights);
// Frames rendered since the program started.
int32_t Disp_GetFrameCount(void);
// A recorder of one scene for each player: 7,500 frames, 15,000 at 50 ticks a second.
void Disp_AllocReplayStates(void);
// Loads the image file into pSurface, or with boCreate into a new surface (colour-keyed with
// boKeepColourKey); NULL when the file is missing or empty.
DK_SURFACE* LoadImageToSurface(DK_SURFACE* pSurface, const char* pszPath, BOOL boCreate,
                               BOOL boKeepColourKey, int nLoadKind);
void Disp_NoOp(int nPlayer);
void NoteTextureLoaded(void* pTexture);

struct DK_FONT;
// The results screens' fonts, loaded for the screen's width by LoadResultFonts: headings,
// names and times, the options not chosen.
extern DK_FONT* gpTitleFont;
extern DK_FONT* gpResultFont;
extern DK_FONT* gpResultGrFont;
// From "fonts\<size>\" under the game root: "result.fon" and "resultgr.fon" by the width (320,
// 512 or 640, else 800), "title.fon" by the width (320, 512, else 640: there is no 800 title).
void LoadResultFonts(void);

// Test hooks: what the last Disp_RenderFrame drew, and a fresh start.
struct DispFrameRecord
{
    BOOL boDrawn; // FALSE: returned at once
    int nViewports;
    DK_RECT aViewports[DISP_PLAYERS];
    int nFadeAlpha;    // the fade layer's alpha, -1 none
    int nStartPhase;   // DISP_START_* drawn, or DISP_START_NONE
    int nLightAlpha;   // the light or run-in light's alpha
    DK_RECT lightRect; // where it was drawn
    int nLightSource;  // the countdown light's source rectangle (0..4), -1 none
    int nFinishCalls;  // Osd_DrawFinish calls
    int nRenders;      // DkRender3D calls
};
DispFrameRecord Disp_GetFrameRecordForTests(void);
void Disp_ResetForTests(void);
