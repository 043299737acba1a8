// The core services every engine module may call: the log, the debugger output, the shared
// formatter, the failure reports behind the check macros, the critical section between the
// main thread and the timer thread, and the display's teardown that a heap reset runs first.
// engine/common calls them through this header alone; engine/pc implements them (the log and
// reports in core/dk_debug, the section in core/dk_timer, the teardown in display/2dinit), so
// nothing in engine/common sees the platform. A test of engine/common alone links its own.
#pragma once

#include "engine/include/dk_types.h"

#define DK_FORMAT_BUFFER_SIZE 520
#define DK_REPORT_BUFFER_SIZE 512

// Writes a line to the log file "c:\error.txt" while logging is on.
BOOL DkLog(const char* pszText);

// Traces that are compiled in but go nowhere.
BOOL DkDebugPrint(const char* pszText);

// The debugger output.
void DkDebugOutput(const char* pszText);

// Formats into one buffer per thread (DK_FORMAT_BUFFER_SIZE bytes, longer output is cut) and
// returns it; the text is valid until this thread's next call.
char* DkFormatString(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// Reports. A failed check never stops the program: it writes an "ASSERT() failed!" block to
// the log and the debugger output, and the caller goes on.
int DkTryBoolFailed(const char* pszMessage, int nLine, const char* pszFile);
int DkTryFuncBoolFailed(const char* pszMessage, int nLine, const char* pszFile);

// The check macros. Each yields TRUE when the check passed; a failure is reported with the
// line and source file of the check and yields FALSE.
inline BOOL DkCheckBool(BOOL ok, const char* msg, int line, const char* file)
{
    if (!ok)
        DkTryBoolFailed(msg, line, file);
    return ok ? TRUE : FALSE;
}

#define TRYBOOL(cond) DkCheckBool((cond) ? TRUE : FALSE, NULL, __LINE__, __FILE__)
#define TRYBOOL_MSG(cond, msg) DkCheckBool((cond) ? TRUE : FALSE, (msg), __LINE__, __FILE__)
#define TRYFUNCBOOL(cond) (((cond) ? TRUE : (DkTryFuncBoolFailed(NULL, __LINE__, __FILE__), FALSE)))
// A plain error message, reported where it stands.
#define DKREPORT(msg) DkTryBoolFailed((msg), __LINE__, __FILE__)

// The critical section, the one guard between the main thread and the timer thread. Entering
// waits for a tick already running on the timer thread. The section does not nest: the first
// exit ends it, and returns the result of a deferred tick it ran, else 0. On the timer thread
// both do nothing: a running tick already excludes the main thread's section.
void DkEnterCriticalSection(void);
int DkExitCriticalSection(void);

// Whether the section is held, and whether the caller is the timer thread.
BOOL DkIsInCriticalSection(void);
BOOL DkIsTimerThread(void);

// The display's teardown: marks its interfaces for release, then calls the destroy callbacks
// down to and including the display's. Objects on the heaps die with it, so a heap reset
// runs it first.
void DkMarkDirectDrawForRelease(void);
void DkDestroyDisplay(void);

// The scene graph's calls below engine/common. The actor tree (engine/common/dk_actor) keeps
// its root in the 3D context, files moving actors on the track blocks, and hands lights,
// cameras and execute buffers back to the modules of engine/pc/3d that own them.
struct DK_ACTOR;
struct DK_CAMERA;
struct DK_LIGHT;

// The world actor, root of the tree, kept in the 3D context (engine/pc/3d/3dinit).
DK_ACTOR* DkGetWorldActor(void);
void DkSetWorldActor(DK_ACTOR* pActor);
// Releases every entry of the execute-buffer table (engine/pc/3d/3dinit).
void DkReleaseExecuteBuffers(void);

// Track blocks (engine/pc/3d/dk_tblk). Visible: the show-all switch is on, or the block is in
// the visible set, or no set has been computed. In the set: the same without the switch.
BOOL DkIsTrackBlockVisible(int nBlock);
BOOL DkIsTrackBlockInVisibleSet(int nBlock);
// Re-files a moved actor on the block it now lies on.
void DkUpdateActorTrackBlock(DK_ACTOR* pActor);
// Appends the actor at the end of block nBlock's moveable list; FALSE for a block outside the
// grid, which leaves the actor on no block.
BOOL DkAppendActorToTrackBlock(DK_ACTOR* pActor, int nBlock);
// Clears every block record and the block count.
void DkClearTrackBlocks(void);

// Cameras (engine/pc/3d/cameras) and lights (engine/pc/3d/dk_light): removal of one record,
// of every record with the count set to 0, and the light's device description brought in step
// with its actor's world matrix.
void DkRemoveCamera(DK_CAMERA* pCamera);
void DkRemoveAllCameras(void);
void DkDeleteLight(DK_LIGHT* pLight);
void DkDeleteAllLights(void);
void DkSyncLightD3D(DK_ACTOR* pActor);
