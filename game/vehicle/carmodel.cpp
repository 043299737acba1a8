// The car records, the per-type table and the state shared by the car model's parts.
#include "game/vehicle/carmodel.h"

CarBody gaCarBody[MAX_CARS];
CarMechanics gaCarMechanics[MAX_CARS];
int32_t gnNumMechCars = 0;
CarBody* gpCurrentCarBody = nullptr;
CarMechanics* gpCurrentCarMechanics = nullptr;
int32_t gaCarIndexByDamageSlot[MAX_CARS];

int32_t gxGravityScale = 0;
DK_VECTOR gDownVector = {0, 0, 0};

// clang-format off
const CarTypeRow gaCarTypeTable[NUM_CAR_TYPES] = {
    // name              length  height  width   steer  front  ramp    revs    front   rear    half   front  rear
    //                                                   drive                 ovrhng  ovrhng  track  drop   drop
    {"Oriban",          279904, 89784,  118751, 22282, 32768, 52428,  625410, 117964, 85196, 19660, 45219, 64159},
    {"Pela Salma",      249888, 93716,  115998, 17694, 65536, 26214,  586285, 98304,  32768, 19660, 49741, 68222},
    {"Brank",           252641, 92733,  111738, 18350, 65536, 52428,  566755, 91750,  39321, 19660, 28049, 43122},
    {"Arlo Torquad",    272171, 86507,  123404, 39321, 32768, 104857, 820838, 124518, 65536, 19660, 39976, 71368},
    {"Talven KV220",    260177, 85852,  115998, 39321, 16384, 104857, 820838, 117964, 65536, 19660, 36634, 56164},
    {"Mark II Talven",  261947, 87883,  113901, 13107, 0,     52428,  547225, 111411, 72089, 16384, 50921, 53542},
    {"Korvansaki",      277872, 94371,  112721, 22282, 32768, 52428,  586285, 111411, 72089, 19660, 50266, 81461},
    {"TM Pika",         257884, 93716,  114819, 19005, 65536, 78643,  566755, 98304,  32768, 19660, 38338, 42401},
    {"Mirela",          255590, 90112,  115998, 30146, 32768, 78643,  723124, 104857, 39321, 19660, 50135, 61014},
    {"Sanryu",          266731, 90439,  117964, 21626, 32768, 26214,  664469, 111411, 19660, 19660, 48431, 62193},
    {"Draymoor",        270008, 93388,  115343, 21626, 32768, 78643,  586285, 98304,  65536, 19660, 36372, 59768},
    {"Lumier",          252968, 88473,  120586, 19005, 65536, 78643,  547225, 98304,  58982, 19660, 49545, 75169},
    {"M4R",             235274, 97845,  120848, 32768, 32768, 52428,  625410, 80609,  60293, 41287, 43253, 47054},
    {"ALCYNA",          281804, 77332,  117964, 24248, 32768, 52428,  625410, 125108, 64159, 18350, 29491, 58916},
};
// clang-format on

const int32_t gaSchoolTyreTable[16] = {1, 1, 1, -1, -1, 1, 1, 1, 2, -1, 1, 1, 1, 1, 1, 1};

void CarModel_ClearAll(void)
{
    for (int i = 0; i < MAX_CARS; ++i)
    {
        gaCarBody[i] = CarBody{};
        gaCarMechanics[i] = CarMechanics{};
    }
}
