// Car state images, read into a car's records as a replay snapshot hands them over; an image
// the reader takes is written back and read again, and the car is then placed, its corners,
// ground, touching points, wheels and frame worked over, which index by the fields read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/common/matrixop.h"
#include "game/vehicle/carmodel.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(1024 * 1024, 64 * 1024);
        DkInitialiseTrigTables();
        return true;
    }();
    (void)boReady;
    CarModel_ClearAll();
    CarBody* pBody = &gaCarBody[0];
    CarMechanics* pMech = &gaCarMechanics[0];
    if (!CarModel_ReadState(pBody, pMech, data, static_cast<uint32_t>(size)))
        return 0;
    std::vector<uint8_t> first(CAR_STATE_IMAGE_SIZE), second(CAR_STATE_IMAGE_SIZE);
    CarModel_WriteState(pBody, pMech, first.data(), CAR_STATE_IMAGE_SIZE);
    if (!CarModel_ReadState(&gaCarBody[1], &gaCarMechanics[1], first.data(), CAR_STATE_IMAGE_SIZE))
        __builtin_trap();
    CarModel_WriteState(&gaCarBody[1], &gaCarMechanics[1], second.data(), CAR_STATE_IMAGE_SIZE);
    if (first != second)
        __builtin_trap();

    gpCurrentCarBody = pBody;
    gpCurrentCarMechanics = pMech;
    CarModel_LiftOutOfGround();
    CarModel_CountWheelsOnGround();
    CarModel_GroundNormal();
    CarModel_SpinWheels(pBody, pMech);
    CarModel_UpdateWheelContacts(pBody, pMech);
    CarModel_UpdateTouchingPoints();
    CarModel_LiftOutOfGround();
    const int16_t anAngles[3] = {static_cast<int16_t>(fuzz::Word(data, size, 0)),
                                 static_cast<int16_t>(fuzz::Word(data, size, 4)),
                                 static_cast<int16_t>(fuzz::Word(data, size, 8))};
    CarModel_RotateBody(anAngles);
    DK_VECTOR force;
    CarModel_PullForce(&pBody->Position, &pBody->Velocity, &force);
    const DK_VECTOR heading = pBody->OrientRow0;
    const DK_VECTOR point = pBody->Position;
    CarModel_PlaceOnTrack(pBody, pMech, &point, &heading, 1);
    CarModel_ScaleRates(pBody, pMech);
    return 0;
}
