// The per-tick driver with its real callees: a car set up on the data kit's tarmac, held for its
// engine's start, then driven by the accelerator; the snapshots follow it.
#include <gtest/gtest.h>

#include "game/race/interp.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/car_drive.h"

namespace
{

class PerTickDriveTest : public CarTest, public testing::WithParamInterface<int>
{
};

TEST_P(PerTickDriveTest, TheTickDrivesACarAndItsSnapshotsFollowIt)
{
    const int nRate = GetParam();
    gbo50HzMode = nRate == 50 ? TRUE : FALSE;
    CarModel_SetStepRate(nRate * ONE);
    Interp_ClearAll();
    StandOn("flat-tarmac");
    ASSERT_TRUE(SetUpCar(0, 0, 0.0, 0.0, 10.0, -1024)) << last;
    gnNumMechCars = 1;
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    for (int k = 0; k < 2 * nRate; ++k)
        output += CaptureOutput([] { UpdateMechanics(); });
    drive::ReleaseCar(0);
    const int32_t zStart = b.Position.z;
    m.InputAccel = ONE;
    for (int k = 0; k < 2 * nRate; ++k)
        output += CaptureOutput([] { UpdateMechanics(); });
    EXPECT_GT(b.Position.z - zStart, 2 * ONE) << "driven forward";
    EXPECT_EQ(gaSnapCarMatrix[0][SNAP_CURRENT].m[3][2], b.Matrix.m[3][2]);
    EXPECT_LT(gaSnapCarMatrix[0][SNAP_PREVIOUS].m[3][2], gaSnapCarMatrix[0][SNAP_CURRENT].m[3][2]);
    EXPECT_EQ(gaSnapBodyVector[0][SNAP_CURRENT].y, b.GroundNormal.y);
    EXPECT_NE(gaWheelSpinAngle[0][0], 0) << "the drawn wheels turn";
    EXPECT_EQ(gnTicksSinceFrame.load(), 4 * nRate);
}

INSTANTIATE_TEST_SUITE_P(Rates, PerTickDriveTest, testing::Values(25, 50));

} // namespace
