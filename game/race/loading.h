// Stage loading: the display function of the stage's initialisation, the stage's path from
// the front end's choices, and the cars' model paths.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

// Room in every path buffer below.
#define STAGE_PATH_LENGTH 260

// The display function of the stage's initialisation: sets the display up and loads the stage
// (its files, cars, sounds, objects and cameras) behind the loading screen, then fades in. Once
// the display is up it returns at once; a car that does not load ends it early.
int32_t DispInitStage(void);

// Writes the stage's folder and file stem, relative to the game root ("NZ\3\NZ3"), into
// pszOut (STAGE_PATH_LENGTH bytes); a stage the tables do not hold leaves it empty, with a
// report. Returns 1 when the command line names the stage's base path itself (written whole).
int BuildTrackPath(char* pszOut);
// Writes a player's car folder ("OBJECTS\CARS\ORI") and car file stem ("ORIDAY") into the two
// buffers (STAGE_PATH_LENGTH bytes each); returns the car type.
int BuildCarObjectPath(int nPlayer, char* pszFolderOut, char* pszNameOut);
// The same for a car type.
void BuildCarTypePath(int nCarType, char* pszFolderOut, char* pszNameOut);
// The folder and the code of a car type (those of type 0 for a type outside the table).
const char* Loading_GetCarCode(int nCarType);

// Runs the stage files over the base path in their fixed order: pszSlot points at the path's
// four extension characters, which each step overwrites with its own. A missing file is
// skipped as its step says; none stops the stage.
void LoadStageData(char* pszPath, char* pszSlot);

struct DK_FONT;
struct DK_RECT;

// The game root with its trailing backslash: the registry's CD path + "\game", or "Q:\Game".
extern char gszGameRoot[STAGE_PATH_LENGTH];
void Loading_BuildGameRoot(void);
// The loading screen of the stage at pszBasePath (game root, folder and stem) with nSteps
// steps; a stage the podium follows shows the congratulations screen instead.
void Loading_Init(const char* pszBasePath, int nSteps);
// One step of the bar (drawn while the screen is shown), up to the limit; then a flip.
void Loading_Step(void);
int Loading_GetStep(void);
void Loading_DrawBar(int nStep, int32_t xFade);
BOOL Loading_IsShown(void);
void Loading_DrawStageCaption(DK_FONT* pTitle, DK_FONT* pData, int32_t xFade);
void Loading_EndScreen(void);
void Congrats_ShowScreen(void);
// Where the bar stands at a step on a screen of the size, and the separator line.
void Loading_GetBarLayout(int nWidth, int nHeight, int nStep, DK_RECT* pBar, DK_RECT* pLine);

// Set by "Stage Data Destructor" back to FALSE; TRUE once the stage is set up.
extern BOOL gboStageInitialised;
// The display device has less than 1,536,000 bytes of surface memory.
extern BOOL gboLowVideoMemory;

// The viewports' rectangles: the full screen twice, the top and bottom halves and the left and
// right halves.
#define NUM_VIEWPORT_RECTS 6
extern DK_RECT gaViewportRects[NUM_VIEWPORT_RECTS];
// The stage draws its effects: 3D bitmaps are in use and the weather and sky effects are on.
extern BOOL gboDoEffects;
