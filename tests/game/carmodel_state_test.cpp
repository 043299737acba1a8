// The records' state image: the data kit's images read field by field into the places its
// layout names, a set-up car written, read and written again to the same bytes, and images the
// reader must refuse.
#include <vector>

#include <gtest/gtest.h>

#include "tests/game/car_fixture.h"
#include "tools/datakit/car_state_writer.h"

namespace
{

using Bytes = std::vector<uint8_t>;

class CarStateTest : public CarTest
{
protected:
    Bytes Write(int nCar)
    {
        Bytes image(CAR_STATE_IMAGE_SIZE + 5, 0xEE);
        EXPECT_EQ(CarModel_WriteState(&gaCarBody[nCar], &gaCarMechanics[nCar], image.data(),
                                      static_cast<uint32_t>(image.size())),
                  static_cast<uint32_t>(CAR_STATE_IMAGE_SIZE));
        EXPECT_EQ(image[CAR_STATE_IMAGE_SIZE], 0xEE) << "nothing written past the image";
        image.resize(CAR_STATE_IMAGE_SIZE);
        return image;
    }
};

TEST_F(CarStateTest, TheDataKitsImageLandsInTheNamedFields)
{
    static_assert(datakit::kCarStateImageSize == CAR_STATE_IMAGE_SIZE);
    datakit::CarState s;
    s.position = {1.5, -2.25, 300.0};
    s.velocity = {0.5, 0.0, -0.125};
    for (int i = 0; i < 8; ++i)
        s.contactPoints[i] = {i * 1.0, -i * 0.5, 10.0 + i};
    s.forward = {0.0, 0.0, -1.0};
    s.side = {1.0, 0.0, 0.0};
    s.extForce = {0.0, 0.75, 0.0};
    s.needsRescue = true;
    s.carNumber = 6;
    s.carType = 13;
    s.eventTimer = -300;
    s.maxRevs = 9.543;
    s.gearRatios = {0, 3.14, 2.22, 1.68, 1.37, 1.16, 1.0, -3.14};
    s.engineRevs = 4.5;
    s.gear = 7;
    s.revSweep = true;
    s.revSweepPeriod = 23;
    const Bytes image = datakit::FormatCarState(s);
    ASSERT_TRUE(CarModel_ReadState(&gaCarBody[2], &gaCarMechanics[2], image.data(),
                                   static_cast<uint32_t>(image.size())));
    const CarBody& b = gaCarBody[2];
    const CarMechanics& m = gaCarMechanics[2];
    EXPECT_EQ(b.Position.x, Fixed(1.5));
    EXPECT_EQ(b.Position.y, Fixed(-2.25));
    EXPECT_EQ(b.Velocity.z, Fixed(-0.125));
    EXPECT_EQ(b.ContactPoint[7].y, Fixed(-3.5));
    EXPECT_EQ(b.ContactPoint[7].z, Fixed(17.0));
    EXPECT_EQ(b.OrientRow0.z, -ONE);
    EXPECT_EQ(b.UpAxis.y, ONE);
    EXPECT_EQ(b.OrientRow2.x, ONE);
    EXPECT_EQ(b.Matrix.m[0][2], -ONE);
    EXPECT_EQ(b.Matrix.m[3][2], Fixed(300.0));
    EXPECT_EQ(b.ExtForce.y, Fixed(0.75));
    EXPECT_EQ(b.NeedsRescue, 1);
    EXPECT_EQ(b.nCarNumber, 6);
    EXPECT_EQ(b.nCarType, 13);
    EXPECT_EQ(b.StartCountdown, -300);
    EXPECT_EQ(m.MaxRevs, Fixed(9.543));
    EXPECT_EQ(m.GearRatio[1], Fixed(3.14));
    EXPECT_EQ(m.GearRatio[7], Fixed(-3.14));
    EXPECT_EQ(m.EngineRevs, Fixed(4.5));
    EXPECT_EQ(m.Gear, 7);
    EXPECT_EQ(m.RevSweepOn, 1);
    EXPECT_EQ(m.RevSweepPeriod, 23);
    EXPECT_EQ(b.pMatrix, &b.Matrix);
    EXPECT_EQ(m.pSwayMatrix, &m.SwayMatrix);
    EXPECT_EQ(m.pDisplayMatrix, &m.DisplayMatrix);
    // Every other field was 0, so the game writes the data kit's bytes back.
    EXPECT_EQ(Write(2), image);
}

TEST_F(CarStateTest, ASetUpCarWritesReadsAndWritesTheSameBytes)
{
    StandOn("bumpy-gravel");
    gaTestGameData[PlayerByte(1, 109)] = 4;
    ASSERT_TRUE(SetUpCar(1, 7, 3.0, 0.0, 60.0, 300)) << last;
    CarModel_PlaceOnTrack(&gaCarBody[1], &gaCarMechanics[1], &gaCarBody[1].Position,
                          &gaCarBody[1].OrientRow2, 1);
    const Bytes first = Write(1);
    // Pointer slots hold 0: the body's actors and matrix pointer, the mechanics' two.
    for (size_t at : {0u, 4u, 8u, 12u, 24u, 28u, 672u, 1896u, 1900u})
        EXPECT_EQ(first[at] | first[at + 1] | first[at + 2] | first[at + 3], 0) << at;
    // The reserved end of the mechanics section.
    for (size_t at = 1896 + 1116; at < 1896 + 1124; ++at)
        EXPECT_EQ(first[at], 0) << at;

    DK_ACTOR* pOwnActor = DkCreateActor(world);
    gaCarBody[4].paCar = pOwnActor;
    ASSERT_TRUE(CarModel_ReadState(&gaCarBody[4], &gaCarMechanics[4], first.data(),
                                   static_cast<uint32_t>(first.size())));
    EXPECT_EQ(Write(4), first);
    EXPECT_EQ(gaCarBody[4].paCar, pOwnActor) << "actors are never taken from bytes";
    EXPECT_EQ(gaCarBody[4].pMatrix, &gaCarBody[4].Matrix);
    EXPECT_EQ(gaCarBody[4].GroundNormal.y, gaCarBody[1].GroundNormal.y);
    EXPECT_EQ(gaCarMechanics[4].GearRatio[3], gaCarMechanics[1].GearRatio[3]);
    EXPECT_EQ(gaCarMechanics[4].PointTriangleCache[5], gaCarMechanics[1].PointTriangleCache[5]);
    EXPECT_EQ(gaCarMechanics[4].RevSweepPeriod, gaCarMechanics[1].RevSweepPeriod);
    EXPECT_EQ(CarModel_WriteState(&gaCarBody[4], &gaCarMechanics[4], nullptr, 0), 0u);
}

TEST_F(CarStateTest, ImagesWithIndicesOutOfRangeAreRefusedAndChangeNothing)
{
    struct Case
    {
        const char* name;
        size_t at;
        uint8_t value;
        uint32_t size;
        const char* report;
    } cases[] = {
        {"one byte short", 0, 0, CAR_STATE_IMAGE_SIZE - 1,
         "CarModel_ReadState() : 3211 bytes, a car state takes 3212"},
        {"car number 8", 1848, 8, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : car number out of range"},
        {"car number -1", 1848, 0xFF, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : car number out of range"},
        {"car type 14", 1849, 14, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : car type out of range"},
        {"gear 8", 1896 + 1078, 8, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : gear out of range"},
        {"nine touching points", 1858, 9, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : touching-point count out of range"},
        {"touching point 8", 1860, 8, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : touching point out of range"},
        {"lowest wheel 4", 1616, 4, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : lowest wheel out of range"},
        {"surface 120", 1896 + 1062 + 14, 120, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : surface out of range"},
        {"block 4096", 1873, 0x10, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : track block out of range"},
        {"neighbour block -32768", 1879, 0x80, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : track block out of range"},
        {"six static-object keys", 3184, 6, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : contact key count out of range"},
        {"last tick's knockable keys -1", 3211, 0xFF, CAR_STATE_IMAGE_SIZE,
         "CarModel_ReadState() : contact key count out of range"},
    };
    datakit::CarState s;
    s.position = {5.0, 6.0, 7.0};
    s.carType = 3;
    Bytes good = datakit::FormatCarState(s);
    good[1858] = 1; // one touching point, point 0
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        gaCarBody[0].Position = {1, 2, 3};
        Bytes image = good;
        image[c.at] = c.value;
        BOOL boRead = TRUE;
        const std::string out = CaptureOutput(
            [&] {
                boRead =
                    CarModel_ReadState(&gaCarBody[0], &gaCarMechanics[0], image.data(), c.size);
            });
        EXPECT_FALSE(boRead);
        EXPECT_TRUE(Reported(out, c.report)) << out;
        EXPECT_EQ(gaCarBody[0].Position.y, 2);
        EXPECT_EQ(gaCarBody[0].nCarType, 0);
    }
    EXPECT_TRUE(CarModel_ReadState(&gaCarBody[0], &gaCarMechanics[0], good.data(),
                                   static_cast<uint32_t>(good.size())));
    EXPECT_EQ(gaCarBody[0].Position.y, Fixed(6.0));
}

} // namespace
