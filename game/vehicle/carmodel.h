// The car model: the two records of every simulated car, CarBody (the rigid body, its box,
// contact points, forces and state flags) and CarMechanics (engine, gearbox, wheels, controls
// and per-type tuning), eight of each indexed by car number, and the operations on them. Most
// operations work on the car the current-car pointers name; every set-up, step and placing
// call sets them first.
//
// Everything is 16.16 fixed point (1.0 = 0x10000) and angles are 4096 units a turn. World y is
// up; the car frame has x forward (OrientRow0), y up (UpAxis) and z to the side (OrientRow2).
// Contact points 0-3 are the bottom corners where the wheels sit (0 and 1 front, 2 and 3 rear),
// 4-7 the top corners; every per-point array uses this numbering.
//
// The records' state image, for the state hash and the replay snapshot, is little-endian and
// written field by field in record order with 4-byte pointer slots holding 0: the body section
// (CAR_BODY_IMAGE_SIZE bytes), the mechanics section (CAR_MECHANICS_IMAGE_SIZE, its last 8
// bytes reserved and 0), then a section of the fields that came after the records' first
// layout (CAR_EXTRA_IMAGE_SIZE): the mechanics' and, from the next 4-byte boundary, the body's.
// Each field sits at the next multiple of its element's size (pointers and 32-bit values 4,
// 16-bit values 2).
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

struct DK_ACTOR;

#define MAX_CARS 8
#define NUM_CAR_TYPES 14
#define CAR_POINTS 8
#define CAR_WHEELS 4
#define CAR_GEARS 8

#define CAR_BODY_IMAGE_SIZE 1896
#define CAR_MECHANICS_IMAGE_SIZE 1124
#define CAR_EXTRA_IMAGE_SIZE 192
#define CAR_STATE_IMAGE_SIZE (CAR_BODY_IMAGE_SIZE + CAR_MECHANICS_IMAGE_SIZE + CAR_EXTRA_IMAGE_SIZE)

struct CarBody
{
    DK_ACTOR* paCar;          // the body model; the wheel actors hang under it
    DK_ACTOR* paSpecialActor; // the id-5 actor under the root
    DK_ACTOR* paBodyDummy;    // the root actor
    DK_ACTOR* paWheel[CAR_WHEELS];
    DK_ACTOR* paReflection; // the id-111 actor under the root
    DK_VECTOR BoxSize;      // length, height, width
    DK_VECTOR HalfSize;
    DK_VECTOR InverseBoxSize;
    int32_t BoundingRadius;
    int32_t Weight; // mass + 120.0
    int32_t InverseWeight;
    DK_VECTOR InverseInertia;
    DK_VECTOR LocalCorner[CAR_POINTS]; // the box corners in the car frame
    int32_t AxisDotGround[3];          // each orientation row . GroundNormal
    DK_VECTOR Position;
    DK_VECTOR Velocity; // world units a tick at 25 ticks a second
    DK_VECTOR VelocityPrev;
    int32_t Speed;
    DK_VECTOR AngularVelocity; // about the car's x, y and z axes
    DK_VECTOR ContactPoint[CAR_POINTS];
    DK_VECTOR ContactPointStart[CAR_POINTS]; // at the start of the tick
    DK_VECTOR StartCorner[CAR_POINTS];       // at set-up
    DK_VECTOR StartRow[3];
    DK_VECTOR StartPosition;
    DK_VECTOR StartGroundNormal;
    DK_VECTOR OrientRow0;
    DK_VECTOR UpAxis;
    DK_VECTOR OrientRow2;
    DK_VECTOR OrientPrev[3]; // the rows at the start of the step
    DK_MATRIX* pMatrix;      // points at Matrix
    DK_MATRIX Matrix;        // the car matrix: rows 0-2 and the position row
    int32_t PointGroundHeight[CAR_POINTS];
    int32_t PointObjectDepth[CAR_POINTS]; // depth in a soft track object
    DK_VECTOR GroundNormal;
    DK_VECTOR GroundNormalPrev;
    DK_VECTOR PointNormal[CAR_POINTS];
    DK_VECTOR PointNormalPrev[CAR_WHEELS];
    DK_VECTOR ExtForce;  // velocity impulse of this tick
    DK_VECTOR ExtTorque; // spin impulse of this tick
    DK_VECTOR PositionPrev;
    DK_VECTOR ImpactOffset; // the contact point in the car frame, for the damage model
    DK_VECTOR PointGroundForce[CAR_POINTS];
    DK_VECTOR PointForce[CAR_POINTS];
    DK_VECTOR PointVelocity[CAR_POINTS];
    DK_VECTOR GravityForce;
    int32_t SlideDamping;
    int32_t WheelLoad;
    int32_t EngineTorque;
    int32_t WheelTorque[CAR_WHEELS];
    DK_VECTOR FrontWheelSide;
    DK_VECTOR FrontWheelForward;
    int32_t SuspTravel[CAR_WHEELS];
    int32_t SuspFollow[CAR_WHEELS];
    int16_t WheelShakePhase[CAR_WHEELS];
    int32_t WheelShake[CAR_WHEELS];
    int32_t AntiRoll[CAR_WHEELS];
    DK_VECTOR WheelRestPosition[CAR_WHEELS]; // from the wheel actors at binding
    DK_VECTOR RearWheelForward;
    int32_t nWord1504;
    int32_t WheelHubOffset[CAR_WHEELS][2]; // the drawn wheel's offset in its plane
    int16_t WheelSpinAngle[CAR_WHEELS];
    int16_t RollAngle;
    int32_t TipValue; // -1.0..1.0
    int16_t TipCounter;
    int32_t SinkTicks[CAR_POINTS]; // ticks on the sea, 1.0 a tick
    int32_t FrontOverhang;
    int32_t RearOverhang;
    int32_t HalfTrack;
    int32_t RearWheelDrop;
    int32_t FrontWheelDrop;
    int32_t LowestWheelDepth;
    int8_t LowestWheel; // -1: none
    int32_t PointLoad[CAR_POINTS];
    int32_t WheelsOnGround;
    int32_t RollTicks;
    int32_t NeedsRescue;
    int32_t Rolling;
    int32_t WasUpsideDown;
    int32_t RollStarted;
    int32_t WheelOnGround[CAR_WHEELS];
    int32_t PointInObject[CAR_POINTS]; // pressed into a soft track object
    int32_t anWords1724[8];
    int32_t WallHit;
    int32_t WallHitPrev;
    int32_t nCounter1764;
    int32_t EngineStarting;
    int16_t EngineStartTicks;
    int32_t DamageActive;
    int32_t nWord1780;
    int32_t WetStage; // light type 8 or wet weather
    int32_t nWord1788;
    int32_t AtRest;
    int32_t JoltRequest;
    int32_t anWords1800[11];
    uint16_t SlopeTipCounter; // 0..200
    int16_t SecondCounter;
    int8_t nCarNumber; // 0..7
    int8_t nCarType;   // 0..13
    uint8_t PointOffGround[CAR_POINTS];
    int8_t PointsTouching;
    uint8_t AllPointsOff;
    int8_t TouchingList[CAR_POINTS];
    int8_t LeanAngle; // rev-limiter bounce counter
    uint8_t PreJumpByte;
    uint8_t JumpTicks; // the jump timer
    int16_t nCurrentBlock;
    int16_t anNeighbourBlocks[3];
    int32_t TyreType;
    int16_t StartCountdown; // the event timer
    int32_t NoDamage;
    int32_t nEffectsWord;
    // Fields beyond the first layout (the image's last section, after the mechanics' own).
    int32_t BrakeLamp;   // the pedal that brakes the car is held
    int32_t Reversing;   // the gear engaged runs backwards
    int32_t Finished;    // the car has crossed the finish: its inputs are held
    int32_t Parked;      // a finished car parked: brakes and handbrake on
    int32_t FinishAccel; // the accelerator word as it was when the finish held the car
    // Object contacts: last tick's soft-contact values (PointObjectDepth), the word the other
    // car's contact sets in a one-player game, and the keys of the objects touched this tick
    // and last, static and knockable, with their counts (at most 5 each).
    int32_t PointObjectDepthPrev[CAR_POINTS];
    int32_t Collided;
    uint16_t StaticKeys[5];
    uint16_t StaticKeysPrev[5];
    int16_t nStaticKeys;
    int16_t nStaticKeysPrev;
    uint16_t MovingKeys[5];
    uint16_t MovingKeysPrev[5];
    int16_t nMovingKeys;
    int16_t nMovingKeysPrev;
    // What the frame shows, blended between the last two ticks by the display (the shadows and
    // the effects read it): the X, Y and Z rows, the position, the box's eight corners (in the
    // contact points' order) and the ground normal. Kept out of the state image: no tick reads
    // it, and every frame writes it anew.
    DK_VECTOR DisplayRow[3];
    DK_VECTOR DisplayPosition;
    DK_VECTOR DisplayCorner[CAR_POINTS];
    DK_VECTOR DisplayGroundNormal;
};

struct CarMechanics
{
    DK_MATRIX* pSwayMatrix;    // points at SwayMatrix
    DK_MATRIX* pDisplayMatrix; // points at DisplayMatrix
    DK_MATRIX SwayMatrix;
    DK_MATRIX DisplayMatrix;
    DK_VECTOR SwayState;
    DK_VECTOR SwayCorner[CAR_WHEELS];
    int32_t SwayBaseY;
    int32_t WheelSwayOffset[CAR_WHEELS];
    // The sway constants. The set-up writes nine in record order, the same for every car but the
    // last; the drawn-body sway names them:
    //   order  value               name             what it is
    //   1      0.09                SwaySpring       spring of the state that shares the load
    //   2      1.0                 SwaySpring2      spring of the state that tilts the drawn body
    //   3      0.09                SwayLimitX       tilt clamp fore and aft
    //   4      0.1                 SwayLimitZ       tilt clamp sideways
    //   5      1.0                 SwayUpLength     the tilt vector's fixed height
    //   6      -0.3                SwayHeightGain   sway height per unit of vertical state
    //   7      0.2                 SwayHeightLimit  clamp of the sway height
    //   8      0.012 x gStepScale  SwayStepLimit    largest horizontal change of a state a tick
    //   9      0.2, 0.6 or 1.0     SwayBaseHeight   the drawn body's raise, by suspension choice
    // AirDroop and MinCornerHeight take two of the record's unnamed words, which nothing sets:
    // both read 0 (no droop input in the air; no corner of the drawn body below the physics
    // body's centre).
    int32_t SwaySpring;
    int32_t SwaySpring2;
    int32_t SwayLimitX;
    int32_t SwayLimitZ;
    int32_t SwayUpLength;
    int32_t SwayHeightGain;
    int32_t SwayHeightLimit;
    int32_t SwayStepLimit;
    int32_t SwayBaseHeight;
    int32_t FollowThreshold;
    int32_t FollowGain;
    int32_t SwayOffsetLimit;
    int32_t SwayLoadGain;
    int32_t FollowBase;
    int32_t FollowExtra;
    int32_t MinCornerHeight;
    int32_t LoadTransferGain;
    int32_t AntiRollGain;
    int32_t SuspTravelMax;
    int32_t SuspRelax;
    int32_t SlopeChangeThreshold;
    int32_t SlopeChangeGain;
    DK_VECTOR SwayState2;
    int32_t SuspensionConstant;
    int32_t Mass; // 1000.0
    int32_t EngineFriction;
    int32_t SteerLimit;
    int32_t SteerLimitBase;
    int32_t SteerRate;
    int32_t SteerRateBase;
    int32_t DriveShareFront; // 0 rear drive .. 1.0 front drive
    int32_t MaxRevs;
    int32_t InverseMaxRevs;
    int32_t TopSpeedFactor; // 4 / top speed
    int32_t TopSpeed;
    int32_t RampValue;
    int32_t BrakeBalance; // the front share
    int32_t RampRateA;
    int32_t RampRateABase;
    int32_t RampRateB;
    int32_t RampRateBBase;
    int32_t RampRateMid; // 0.5
    int32_t RampRateC;
    int32_t RampRateCBase;
    int32_t RevBandHigh[CAR_GEARS]; // fractions of MaxRevs
    int32_t RevBandLow[CAR_GEARS];
    int32_t GearRatio[CAR_GEARS]; // 0 neutral, 1-6 forward, 7 reverse
    int32_t InverseGearRatio[CAR_GEARS];
    int32_t GearRatioCopy[CAR_GEARS];
    int32_t InverseGearRatioCopy[CAR_GEARS];
    int32_t CarGripOffset[2];
    int32_t WheelGripOffset[CAR_WHEELS];
    int32_t WheelGripOffset2[CAR_WHEELS];
    int32_t TyreGripOffset[CAR_WHEELS];
    int32_t TyreValue2[CAR_WHEELS];
    int32_t GripScale[CAR_WHEELS];
    int32_t WheelSpeed[CAR_WHEELS];
    int32_t WheelSpinSpeed[CAR_WHEELS];
    int32_t WheelTorqueOut[CAR_WHEELS];
    int32_t Throttle;
    int32_t xFixed732;
    int32_t EngineRevs;
    int32_t EngineRevsPrev;
    int32_t EngineTarget;
    int32_t BrakeInput;
    int32_t xFixed752;
    int32_t HandbrakeTorque;
    int32_t xFixed760;
    int32_t AccelControl;
    int32_t BrakeControl;
    int32_t AccelHeld;
    int32_t BrakeHeld;
    int32_t HandbrakeOn;
    int32_t JumpControl;
    int32_t QuickDrying; // the damage model's water dries ten times as fast
    int32_t SteerControl;
    int32_t PointSlideLimit[CAR_POINTS];
    int32_t PointPeakLimit[CAR_POINTS];
    int32_t PeakGrip[CAR_WHEELS];
    int32_t SlideGrip[CAR_WHEELS];
    int32_t RearGripOffset;
    DK_VECTOR WheelFrames[CAR_WHEELS];
    int32_t WheelSlipOut[CAR_WHEELS];
    int32_t WheelSideSpeed[CAR_WHEELS];
    int16_t PointTriangleCache[CAR_POINTS]; // the height-data triangle under each point, -1 none
    int16_t SteerAngle;                     // the front wheels' angle
    int16_t TargetSteerAngle;               // where the controls turn them; the set-up writes 682
    int32_t ResetRotation; // turn the body object square again (only a replay snapshot sets it)
    int32_t Stuck;
    int32_t GearboxMode; // 1 or 2
    int32_t UpsideDown;
    int32_t OnSide;
    int32_t OnEnd;
    int32_t AirDroop;
    int32_t Upright;
    int32_t InputSwap; // the accelerate and brake inputs trade roles
    int32_t ClutchOut;
    int32_t anWords1036[3];
    int32_t RescueActive;
    int32_t PowerSlide;
    int32_t RescueTimer;
    uint8_t RescueFade; // how far the view is faded, 0..255
    int16_t WheelSurface[CAR_POINTS];
    int8_t Gear;
    uint8_t LaunchTicks; // 0..10
    int8_t FlipTicksUp;
    int8_t FlipTicksSide;
    int8_t FlipTicksEnd;
    uint8_t ControlByte;
    int32_t RevLimiterOn;
    int32_t RevLimiterCut;
    int32_t anWords1092[5];
    int32_t RescuePenalty; // this rescue costs clock time
    // Fields beyond the first layout (the image's last section).
    int32_t RevSweepOn;
    int16_t RevSweepPeriod;
    // The driver's control words, written each tick by the in-race keys or the replay player:
    // 16.16 amounts (1.0 for a key), the handbrake 0 or 1, a further button, and the gear
    // change asked for (1 up, -1 down, 0 none).
    int32_t InputSteerLeft;
    int32_t InputSteerRight;
    int32_t InputAccel;
    int32_t InputBrake;
    int32_t InputHandbrake;
    int32_t InputSecond;
    int8_t InputGearChange;
    // Which inputs come from an analogue axis rather than a key.
    int32_t AnalogueSteer;
    int32_t AnalogueThrottle;
    int32_t AnalogueBrake;
    int32_t Started; // released at the start: the gearbox may change gear
    // The pedals' ramps (0..1.0) and the digital steering's position (-1.0..1.0, left positive)
    // and direction (-1.0, 0 or 1.0). The pedals are Throttle, BrakeInput and HandbrakeTorque.
    int32_t ThrottleRamp;
    int32_t BrakeRamp;
    int32_t HandbrakeRamp;
    int32_t SteerPosition;
    int32_t SteerDirection;
    // The gearbox: the gear a change will engage, the change waiting for the clutch, the ticks
    // the clutch stays out, the ticks within which the last change may not be undone and its
    // direction (2 up, 1 down), the count of second-gear changes a broken gearbox still makes,
    // and the manual box's hint that the revs ask for no lower gear.
    int8_t TargetGear;
    uint8_t ShiftPending;
    uint8_t ShiftDelay;
    uint8_t ShiftTimer;
    uint8_t ShiftDirection;
    uint8_t GearboxDamageCounter;
    uint8_t ShiftHint;
    int32_t MaxThrottle; // and its copy; 1.0 at set-up
    int32_t MaxThrottleCopy;
};

extern CarBody gaCarBody[MAX_CARS];
extern CarMechanics gaCarMechanics[MAX_CARS];
extern int32_t gnNumMechCars;
extern CarBody* gpCurrentCarBody;
extern CarMechanics* gpCurrentCarMechanics;
// The loaded car model bound to each car number.
extern int32_t gaCarIndexByDamageSlot[MAX_CARS];

// Scratch of the car step, shared by the set-up.
extern int32_t gxGravityScale;
extern DK_VECTOR gDownVector;
// Per-car scratch of the car step, valid only within the car's passes: the gravity along the
// ground that the tyres push against, and the ground slope's grip factor.
extern DK_VECTOR TickGravity;
extern int32_t gxSlopeGrip;
// Each list position's linear acceleration of the tick, written by the body forces.
extern DK_VECTOR gaCarAcceleration[MAX_CARS];
// The landing jolt's strength per car number, for the chase camera's bounce.
extern int32_t gaCarCamBData[MAX_CARS];

// The step rate: gRateScale is 1.0 at 25 ticks a second and 2.0 at 50 (a little under), and
// gStepScale its reciprocal. gTicksPerStep is a twenty-fifth of a second of the performance
// counter once measured.
extern int32_t gRateScale;
extern int32_t gStepScale;
extern uint32_t gTicksPerStep;
extern BOOL gboTicksPerStepMeasured;

// Per-type constants as raw 16.16 values, and the text each type logs.
struct CarTypeRow
{
    const char* pszName;
    int32_t xLength, xHeight, xWidth;
    int32_t xSteerLimit;
    int32_t xDriveShareFront;
    int32_t xRampValue;
    int32_t xMaxRevs;
    int32_t xFrontOverhang, xRearOverhang, xHalfTrack;
    int32_t xFrontWheelDrop, xRearWheelDrop;
};
extern const CarTypeRow gaCarTypeTable[NUM_CAR_TYPES];
// The rally school's tyre per lesson group x 5 + task; -1 the player's own choice.
extern const int32_t gaSchoolTyreTable[16];

// Set-up.
void CarModel_ClearAll(void);
// Makes the records the current car, binds the car's actors from loaded car nCarNumber and sets
// it up by type and its player's choices, standing on the ground at the start. A type outside
// 0..13, a car number outside 0..7, a missing start actor or position, or a car model without
// the actors it needs is reported and refused (FALSE) before the set-up writes anything but the
// car number.
BOOL InitialiseCar(CarBody* pBody, CarMechanics* pMechanics, DK_ACTOR* pStartActor, int nCarType,
                   const DK_VECTOR* pStartPosition, int nCarNumber);
// Binds the actors of loaded car nIndex to the body: FALSE, with a report, when the record has
// no root or body or the model lacks a wheel (ids 1 to 4 under the body) or the id-5 actor
// (under the root); the id-111 actor may be absent.
BOOL CarModel_BindActors(int nIndex, CarBody* pBody);
void CarModel_SetBrakeBalance(void);
void CarModel_SetGearRatios(void);
void CarModel_SetSuspension(void);

// The car step: the listed cars (indices into both arrays, at most MAX_CARS of them) go through
// nine passes, each pass over every car from the list's last entry to its first before the
// next pass. Entries outside 0..7 are reported and skipped.
void CarModel_StepCars(CarMechanics* paMechanics, CarBody* paBodies, const int16_t* panList,
                       int16_t nCount);
// Test hook: called as each pass (1..9) starts on a car, with the list position and the car.
typedef void (*CarStepPassHook)(int nPass, int nListPosition, int nCar);
void CarModel_SetStepPassHook(CarStepPassHook pHook);

// The passes' pieces, on the current car unless they take one.
void CarModel_ApplyGearRatio(CarMechanics* pMechanics);
void CarModel_UpdateWheelSpeeds(void);
void CarModel_SlopeGripFactor(void);
void CarModel_DistributeLoad(void);
void CarModel_CornerVelocities(void);
void CarModel_UpdateCorners(CarBody* pBody);
void CarModel_GroundNormal(void);

// Tyres.
void CarModel_CountWheelsOnGround(void);
void CarModel_TyreForces(void);
void CarModel_SlopeChangeForce(int32_t xForceScale);
void CarModel_BodyPointFriction(void);

// Engine and drive train.
void CarModel_DriveTorque(void);
void CarModel_UpdateEngineRevs(void);
void CarModel_EqualiseAxles(void);

// Body sway, wheel loads and the drawn body.
void CarModel_UpdateLoadTransfer(void);
void CarModel_SetWheelLoads(void);
void CarModel_UpdateDisplayBody(CarBody* pBody, CarMechanics* pMechanics);

// Body forces: the integration of the tick's forces into motion, writing the car's linear
// acceleration where the car step points; and the pieces it runs first, in this order.
void CarModel_IntegrateBody(void);
void CarModel_SteerAndSlide(void);
void CarModel_RollOver(void);
void CarModel_JumpBoost(void);

// The body update, once a car a tick after the step: the car put back in touch with the ground,
// driving on its wheels or tumbling, its suspension worked and its matrix written.
void CarModel_UpdateBody(CarBody* pBody, CarMechanics* pMechanics);
void CarModel_UpdateRolling(CarBody* pBody, CarMechanics* pMechanics);
void CarModel_UpdateTouchingPoints(void);
void CarModel_LiftOutOfGround(void);
void CarModel_RollDamping(void);
void CarModel_SettleOrientation(int nStrong);
void CarModel_UpdateSuspension(void);
void CarModel_MarkStuck(void);
// Stands the car on GroundNormal and stops it: motion, controls, revs and wheels at rest, first
// gear with the drive engaged. Nothing calls it.
void CarModel_ResetToGround(CarBody* pBody, CarMechanics* pMechanics);

// Step rate and placing.
void CarModel_SetStepRate(int32_t xRate);
void CarModel_ScaleRates(CarBody* pBody, CarMechanics* pMechanics);
void CarModel_CopyRates(CarBody* pBody, CarMechanics* pMechanics);
void CarModel_MeasureTimer(void);
// One tick of a rescue: fades out for 10 ticks, puts the car down at the point facing the
// heading, fades in for 10 (20 and 7 with a clock penalty). A non-zero nForce places at once.
void CarModel_PlaceOnTrack(CarBody* pBody, CarMechanics* pMechanics, const DK_VECTOR* pPoint,
                           const DK_VECTOR* pHeading, int32_t nForce);
void CarModel_PlaceAtStart(DK_ACTOR* pActor, CarBody* pBody, CarMechanics* pMechanics,
                           int32_t xSpeed, int16_t nHeading, int32_t x, int32_t z);

// Wheel spin and body-frame operations.
void CarModel_SpinWheels(CarBody* pBody, CarMechanics* pMechanics);
void CarModel_OffsetCorners(CarBody* pBody);
void CarModel_UnoffsetCorners(CarBody* pBody);
void CarModel_RotateBody(const int16_t anAngles[3]);
void CarModel_NetworkPull(void);
void CarModel_PullForce(const DK_VECTOR* pTowards, const DK_VECTOR* pFrom, DK_VECTOR* pOut);
void CarModel_SyncFromActor(CarBody* pBody, CarMechanics* pMechanics);

// The ground under the contact points.
int32_t CarModel_GroundHeightWithSink(const DK_VECTOR* pPoint, DK_VECTOR* pNormal,
                                      int16_t* pTriangleCache, int16_t* pSurface,
                                      int32_t xFallbackHeight);
void CarModel_UpdateBodyContacts(CarBody* pBody, CarMechanics* pMechanics);
void CarModel_UpdateWheelContacts(CarBody* pBody, CarMechanics* pMechanics);

// The state image. Writing needs CAR_STATE_IMAGE_SIZE bytes and returns the count written, 0
// when uSize is short. Reading takes the first CAR_STATE_IMAGE_SIZE of uSize bytes; it keeps
// the records' actor pointers, points the matrix pointers at the records' own matrices, and
// refuses (FALSE, with a report, the records unchanged) a short image or one whose car number,
// car type, gear, touching points, lowest wheel, surfaces or track blocks are out of range.
uint32_t CarModel_WriteState(const CarBody* pBody, const CarMechanics* pMechanics, uint8_t* pOut,
                             uint32_t uSize);
BOOL CarModel_ReadState(CarBody* pBody, CarMechanics* pMechanics, const uint8_t* pIn,
                        uint32_t uSize);
