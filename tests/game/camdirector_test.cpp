// The camera director: the television director's cuts between track-side and car cameras, how long
// a blend lasts and when there is none, the change-view key and the stored choice, the blend
// weight, the headings, the pitch of a view and the blend of two matrices.
#include "game/race/cameras.h"

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/dk_rand.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/trackcam.h"
#include "tests/game/car_fixture.h"

namespace
{
constexpr int kChoiceByte = PlayerByte(0, PI_CAMERA_CHOICE);

class CamerasTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        Interp_ClearAll();
        for (auto& pair : gaSnapCarMatrix)
            for (DK_MATRIX& m : pair)
                DkIdentityMatrix(&m);
        gbo50HzMode = FALSE;
        gboMediumDetailCar = 0;
        Cameras_ResetForTests();
    }
    void TearDown() override
    {
        gbo50HzMode = FALSE;
        gboMediumDetailCar = 0;
        Cameras_ResetForTests();
        CarTest::TearDown();
    }
    // Ticks until the blend under way has ended.
    static int BlendTicks()
    {
        int nTicks = 0;
        while (gaPlayerView[0].nCameraType == CAMERA_TYPE_BLEND && nTicks < 1000)
        {
            Cameras_Update(0);
            ++nTicks;
        }
        return nTicks;
    }
    static void Settle() { BlendTicks(); }
};

double Fixed(int32_t x)
{
    return x / 65536.0;
}

// A blend lasts a second, two with a track-side camera in it; a switch to or from the in-car
// view never blends.
TEST_F(CamerasTest, ABlendLastsItsTicksAndTheInCarViewNeverBlends)
{
    struct Case
    {
        int nFrom, nTo;
        BOOL bo50;
        int nTicks;
    };
    const Case cases[] = {
        {CAMERA_TYPE_CHASE_NEAR, CAMERA_TYPE_CHASE_FAR, FALSE, 26},
        {CAMERA_TYPE_CHASE_NEAR, CAMERA_TYPE_CHASE_FAR, TRUE, 51},
        {CAMERA_TYPE_CHASE_NEAR, CAMERA_TYPE_TRACK, FALSE, 51},
        {CAMERA_TYPE_TRACK, CAMERA_TYPE_ORBIT, FALSE, 51},
        {CAMERA_TYPE_TRACK, CAMERA_TYPE_ORBIT, TRUE, 101},
        {CAMERA_TYPE_CHASE_NEAR, CAMERA_TYPE_IN_CAR, FALSE, 0},
        {CAMERA_TYPE_IN_CAR, CAMERA_TYPE_ROOF, FALSE, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << c.nFrom << " to " << c.nTo << " at " << (c.bo50 ? 50 : 25));
        Cameras_ResetForTests();
        gbo50HzMode = c.bo50;
        Cameras_SetMode(0, c.nFrom, FALSE);
        Cameras_SetMode(0, c.nTo, TRUE);
        // The ticks of the blend, then the one that ends it on the new type.
        EXPECT_EQ(BlendTicks(), c.nTicks);
        EXPECT_EQ(gaPlayerView[0].nCameraType, c.nTo);
        EXPECT_EQ(gaCameraDirector[0].nBlendTicks, -1);
    }
}

// While a blend runs the output is between the two records, and the active record flips only
// when it ends.
TEST_F(CamerasTest, ABlendMovesTheOutputFromTheOldRecordToTheNew)
{
    // Two types without a placement of their own: the records are placed by hand.
    Cameras_SetMode(0, CAMERA_TYPE_NONE, FALSE);
    const int nFirstActive = gaCameraDirector[0].nActive;
    CameraView& from = gaCameraViews[nFirstActive ? 0 : 1];
    Cameras_SetMode(0, CAMERA_TYPE_SPARE, TRUE);
    CameraView& to = gaCameraViews[nFirstActive ? 1 : 0];
    from.View.m[3][0] = 0;
    to.View.m[3][0] = 10 * ONE;
    from.xFieldOfView = 0;
    to.xFieldOfView = ONE;
    double xLast = -1;
    for (int t = 0; t < 25; ++t)
    {
        Cameras_Update(0);
        const double x = Fixed(gaPlayerView[0].View.View.m[3][0]);
        EXPECT_GE(x, xLast) << "tick " << t;
        EXPECT_NEAR(Fixed(gaPlayerView[0].View.xFieldOfView), x / 10, 0.001);
        EXPECT_EQ(gaCameraDirector[0].nActive, nFirstActive);
        xLast = x;
    }
    Cameras_Update(0);
    EXPECT_NE(gaCameraDirector[0].nActive, nFirstActive);
    EXPECT_EQ(gaPlayerView[0].View.View.m[3][0], 10 * ONE);
}

// The blend weight of the new record is 1 - c^2, c = (1 + cos(pi f)) / 2.
TEST_F(CamerasTest, TheBlendWeightEasesInAndOut)
{
    for (int nLeft : {25, 20, 15, 12, 5, 1, 0})
    {
        const double f = 1.0 - nLeft / 25.0;
        const double c = (1 + std::cos(M_PI * f)) / 2;
        EXPECT_NEAR(Fixed(Cameras_BlendWeight(nLeft, 25)), 1 - c * c, 0.002) << nLeft;
    }
    EXPECT_EQ(Cameras_BlendWeight(25, 25), 0);
    EXPECT_EQ(Cameras_BlendWeight(0, 25), ONE);
}

// The change-view key steps through the allowed types; it does nothing during a blend or the TV
// intro.
TEST_F(CamerasTest, TheChangeViewKeyStepsThroughTheAllowedTypes)
{
    struct Case
    {
        const char* what;
        uint8_t uOption37, uOption38;
        BOOL boMedium;
        int nFrom, nTo;
    };
    const Case cases[] = {
        {"chase near to far", 0, 0, FALSE, CAMERA_TYPE_CHASE_NEAR, CAMERA_TYPE_CHASE_FAR},
        {"chase far wraps to the bonnet", 0, 0, FALSE, CAMERA_TYPE_CHASE_FAR, CAMERA_TYPE_BONNET},
        {"bonnet to roof", 0, 0, FALSE, CAMERA_TYPE_BONNET, CAMERA_TYPE_ROOF},
        {"roof to in-car", 0, 0, FALSE, CAMERA_TYPE_ROOF, CAMERA_TYPE_IN_CAR},
        {"medium-detail car: roof to chase", 0, 0, TRUE, CAMERA_TYPE_ROOF, CAMERA_TYPE_CHASE_NEAR},
        {"no in-car view: roof to chase", 0, 1, FALSE, CAMERA_TYPE_ROOF, CAMERA_TYPE_CHASE_NEAR},
        {"in-car to chase", 0, 0, FALSE, CAMERA_TYPE_IN_CAR, CAMERA_TYPE_CHASE_NEAR},
        {"restricted: near to far", 4, 0, FALSE, CAMERA_TYPE_CHASE_NEAR, CAMERA_TYPE_CHASE_FAR},
        {"restricted: far to orbit", 4, 0, FALSE, CAMERA_TYPE_CHASE_FAR, CAMERA_TYPE_ORBIT_HIGH},
        {"restricted: orbit wraps to near", 4, 0, FALSE, CAMERA_TYPE_ORBIT_HIGH,
         CAMERA_TYPE_CHASE_NEAR},
        {"the TV intro", 0, 0, FALSE, CAMERA_TYPE_TV, CAMERA_TYPE_TV},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Cameras_ResetForTests();
        gaTestGameData[37] = c.uOption37;
        gaTestGameData[38] = c.uOption38;
        gboMediumDetailCar = c.boMedium;
        Cameras_SetMode(0, c.nFrom, FALSE);
        Cameras_NextMode(0);
        Settle();
        EXPECT_EQ(gaPlayerView[0].nCameraType, c.nTo);
    }
    // During a blend the key does nothing.
    gaTestGameData[37] = gaTestGameData[38] = 0;
    gboMediumDetailCar = 0;
    Cameras_ResetForTests();
    Cameras_SetMode(0, CAMERA_TYPE_CHASE_NEAR, FALSE);
    Cameras_NextMode(0);
    Cameras_Update(0);
    Cameras_NextMode(0);
    Settle();
    EXPECT_EQ(gaPlayerView[0].nCameraType, CAMERA_TYPE_CHASE_FAR);
}

// The key's choice is kept in bits 2-6 of the player's camera byte, and the race start and the
// school take it back from there.
TEST_F(CamerasTest, TheStoredChoiceGoesBothWays)
{
    struct Case
    {
        int nType;
        int nCode; // -1: nothing stored
    };
    const Case cases[] = {
        {CAMERA_TYPE_CHASE_NEAR, 0}, {CAMERA_TYPE_CHASE_FAR, 1}, {CAMERA_TYPE_ROOF, 2},
        {CAMERA_TYPE_BONNET, 3},     {CAMERA_TYPE_IN_CAR, 4},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.nType);
        Cameras_ResetForTests();
        gaTestGameData[kChoiceByte] = 0x83; // the bits around the choice stay
        // The key reaches the type from the one before it.
        Cameras_SetMode(0, c.nType == CAMERA_TYPE_CHASE_NEAR ? CAMERA_TYPE_IN_CAR : c.nType - 1,
                        FALSE);
        if (c.nType == CAMERA_TYPE_BONNET)
            Cameras_SetMode(0, CAMERA_TYPE_CHASE_FAR, FALSE);
        Cameras_NextMode(0);
        Settle();
        ASSERT_EQ(gaPlayerView[0].nCameraType, c.nType);
        EXPECT_EQ(gaTestGameData[kChoiceByte], 0x83 | (c.nCode << 2));
        Cameras_SetMode(0, CAMERA_TYPE_ORBIT, FALSE);
        Cameras_SetStoredMode(0, FALSE);
        EXPECT_EQ(gaPlayerView[0].nCameraType, c.nType);
    }
    // A code beyond the list gives type 0; with the medium-detail car the in-car choice gives the
    // roof; the restricted camera set always starts on the near chase view.
    struct Read
    {
        uint8_t uByte, uOption37;
        BOOL boMedium;
        int nType;
    };
    const Read reads[] = {
        {5 << 2, 0, FALSE, CAMERA_TYPE_NONE},
        {4 << 2, 0, TRUE, CAMERA_TYPE_ROOF},
        {3 << 2, 4, FALSE, CAMERA_TYPE_CHASE_NEAR},
    };
    for (const Read& r : reads)
    {
        Cameras_ResetForTests();
        gaTestGameData[kChoiceByte] = r.uByte;
        gaTestGameData[37] = r.uOption37;
        gboMediumDetailCar = r.boMedium;
        Cameras_SetMode(0, CAMERA_TYPE_ORBIT, FALSE);
        Cameras_SetStoredMode(0, FALSE);
        EXPECT_EQ(gaPlayerView[0].nCameraType, r.nType) << int(r.uByte);
    }
}

// Headings 0..4095 from the forward row, in all four quadrants.
TEST_F(CamerasTest, HeadingsCoverAllFourQuadrants)
{
    struct Case
    {
        double x, z;
        int nHeading;
    };
    const Case cases[] = {
        {0, 1, 0},
        {1, 0, 1024},
        {0, -1, 2048},
        {-1, 0, 3072},
        {0.7071, 0.7071, 512},
        {0.7071, -0.7071, 1536},
        {-0.7071, -0.7071, 2560},
        {-0.7071, 0.7071, 3584},
    };
    for (const Case& c : cases)
    {
        DK_MATRIX& view = gaPlayerView[0].View.View;
        DkIdentityMatrix(&view);
        view.m[2][0] = static_cast<int32_t>(c.x * ONE);
        view.m[2][2] = static_cast<int32_t>(c.z * ONE);
        EXPECT_NEAR(Cameras_GetHeadingFromView(0), c.nHeading, 2) << c.x << ", " << c.z;
        // A car's forward row is its first.
        DK_MATRIX& car = gaSnapCarMatrix[3][SNAP_CURRENT];
        DkIdentityMatrix(&car);
        car.m[0][0] = view.m[2][0];
        car.m[0][2] = view.m[2][2];
        EXPECT_NEAR(Cameras_GetHeadingFromObject(3), c.nHeading, 2) << c.x << ", " << c.z;
    }
}

// A positive angle pitches the view down about its side axis; the position stays.
TEST_F(CamerasTest, ResetOrientationPitchesAboutTheSideAxis)
{
    DK_MATRIX m;
    DkIdentityMatrix(&m);
    m.m[3][0] = 3 * ONE;
    m.m[3][1] = 4 * ONE;
    Cameras_ResetOrientation(&m, 1024 / 4 * 2); // an eighth of a turn
    EXPECT_EQ(m.m[0][0], ONE);
    EXPECT_NEAR(Fixed(m.m[2][1]), -std::sqrt(0.5), 0.001) << "the forward row dips";
    EXPECT_NEAR(Fixed(m.m[2][2]), std::sqrt(0.5), 0.001);
    EXPECT_NEAR(Fixed(m.m[1][2]), std::sqrt(0.5), 0.001);
    EXPECT_EQ(m.m[3][0], 3 * ONE);
    EXPECT_EQ(m.m[3][1], 4 * ONE);
}

// BlendMatrices in either mode keeps the rows orthonormal and square, the ends exact.
TEST_F(CamerasTest, BlendedMatricesStayOrthonormal)
{
    DK_MATRIX from, to;
    DkIdentityMatrix(&from);
    DkIdentityMatrix(&to);
    Cameras_ResetOrientation(&to, 700);
    to.m[3][2] = 8 * ONE;
    for (int nMode : {0, 1})
        for (double w : {0.0, 0.3, 0.5, 1.0})
        {
            DK_MATRIX out;
            const auto xW = static_cast<int32_t>(w * ONE);
            BlendMatrices(&out, &from, &to, xW, xW, xW, nMode);
            for (int r = 0; r < 3; ++r)
            {
                double dLength = 0;
                for (int k = 0; k < 3; ++k)
                    dLength += std::pow(Fixed(out.m[r][k]), 2);
                EXPECT_NEAR(dLength, 1.0, 0.002) << "mode " << nMode << " w " << w;
                const int s = (r + 1) % 3;
                double dDot = 0;
                for (int k = 0; k < 3; ++k)
                    dDot += Fixed(out.m[r][k]) * Fixed(out.m[s][k]);
                EXPECT_NEAR(dDot, 0.0, 0.002) << "mode " << nMode << " w " << w;
            }
            EXPECT_NEAR(Fixed(out.m[3][2]), 8 * w, 0.001);
            if (w == 1.0)
                for (int r = 0; r < 3; ++r)
                    for (int k = 0; k < 3; ++k)
                        EXPECT_NEAR(out.m[r][k], to.m[r][k], 40) << r << k;
        }
}

// The track-side cameras the director films from: each a point of kind 1 (it looks at the car
// from where it stands), written as a stage's ".tsc" and loaded.
class DirectorTest : public CamerasTest
{
protected:
    void SetUp() override
    {
        CamerasTest::SetUp();
        TrackCam_ResetForTests();
        DkSRand(7);
    }
    void TearDown() override
    {
        TrackCam_ResetForTests();
        CamerasTest::TearDown();
    }
    void LoadCameras(const std::vector<std::pair<double, double>>& points)
    {
        std::vector<uint8_t> bytes;
        for (const auto& [x, z] : points)
        {
            for (int32_t v : {static_cast<int32_t>(x * ONE), 0, static_cast<int32_t>(z * ONE)})
                for (int b = 0; b < 4; ++b)
                    bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b)));
            bytes.insert(bytes.end(), {1, 0, 0, 0});
        }
        const std::string path = env.Path("stage.tsc");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        TrackCam_LoadCameras(path.c_str());
        int32_t nCount = 0;
        TrackCam_GetCamerasForTests(&nCount);
        ASSERT_EQ(nCount, static_cast<int32_t>(points.size()));
    }
    static void PlaceCar(double x, double z)
    {
        DK_MATRIX& m = gaSnapCarMatrix[0][SNAP_CURRENT];
        m.m[3][0] = static_cast<int32_t>(x * ONE);
        m.m[3][2] = static_cast<int32_t>(z * ONE);
    }
    // Director on, filming from the given camera type; the ticks until it cuts to a track
    // camera, or -1.
    static int TicksToTrackCut(int nType, int nLimit)
    {
        Cameras_SetMode(0, nType, FALSE);
        Cameras_SetLookBack(TRUE, FALSE, 0, 0);
        for (int t = 1; t <= nLimit; ++t)
        {
            Cameras_Update(0);
            if (gaPlayerView[0].nCameraType == CAMERA_TYPE_TRACK)
                return t;
        }
        return -1;
    }
};

// From a car camera the director cuts to a track camera within 75.0 of the car once the car
// camera has been held three seconds; never to one farther away, nor with no cameras at all.
TEST_F(DirectorTest, ItCutsToATrackCameraInRangeOnceTheCarCameraHasBeenHeld)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<double, double>> points;
        BOOL bo50;
        int nTicks;
    };
    const Case cases[] = {
        {"one 50.0 away", {{50, 0}}, FALSE, 75},
        {"one 50.0 away at 50 ticks a second", {{50, 0}}, TRUE, 150},
        {"one just within 75.0", {{53, 53}}, FALSE, 75},
        {"one 76.0 away along x", {{76, 0}}, FALSE, -1},
        {"one within 75.0 in x and z but 78.1 away", {{60, 50}}, FALSE, -1},
        {"no cameras", {}, FALSE, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Cameras_ResetForTests();
        TrackCam_ResetForTests();
        gbo50HzMode = c.bo50;
        if (!c.points.empty())
            LoadCameras(c.points);
        PlaceCar(0, 0);
        EXPECT_EQ(TicksToTrackCut(CAMERA_TYPE_ORBIT, 400), c.nTicks);
    }
}

// Asked to cut to the track cameras, the view goes at once to the camera nearest the car, however
// far, and stays with the track cameras; once the car is out of every camera's range in a cut
// made by the director, it goes back to a car camera.
TEST_F(DirectorTest, ACutToTheTrackCamerasGoesAtOnceAndLastsWhileOneIsInRange)
{
    LoadCameras({{200, 0}, {100, 0}});
    PlaceCar(0, 0);
    Cameras_SetMode(0, CAMERA_TYPE_LOOK_BACK, FALSE);
    Cameras_SetLookBack(TRUE, TRUE, 0, 0);
    EXPECT_EQ(gaPlayerView[0].nCameraType, CAMERA_TYPE_TRACK);
    EXPECT_EQ(gaCameraViews[2 * 0 + (gaCameraDirector[0].nActive ? 0 : 1)].nTrackCamera, 1);
    for (int t = 0; t < 100; ++t)
        Cameras_Update(0);
    EXPECT_EQ(gaPlayerView[0].nCameraType, CAMERA_TYPE_TRACK);

    // A director's own cut to the camera in range, then the car drives away from both.
    Cameras_ResetForTests();
    PlaceCar(90, 0);
    ASSERT_EQ(TicksToTrackCut(CAMERA_TYPE_ORBIT, 100), 75);
    PlaceCar(150, 300);
    Cameras_Update(0);
    const int nType = gaPlayerView[0].nCameraType;
    EXPECT_TRUE(nType == CAMERA_TYPE_ORBIT || nType == CAMERA_TYPE_LOOK_BACK) << nType;
    EXPECT_EQ(gaCameraDirector[0].nTicksSinceCut, 0);
}

// On a track camera, when another camera becomes the nearest, one cut in five goes to a car
// camera (orbit or look-back, even chance) and the rest to the new camera.
TEST_F(DirectorTest, FromATrackCameraOneCutInFiveGoesToACarCamera)
{
    LoadCameras({{0, 0}, {0, 60}});
    int nToCar = 0, nToOrbit = 0, nToTrack = 0;
    constexpr int kTrials = 2000;
    for (int n = 0; n < kTrials; ++n)
    {
        Cameras_ResetForTests();
        PlaceCar(0, 10);
        ASSERT_EQ(TicksToTrackCut(CAMERA_TYPE_ORBIT, 100), 75);
        PlaceCar(0, 50);
        Cameras_Update(0);
        const CameraView& active = gaCameraViews[gaCameraDirector[0].nActive ? 0 : 1];
        if (gaPlayerView[0].nCameraType == CAMERA_TYPE_TRACK)
        {
            EXPECT_EQ(active.nTrackCamera, 1);
            ++nToTrack;
        }
        else
        {
            ++nToCar;
            nToOrbit += gaPlayerView[0].nCameraType == CAMERA_TYPE_ORBIT;
        }
    }
    EXPECT_NEAR(nToCar / double(kTrials), 0.2, 0.03);
    EXPECT_NEAR(nToOrbit / double(nToCar), 0.5, 0.08);
    EXPECT_EQ(nToCar + nToTrack, kTrials);
}

} // namespace
