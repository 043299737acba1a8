// The damage model. Every car's body model carries damageable parts: actors of the body's child
// list whose attribute is 6 to 110 (part number attribute - 6), and one main body (attribute 111)
// that takes the next free part number. A part's model, as the DK3D reader builds car kinds,
// holds three node chains in step: level 0 the live shape the renderer draws, level 1 the fully
// damaged shape (damaged texture and texture coordinates), level 2 the rest shape; node k of
// each has the same vertex count and order. An impact deforms the live shapes toward the damaged
// ones, smashes parts past their thresholds (damaged texture) and folds into 13 damage values;
// those set the handling factors the car model reads, and pass between stages as percentages
// in the players' records. A damped spring wobbles the body when damage is off, and water soaks
// the car.
//
// Everything that feeds weights, deformation and damage values is 16.16: the meshes' float
// positions and normals are converted (x 65536, truncated) before any arithmetic and written
// back as floats, which hold the 16.16 values exactly.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

#define MAX_DAMAGE_RECORDS 8
#define DAMAGE_PARTS 30
#define DAMAGE_VALUES 13
#define DAMAGE_ROLES 13
#define DAMAGE_MAIN_BODY_VERTICES 100
#define DAMAGE_LIGHTS 6

// The part attributes and the levels of a part's model.
#define DAMAGE_FIRST_PART_ATTRIBUTE 6
#define DAMAGE_LAST_PART_ATTRIBUTE 110
#define DAMAGE_MAIN_BODY_ATTRIBUTE 111
#define DAMAGE_LIVE_LEVEL 0
#define DAMAGE_DAMAGED_LEVEL 1
#define DAMAGE_REST_LEVEL 2

// The byte images: the record for the replay snapshot (pointer slots 0) and the wobble record.
#define DAMAGE_RECORD_IMAGE_SIZE 3280
#define DAMAGE_WOBBLE_IMAGE_SIZE 24

struct CarBody;
struct CarMechanics;
struct DK_VERTEX;
struct DK_FONT;
struct DK_SURFACE;

// One node of a part's chain: the vertex array (32-byte vertices, u and v at bytes 24 and 28) and
// normal array (three floats a vertex). The rest and damaged chains use the model's own arrays.
// The live chain, which the ticks deform while frames draw the model, has arrays of its own; the
// model's arrays it shows them in (the pShown pointers) take its shape at each frame's snapshot.
struct DamageVertexList
{
    DK_VERTEX* pVertices;
    float* pfNormals;
    uint16_t nCount;
    DamageVertexList* pNext;
    DK_VERTEX* pShownVertices;
    float* pfShownNormals;
};

// The part roles (the role table) and the 13 damage values.
enum DamageRole
{
    DAMAGE_ROLE_FRONT = 0,
    DAMAGE_ROLE_REAR = 1,
    DAMAGE_ROLE_SIDE_A = 2,
    DAMAGE_ROLE_SIDE_B = 3,
    DAMAGE_ROLE_GEARBOX_A = 4,
    DAMAGE_ROLE_GEARBOX_B = 5,
    DAMAGE_ROLE_SMASH_2_FIRST = 6, // roles 6 to 9 smash with kind 2
    DAMAGE_ROLE_SMASH_2_LAST = 9,
    DAMAGE_ROLE_SMASH_3 = 10,
    DAMAGE_ROLE_LAMP_A = 11,
    DAMAGE_ROLE_LAMP_B = 12
};
#define DAMAGE_VALUE_WATER 4
#define DAMAGE_VALUE_ENGINE 7
#define DAMAGE_VALUE_GEARBOX 8

struct DamageRecord
{
    // Per part: the rest, damaged and live chains, and the words that hold the texture of the
    // undamaged variant, the damaged variant and the one drawn.
    DamageVertexList* apRest[DAMAGE_PARTS] = {};
    DamageVertexList* apDamaged[DAMAGE_PARTS] = {};
    DamageVertexList* apLive[DAMAGE_PARTS] = {};
    int32_t* apUndamagedTexture[DAMAGE_PARTS] = {};
    int32_t* apDamagedTexture[DAMAGE_PARTS] = {};
    int32_t* apLiveTexture[DAMAGE_PARTS] = {};
    int32_t* apShownTexture[DAMAGE_PARTS] = {}; // the model's word the live one is shown in
    bool boShownStale = false; // the live shapes changed since they were last shown
    int32_t nMainBodyPart = -1;
    // The main body's positions in 16.16, which the wobble and the deformation write and the
    // per-frame placement toward the camera reads.
    DK_VECTOR MainBodyRest[DAMAGE_MAIN_BODY_VERTICES] = {};
    int32_t xPartReciprocal = 0; // 1 / nNoOfParts, 0 with no parts
    int32_t xDeformation[DAMAGE_PARTS] = {};
    // 0-3 the corners (the wheels' damage), 4 water, 5 and 6 means, 7 engine, 8 gearbox, 9-12
    // grip; 0 to 1.0.
    int32_t DamageValue[DAMAGE_VALUES] = {};
    int32_t xWaterFactor = DK_FIXED_ONE;
    int32_t xSteeringFactor = DK_FIXED_ONE;
    int32_t DamageWheelDrag[4] = {}; // the corner values x 0.05: torque added to the brakes
    int32_t xGripFactorA = DK_FIXED_ONE;
    int32_t xGripFactorB = DK_FIXED_ONE;
    int32_t DamageFrontBrake = DK_FIXED_ONE; // the wet grip factors: grip A and B x water
    int32_t DamageRearBrake = DK_FIXED_ONE;
    int32_t DamageEngine = DK_FIXED_ONE; // the engine's power x this
    int32_t xGearboxFactor = DK_FIXED_ONE;
    int32_t xImpactWeight[DAMAGE_PARTS] = {};
    DK_VECTOR PartCentre[DAMAGE_PARTS] = {};
    DK_VECTOR PartHalfSize[DAMAGE_PARTS] = {};
    int32_t SteeringOffset = 0; // the steering pull: angle units added to the front wheels
    int32_t nNoOfParts = 0;
    int32_t nDrying = 0;
    int32_t anSmashed[DAMAGE_PARTS] = {};
    int32_t xSmashThreshold[DAMAGE_PARTS] = {};
    int32_t anBrokenLight[DAMAGE_LIGHTS] = {}; // kept by the car lights
    uint8_t uBrokenLights = 0;
    uint8_t auRole[DAMAGE_ROLES] = {};
};

// The body wobble of one car.
struct DamageWobble
{
    int16_t nPhase; // 4096 a turn
    int32_t nActive;
    int32_t xAmplitude;
    DK_VECTOR Displacement;
};

// Indexed by car number.
extern DamageRecord gaDamage[MAX_DAMAGE_RECORDS];
extern DamageWobble gaDamageWobble[MAX_DAMAGE_RECORDS];

// The part of each role by detail; the medium-detail car's roles 6 to 9 come by car type.
// clang-format off
//                                               role: 0   1  2  3  4  5  6  7  8  9 10 11 12
inline constexpr uint8_t gauFullDetailRoles[13] =       {7, 10, 1, 2, 6, 3, 1, 2, 4, 5, 1, 8, 9};
inline constexpr uint8_t gauMediumDetailRoles[13] =     {7,  8, 5, 6, 7, 1, 0, 0, 0, 0, 1, 1, 1};
// clang-format on
inline constexpr uint8_t gaauMediumSmashRoles[14][4] = {
    {3, 3, 3, 3}, {3, 3, 3, 3}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 2},
    {1, 1, 1, 1}, {4, 4, 4, 4}, {1, 1, 2, 1}, {3, 3, 3, 3}, {1, 1, 1, 1},
    {4, 4, 4, 4}, {1, 1, 1, 1}, {4, 4, 4, 2}, {4, 4, 4, 2}};
// The smash thresholds of parts 0 to 10 (0.5, 0.2 and 0.1; 0.2 for all at medium detail); the
// parts above keep 0 and smash on their first dent.
inline constexpr int32_t gaxFullDetailThresholds[11] = {32768, 13107, 13107, 32768, 13107, 13107,
                                                        32768, 32768, 6553,  6553,  32768};
inline constexpr int32_t gaxMediumDetailThresholds[11] = {13107, 13107, 13107, 13107, 13107, 13107,
                                                          13107, 13107, 13107, 13107, 13107};

// Building the records of the stage's cars (two in an alternating game outside the rally
// school, else gnNumMechCars) from their body models: InitialiseDamage undamaged, with every
// repair group of the players' records marked repaired; InitialiseDamageStage with the damage
// the players' records carry (on the super special stage outside the school it is
// InitialiseDamage).
void InitialiseDamage(void);
void InitialiseDamageStage(void);
// Darkens the damaged shape's normals of every part but the main body where it is pushed in.
void Damage_ShadeDamagedNormals(DamageRecord* pDamage);

// An impact the collision code stored in the car (ExtForce the speed change, ImpactOffset the
// point in the car frame): writes the damage (0 to 1.0) and the smash kind (0 none, 1, 2, 3).
void Damage_ApplyImpact(CarBody* pBody, int32_t* pnSmashKind, int32_t* pxDamage);
// Moves the parts' vertices near the impact point toward their damaged shapes; returns the
// car's record.
DamageRecord* Damage_DeformAtImpact(CarBody* pBody, int32_t xDamage);
void Damage_SmashParts(DamageRecord* pDamage, CarBody* pBody, int32_t* pnSmashKind);
void Damage_UpdateValues(DamageRecord* pDamage, int nCar);

// The wobble, one tick, and back to rest.
void Damage_ResetWobble(int nCar);
void Damage_UpdateWobble(int nCar);
// Water damage and drying, one tick.
void Damage_UpdateWater(CarBody* pBody, CarMechanics* pMechanics);

// Between stages: the 13 values as percentages with the repair groups derived, and back.
void Damage_StoreDamagePercentages(void);
void Damage_LoadPercentages(void);

// The frame's snapshot (inside the critical section): the cars' models take the live shapes,
// texture coordinates, normals and textures the ticks gave them since the last frame.
void Damage_ShowLiveShapes(void);

// After a replay jump: the meshes from the stored deformations.
void Damage_RebuildShapes(CarBody* pBody);
// The smashed flags of the two lamp parts.
void Damage_GetLampPartsSmashed(const CarBody* pBody, int32_t* pnFirst, int32_t* pnSecond);
// Every main-body vertex 0.3 from its position in the rest table toward a world point (the
// camera), so the shell stays in front of the body.
void Damage_DeformNearPoint(int nCar, const DK_VECTOR* pPoint);
// Back to undamaged: rest shapes and textures, no damage. No caller.
void Damage_RepairCar(int nCar);
// One part's rest and damaged outlines and state, the part chosen with T and Y. No caller.
void Damage_DebugDrawPart(const CarBody* pBody, DK_FONT* pFont, DK_SURFACE* pSurface);

// The super special stage's shell: the stage display set-up finds the main body of the third
// loaded car, and each frame the effects place it 0.3 toward the first player's camera.
void Damage_FindSuperSpecialShell(void);
void Damage_DeformSuperSpecialShell(const DK_VECTOR* pCamera);

// The byte images. Writing needs the image's size and returns the count written, 0 when uSize
// is short. Reading keeps the record's chains and texture words and refuses (FALSE, with a
// report, the record unchanged) a short image or one whose part count, main-body part, roles
// or broken-light count are out of range.
uint32_t Damage_WriteRecord(const DamageRecord* pDamage, uint8_t* pOut, uint32_t uSize);
BOOL Damage_ReadRecord(DamageRecord* pDamage, const uint8_t* pIn, uint32_t uSize);
uint32_t Damage_WriteWobble(const DamageWobble* pWobble, uint8_t* pOut, uint32_t uSize);
BOOL Damage_ReadWobble(DamageWobble* pWobble, const uint8_t* pIn, uint32_t uSize);
