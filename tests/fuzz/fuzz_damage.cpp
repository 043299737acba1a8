// Damage records and wobble records, read as a replay snapshot hands them to a car whose record
// was built from the data kit's car model (its part chains in place): an image the reader takes
// is written back and read again to the same bytes, then the car's shapes are rebuilt from it,
// its values and lamp parts worked out, an impact dents it and its wobble runs, all of which
// index by the fields read. The wobble record is the input's first bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/common/dk_actor.h"
#include "engine/common/matrixop.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/bench/car_drive.h"

namespace
{

// The data kit's car set up as car 0 on flat tarmac with its damage record built; the record
// as built, which every input starts from.
const DamageRecord* BuiltRecord()
{
    static DamageRecord built;
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(32 * 1024 * 1024, 1024 * 1024);
        DkInitialiseTrigTables();
        CarModel_ClearAll();
        DK_ACTOR* pWorld = DkCreateWorldActor();
        if (pWorld == nullptr || !drive::LoadGround("flat-tarmac") ||
            !drive::SetUpCar(pWorld, 0, 0, 0.0, 0.0, 20.0, 0))
            __builtin_trap();
        gnNumMechCars = 1;
        InitialiseDamage();
        if (gaDamage[0].nNoOfParts == 0)
            __builtin_trap();
        built = gaDamage[0];
        return true;
    }();
    (void)boReady;
    return &built;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const DamageRecord* pBuilt = BuiltRecord();
    const uint32_t uSize = static_cast<uint32_t>(size);

    DamageWobble& wobble = gaDamageWobble[0];
    wobble = DamageWobble{};
    if (Damage_ReadWobble(&wobble, data, uSize))
    {
        uint8_t first[DAMAGE_WOBBLE_IMAGE_SIZE], second[DAMAGE_WOBBLE_IMAGE_SIZE];
        Damage_WriteWobble(&wobble, first, sizeof(first));
        DamageWobble again{};
        if (!Damage_ReadWobble(&again, first, sizeof(first)))
            __builtin_trap();
        Damage_WriteWobble(&again, second, sizeof(second));
        for (size_t i = 0; i < sizeof(first); ++i)
            if (first[i] != second[i])
                __builtin_trap();
        Damage_UpdateWobble(0);
    }

    DamageRecord& d = gaDamage[0];
    d = *pBuilt;
    if (!Damage_ReadRecord(&d, data, uSize))
        return 0;
    std::vector<uint8_t> first(DAMAGE_RECORD_IMAGE_SIZE), second(DAMAGE_RECORD_IMAGE_SIZE);
    Damage_WriteRecord(&d, first.data(), DAMAGE_RECORD_IMAGE_SIZE);
    DamageRecord again = *pBuilt;
    if (!Damage_ReadRecord(&again, first.data(), DAMAGE_RECORD_IMAGE_SIZE))
        __builtin_trap();
    Damage_WriteRecord(&again, second.data(), DAMAGE_RECORD_IMAGE_SIZE);
    if (first != second)
        __builtin_trap();

    CarBody* pBody = &gaCarBody[0];
    Damage_RebuildShapes(pBody);
    Damage_UpdateValues(&d, 0);
    int32_t nFirst = 0, nSecond = 0;
    Damage_GetLampPartsSmashed(pBody, &nFirst, &nSecond);
    // An impact somewhere about the car, as hard as the input says.
    const DK_VECTOR savedForce = pBody->ExtForce;
    const DK_VECTOR savedOffset = pBody->ImpactOffset;
    pBody->ExtForce = {fuzz::Word(data, size, 24) & 0x3FFFF, 0, 0};
    pBody->ImpactOffset = {fuzz::Word(data, size, 28) % (4 << 16), fuzz::Word(data, size, 32) % (2 << 16),
                           fuzz::Word(data, size, 36) % (4 << 16)};
    int32_t nKind = 0, xDamage = 0;
    Damage_ApplyImpact(pBody, &nKind, &xDamage);
    const DK_VECTOR point = pBody->Position;
    Damage_DeformNearPoint(0, &point);
    pBody->ExtForce = savedForce;
    pBody->ImpactOffset = savedOffset;
    Damage_UpdateWobble(0);
    return 0;
}
