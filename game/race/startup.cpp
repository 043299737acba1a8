#include "game/race/startup.h"

#include "game/race/gamedata.h"
#include "game/vehicle/carmodel.h"

LoadedCar gaLoadedCar[MAX_LOADED_CARS];

// The defaults before any stage's horizon data.
int32_t gxStageObjectClipDistance = 150 << 16;
int32_t gxStageHorizonDistance = 100 << 16;
int32_t gxLoadedObjectClipDistance = 150 << 16;
int32_t gxLoadedHorizonDistance = 100 << 16;

void Car_SetTyreType(CarBody* pBody, int nChoice)
{
    if (pBody == nullptr)
        return;
    pBody->TyreType =
        nChoice == -1 ? GameData_GetSetupChoice(pBody->nCarNumber, SETUP_TYRES) : nChoice;
}
