// Stage start-up: the stage files and the cars. So far only what the car set-up reads: the
// loaded-car records the car loader fills, and the tyre choice.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

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
