// Stage start-up: the stage files and the cars. So far only what the car set-up reads: the
// loaded-car records the car loader fills, and the tyre choice.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"
#include "game/race/loading.h"

struct CarBody;
struct DK_ACTOR;

#define MAX_LOADED_CARS 8

// One loaded car model: its type, the root actor the model hangs under, the body model (the
// first actor of the model's file) and half the wheel radius.
struct LoadedCar
{
    int8_t nCarType;
    DK_ACTOR* paBodyDummy;
    DK_ACTOR* paCar;
    int32_t xHalfWheelRadius;
};

extern LoadedCar gaLoadedCar[MAX_LOADED_CARS];

// The object clip and horizon distances the stage's horizon data gave (16.16), and those in
// force after the track cameras' switches.
extern int32_t gxStageObjectClipDistance;
extern int32_t gxStageHorizonDistance;
extern int32_t gxLoadedObjectClipDistance;
extern int32_t gxLoadedHorizonDistance;

// The body's TyreType: nChoice, or with -1 the TYRES choice of the car's player.
void Car_SetTyreType(CarBody* pBody, int nChoice);

// The stage files' readers. Each takes the whole base path with its extension set; a missing
// file is skipped as its step says.
// The horizon record (".ars"): four 16.16 words, horizon height, object clip distance, far
// clip distance and horizon distance.
#define HORIZON_DATA_SIZE 16
// An animated-texture record (".anm"): an 8.3 texture name with its terminating zero.
#define ANIMATION_RECORD_SIZE 13

extern int32_t gxHorizonHeight;
extern int32_t gxStageFarClipDistance;
// The stage's object actors: from the first actor made after the trigger lines to the last
// the scenery made.
extern int32_t gnFirstObjectActor;
extern int32_t gnLastObjectActor;
// Around the objects' files: the actors made in between are the stage's object actors. An actor
// takes the first free slot, so they span gnFirstObjectActor (the first free slot at the start)
// to gnLastObjectActor (past the last slot filled) and the walks over them leave out any actor
// made before.
void Startup_BeginObjectActors(void);
void Startup_EndObjectActors(void);

// TRUE, with the four words stored, when the bytes hold a whole horizon record.
BOOL Startup_ReadHorizonData(const uint8_t* pBytes, uint32_t uSize);
void Startup_LoadHorizonData(const char* pszPath);
// The track (".c3d") and beside it the height data (".hpc"), surfaces (".srf") and sun
// (".shp"). FALSE when the track or its height data is missing.
BOOL Startup_LoadTrack(const char* pszPath);
void Startup_LoadWallLines(const char* pszPath);
void Startup_LoadObjects(const char* pszPath);
void Startup_LoadShadowObjects(const char* pszPath);
void Startup_LoadHorizon(const char* pszPath);
void Startup_CreateBackground(int nRed, int nGreen, int nBlue);
// Hands each record's name whose terminator lies within its 13 bytes to pfnStart; a record
// without one is skipped, a tail shorter than a record ignored. Returns the names handed on.
int Startup_ReadAnimations(const uint8_t* pBytes, uint32_t uSize,
                           void (*pfnStart)(const char* pszName));
void Startup_LoadAnimations(const char* pszPath);

// The cars a stage needs: decides the medium-detail models (gboMediumDetailCar) and the cars
// simulated (gnNumMechCars), and returns the cars to load.
int Startup_CountCars(void);

// The stage's object actors as the collisions use them, once the track blocks are built.
// The attribute word: bits 0-11 the object's type, bits 16-17 its movable kind (0 static, 1
// knockable, 2 knockable and weighted 5.0), bits 18-23 its material kind, bit 29 a solid static
// object (clear: soft, or knockable), bits 24-31 a knockable object's flags.
#define OBJECT_TYPE_MASK 0xFFF
#define OBJECT_MOVABLE_SHIFT 16
#define OBJECT_MATERIAL_SHIFT 18
#define OBJECT_MATERIAL_MASK 0x3F
#define OBJECT_SOLID 0x20000000u
#define OBJECT_FLAGS_SHIFT 24
// Objects of this type record their positions, at most MAX_TYPE14_POSITIONS of them.
#define OBJECT_TYPE_POSITION_MARK 14
#define MAX_TYPE14_POSITIONS 49

extern DK_VECTOR gaType14Positions[MAX_TYPE14_POSITIONS];
extern int32_t gnNumType14Positions;

// Gives each static object (each modelled child of a dummy) a collision box filed on the track
// block under it; an object off the grid is reported and left without one. Registers
// "TrackObjectsDestructor", which empties the lists.
void InitialiseTrackObjects(void);
// The knockable objects of the same range (at most HIT_OBJECT_RECORDS, the rest reported)
// become knocked-over records in every player set, each turned half a turn on a mirrored stage.
void Startup_InitMovingObjects(void);
// The static objects given a collision box.
int Startup_GetNumTrackObjects(void);

// After the objects' set-up: every object actor's attribute word keeps its low 10 bits.
void Startup_CleanObjectFlags(void);

// The cars' files. Under the hard-disk root: the model (the car folder and stem with "DAY" or
// "NIGHT" by the light, "med" or "daymed" at medium detail, then ".C3D") and, by day at full
// detail outside the alternating super special stage, the reflection model (the stem + "ref.c3d")
// and its map (the folder's "ref_map.bmp"); both empty where the car takes none.
struct CarFilePaths
{
    char szModel[STAGE_PATH_LENGTH];
    char szReflection[STAGE_PATH_LENGTH];
    char szReflectionMap[STAGE_PATH_LENGTH];
};
void Startup_GetCarFilePaths(int nCar, CarFilePaths* pOut);

// On while the cars show their interior (off on super special stages outside the school).
extern BOOL gboDoInterior;

// Loads the cars the stage needs (Startup_CountCars), a loading step after each, and sets up
// their damage; 1, or 0 when a car's file is missing or its set-up fails.
int Startup_LoadCars(int nMask);
// Loads car nCar's model and reflection into gaLoadedCar[nCar] and sets its mechanics up at its
// start position; 1, or 0 with a report.
int LoadSingleCar(int nCar);
// Half the radius of the first wheel (id 1) below a loaded car's body model, halved again on
// the half-size option; 0 without one.
int32_t Startup_GetHalfWheelRadius(const DK_ACTOR* pBody);
// Processes a car file from the hard disk under pParent, lit as the stage's light asks: the file
// is parsed at once on the temporary heap and freed straight after. NULL when missing or when it
// holds no model.
DK_ACTOR* Startup_LoadCarFile(const char* pszPath, int nKind, DK_ACTOR* pParent);
// Places both actors and sets the car's mechanics up from them; FALSE when the car model's
// initialisation refuses the car.
BOOL InitialiseCarMechanicsData(DK_ACTOR* paCar, DK_ACTOR* paBodyDummy, int nCar, int nCarType,
                                const int16_t* panAngles, const DK_VECTOR* pPosition);
// "Car Data Destructor": the loaded-car records are emptied as the heaps that hold the models
// are reset.
void Startup_FreeCarData(void);
