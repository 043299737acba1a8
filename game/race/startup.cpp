#include "game/race/startup.h"

#include "game/race/gamedata.h"
#include "game/vehicle/carmodel.h"

LoadedCar gaLoadedCar[MAX_LOADED_CARS];

void Car_SetTyreType(CarBody* pBody, int nChoice)
{
    if (pBody == nullptr)
        return;
    pBody->TyreType =
        nChoice == -1 ? GameData_GetSetupChoice(pBody->nCarNumber, SETUP_TYRES) : nChoice;
}
