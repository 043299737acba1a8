// The DK3D reader: a whole ".c3d" file image in memory made, in one call, into textures and
// animated textures, models with up to four detail levels, actors, fixed models and track
// blocks. The load kind decides how the same content is placed and coloured. The reader keeps
// nothing between calls but the switches below and what it put in the engine's tables.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct DK_ACTOR;
struct DK_MODEL;
struct DK_TEXTURE;

// Load kinds.
#define DK3D_TRACK 0       // stage track: one world-space block per object after the first
#define DK3D_NIGHT_TRACK 1 // the same at night
#define DK3D_OBJECTS 2     // stage scenery: fixed models, then actors
#define DK3D_SHADOWS 3     // shadow casters, world space
#define DK3D_HORIZON 4     // the sky
#define DK3D_CAR 5         // car bodies and the driver's head: fresh textures, vertex copies
#define DK3D_MEDIUM_CAR 6  // medium-detail and remote cars
#define DK3D_SELECT_CAR 8  // the car-select models
#define DK3D_DRIVER_HEAD 9 // driver heads, textures and levels shared by name
#define DK3D_MAX_KIND 9

// Options.
#define DK3D_OPT_UNLIT 0x01      // build device-lit vertices (type 1) rather than lit ones
#define DK3D_OPT_CAR_LIGHT 0x08  // sets gboCarVertexLighting
#define DK3D_OPT_KEEP_INDEX 0x10 // every texture keeps its 8-bit indices

#define DK3D_MAX_SHAPES 2048
#define DK3D_MAX_LEVELS 4
#define DK3D_NAME_LENGTH 12

// The night-track flag: set by a night track load (kind 1), cleared by a day one (kind 0).
// The renderer tints actors while it is set; later car loads take the night car colour.
extern int32_t gboActorTintLighting;
// Set by any load with DK3D_OPT_CAR_LIGHT, never cleared here: the track drawing lights cars
// from the nearest track vertex.
extern int32_t gboCarVertexLighting;
// The last texture a track load made whose name holds "GRASS".
extern DK_TEXTURE* gpGrassTexture;
// The vertex-colour option, set through DkSetC3dLoadOption: track, scenery and shadow faces
// take the file's corner colours rather than the kind's fixed one.
extern BOOL gboC3dLoadOption;

// Makes everything the file holds. uSize is the file's byte count (DkGetLastFileSize() after
// DkMallocLoadFile); nothing is read beyond it, and the caller may free the image afterwards.
// The whole file is checked before anything is made: a bad file is reported and makes nothing.
// Returns the first actor the call made, or NULL.
DK_ACTOR* DkProcessC3dObject(const void* pImage, uint32_t uSize, int nKind, DK_ACTOR* pParent,
                             BOOL boColourKeyed, uint32_t uOptions);

// The first texture slot whose name matches the first 12 characters of pszName, or NULL.
DK_TEXTURE* DkFindC3dTexture(const char* pszName);
// The first model in use, other than pSkip, with a detail level named pszName, or NULL.
DK_MODEL* DkFindModelByData(const char* pszName, const DK_MODEL* pSkip = nullptr);
// Reports every scene count that is not zero and every table slot still in use (not used by
// the game; a check that a teardown left nothing behind).
void DkResetC3dObjects(void);

// Test hook: the flags of the reader's last DkImageToTexture call.
uint32_t DkC3dLastTextureFlags(void);

// Whether 3D bitmaps are used (off at start); the detail options and the configuration set it.
void DkSetUse3DBitmaps(int nFlag);
int DkGetUse3DBitmaps(void);
