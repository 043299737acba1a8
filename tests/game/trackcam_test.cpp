// The stage's track-side cameras and start positions: the ".tsc" and ".csp" files the data kit
// writes, read back through the file layer; the camera nearest a car, the kind-2 cameras'
// links to the cat's eyes, the aim of each kind of camera, and where the cars start.
#include "game/race/trackcam.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/include/dk_ff.h"
#include "game/hud/catseye.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/superspecial.h"
#include "tests/game/race_fixture.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/trackcam_writer.h"

namespace
{

namespace fs = std::filesystem;

constexpr int32_t ONE = 0x10000;

struct V
{
    double x, y, z;
};

DK_VECTOR Vec(const V& v)
{
    return {Fixed(v.x), Fixed(v.y), Fixed(v.z)};
}

class TrackCamTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        TrackCam_ResetForTests();
        SuperSpecial_SetForTests(FALSE);
        gbo50HzMode = FALSE;
        gpCatsEyes = nullptr;
        gnNumCatsEyes = 0;
        PlaceCar({0, 0, 0});
    }
    void TearDown() override
    {
        TrackCam_ResetForTests();
        SuperSpecial_SetForTests(FALSE);
        gbo50HzMode = FALSE;
        gpCatsEyes = nullptr;
        gnNumCatsEyes = 0;
        RaceTest::TearDown();
    }

    // Writes the bytes as "c:\stage<extension>" (none: no file); its game path.
    std::string Write(const char* pszExtension, const std::optional<std::vector<uint8_t>>& bytes)
    {
        const fs::path file = fs::path(env.DriveC()) / (std::string("stage") + pszExtension);
        fs::remove(file);
        if (bytes)
            datakit::WriteFileAtomically(file, *bytes);
        return std::string("c:\\stage") + pszExtension;
    }
    void LoadCameras(const std::vector<datakit::TrackCamera>& cameras)
    {
        TrackCam_LoadCameras(Write(".tsc", datakit::FormatTrackCameras(cameras)).c_str());
    }
    // Loads the start positions; what was reported.
    std::string LoadStarts(const std::optional<std::vector<uint8_t>>& bytes)
    {
        const std::string path = Write(".csp", bytes);
        return CaptureOutput([&] { TrackCam_LoadStartPositions(path.c_str()); });
    }
    // The car's position for this tick, as the cameras take it.
    static void PlaceCar(const V& at)
    {
        const DK_VECTOR p = Vec(at);
        DkIdentityMatrix(&gaSnapCarMatrix[0][SNAP_CURRENT]);
        FfMatSetPosition(&p, &gaSnapCarMatrix[0][SNAP_CURRENT]);
    }
    static datakit::TrackCamera Camera(const V& at, int kind, int link = 0)
    {
        datakit::TrackCamera c;
        c.x = at.x;
        c.y = at.y;
        c.z = at.z;
        c.kind = kind;
        c.link = link;
        return c;
    }
    // A chain of cat's eyes at the points.
    void SetCatsEyes(const std::vector<V>& points)
    {
        eyes.assign(points.size(), CatsEyeRecord{});
        for (size_t i = 0; i < points.size(); ++i)
        {
            eyes[i].x = Fixed(points[i].x);
            eyes[i].y = Fixed(points[i].y);
            eyes[i].z = Fixed(points[i].z);
        }
        gpCatsEyes = eyes.empty() ? nullptr : eyes.data();
        gnNumCatsEyes = static_cast<int32_t>(eyes.size());
    }

    std::vector<CatsEyeRecord> eyes;
};

TEST_F(TrackCamTest, TheCamerasAreEveryWholeRecordOfTheFile)
{
    const std::vector<uint8_t> three = datakit::FormatTrackCameras(
        {Camera({1, 2, 3}, 0), Camera({-4.5, 5, 6}, 2, -3), Camera({7, 8, 9.25}, 6, 300)});
    struct Case
    {
        const char* pszName;
        std::optional<size_t> bytes; // of the three records, then zeros
        int32_t nCount;
    };
    const Case aCases[] = {
        {"three whole records", 48, 3},
        {"a tail shorter than a record is left out", 63, 3},
        {"less than one record", 15, 0},
        {"an empty file", 0, 0},
        {"no file", std::nullopt, 0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        // Cameras already loaded never survive the next stage's load.
        TrackCam_LoadCameras(Write(".tsc", three).c_str());
        std::optional<std::vector<uint8_t>> bytes;
        if (c.bytes)
        {
            bytes.emplace(three.begin(), three.begin() + std::min(*c.bytes, three.size()));
            bytes->resize(*c.bytes, 0);
        }
        const std::string out =
            CaptureOutput([&] { TrackCam_LoadCameras(Write(".tsc", bytes).c_str()); });
        // A stage may have no cameras: only the file layer reports a missing file.
        EXPECT_EQ(CountReports(out), c.bytes ? 0 : 1) << out;
        int32_t nCount = -1;
        const TrackCameraRecord* pCameras = TrackCam_GetCamerasForTests(&nCount);
        ASSERT_EQ(nCount, c.nCount);
        EXPECT_EQ(TrackCam_FindNearest(0, nullptr), c.nCount > 0 ? 0 : -1);
        if (c.nCount == 0)
            continue;
        EXPECT_EQ(pCameras[1].x, Fixed(-4.5));
        EXPECT_EQ(pCameras[1].nKind, 2);
        EXPECT_EQ(pCameras[1].nLinkedCheckpoint, -3);
        EXPECT_EQ(pCameras[2].z, Fixed(9.25));
        EXPECT_EQ(pCameras[2].nKind, 6);
        EXPECT_EQ(pCameras[2].nLinkedCheckpoint, 300);
        DK_VECTOR point;
        EXPECT_TRUE(TrackCam_GetPoint(2, &point));
        EXPECT_EQ(point.y, Fixed(8));
        EXPECT_FALSE(TrackCam_GetPoint(3, &point));
        EXPECT_FALSE(TrackCam_GetPoint(-1, &point));
    }
}

TEST_F(TrackCamTest, TheNearestCameraCountsWholeUnitsAcrossTheGroundAndTheFirstWinsATie)
{
    struct Case
    {
        const char* pszName;
        std::vector<V> cameras;
        V car;
        int nNearest;
        double distance; // the full distance to the nearest
    };
    const std::vector<Case> cases = {
        // 10.9 and 10.2 are both 10 whole units away: the earlier camera wins, though the
        // later one is nearer.
        {"a tie in whole units goes to the earlier camera", {{10.9, 0, 0}, {0, 0, 10.2}},
         {0, 0, 0}, 0, 10.9},
        {"the nearer in whole units wins", {{12, 0, 0}, {0, 0, 10.2}}, {0, 0, 0}, 1, 10.2},
        {"height does not count, but the distance given back is the full one",
         {{0, 50, 10}, {0, 0, 11.5}}, {0, 0, 0}, 0, std::sqrt(2600.0)},
        {"from the car's position", {{100, 0, 100}, {200, 3, 205}}, {197, 7, 202}, 1, 5.83095},
        {"far cameras keep their distance", {{300, 0, 400}}, {0, 0, 0}, 0, 500.0},
        {"a camera 1,000 whole units off is never found", {{600, 0, 800}}, {0, 0, 0}, -1, 0},
        {"no cameras", {}, {0, 0, 0}, -1, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        std::vector<datakit::TrackCamera> cameras;
        for (const V& at : c.cameras)
            cameras.push_back(Camera(at, 1));
        LoadCameras(cameras);
        PlaceCar(c.car);
        int32_t xDistance = -1;
        EXPECT_EQ(TrackCam_FindNearest(0, &xDistance), c.nNearest);
        if (c.nNearest >= 0)
            EXPECT_NEAR(Units(xDistance), c.distance, 0.02);
        else
            EXPECT_EQ(xDistance, -1) << "left as it was";
    }
}

TEST_F(TrackCamTest, AKindTwoCameraLinksTheFarthestCatsEyeWithinRange)
{
    struct Case
    {
        const char* pszName;
        int nKind;
        std::vector<V> eyes; // the camera stands at the origin, linking 7 in its file
        int nLinked;
    };
    const std::vector<Case> cases = {
        {"the farthest below 75.0", 2, {{10, 0, 0}, {0, 9, 74.9}, {60, 0, 0}, {80, 0, 0}}, 1},
        {"the first found of two as far", 2, {{0, 0, 50}, {-30, 0, -40}, {50, 0, 0}}, 0},
        {"within 75.0 in x and in z but not across the ground", 2, {{70, 0, 30}, {5, 0, 5}}, 1},
        {"75.0 exactly is out of range", 2, {{75, 0, 0}, {0, 0, -75}}, 7},
        {"none in range keeps the stored link", 2, {{100, 0, 0}, {0, 0, 200}}, 7},
        {"no cat's eyes keeps the stored link", 2, {}, 7},
        {"other kinds keep theirs", 1, {{10, 0, 0}}, 7},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        LoadCameras({Camera({0, 0, 0}, c.nKind, 7)});
        SetCatsEyes(c.eyes);
        TrackCam_LinkTargets();
        EXPECT_EQ(TrackCam_GetCamerasForTests(nullptr)[0].nLinkedCheckpoint, c.nLinked);
    }
}

// The camera at P = (10, 2, 20) looks at the car 30.0 up the z axis.
TEST_F(TrackCamTest, EachKindAimsWithItsOffsetRiseAndZoom)
{
    const V point = {10, 2, 20};
    const V car = {10, 2, 50};
    struct Case
    {
        const char* pszName;
        int nKind;
        int nLink;
        V carAt;
        V eye;
        V forward;
        double fieldOfView;
    };
    const double rise = 3.0; // a tenth of the distance
    const double tilt = std::sqrt(900.0 + rise * rise);
    const std::vector<Case> cases = {
        {"kind 0 stands 6.0 from the car", 0, 0, car, {10, 2, 44}, {0, 0, 1}, 0.625},
        {"kind 1 looks from its point", 1, 0, car, point, {0, 0, 1}, 0.625},
        {"kind 3 stands half way", 3, 0, car, {10, 2, 35}, {0, 0, 1}, 0.625},
        {"kind 4 zooms with the distance", 4, 0, car, point, {0, 0, 1}, 1.8},
        {"kind 5 is raised by a tenth of the distance", 5, 0, car, {10, 5, 20},
         {0, -rise / tilt, 30 / tilt}, 0.625},
        {"kind 6 is raised and zooms", 6, 0, car, {10, 5, 20}, {0, -rise / tilt, 30 / tilt}, 1.8},
        {"kind 2 looks along the road to its cat's eye", 2, 0, car, point, {0.6, 0, 0.8}, 0.625},
        {"kind 2 looks back when the car is behind it", 2, 0, {10, 2, -10}, point,
         {-0.6, 0, -0.8}, 0.625},
        {"kind 2 with a link beyond the chain aims at the car", 2, 2, car, point, {0, 0, 1},
         0.625},
        {"kind 2 with a negative link aims at the car", 2, -1, car, point, {0, 0, 1}, 0.625},
        {"kind 2 with its cat's eye right above it aims at the car", 2, 1, car, point, {0, 0, 1},
         0.625},
    };
    // The first cat's eye lies along (0.6, 0, 0.8) from the camera; the second above it.
    SetCatsEyes({{16, 2, 28}, {10, 9, 20}});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        LoadCameras({Camera(point, c.nKind, c.nLink)});
        CameraView view{};
        view.nTrackCamera = 0;
        const DK_VECTOR at = Vec(c.carAt);
        TrackCam_AttachFixed(&view, &at);
        EXPECT_EQ(view.AimPoint.z, at.z);
        const auto& m = view.View.m;
        EXPECT_NEAR(Units(m[3][0]), c.eye.x, 0.01);
        EXPECT_NEAR(Units(m[3][1]), c.eye.y, 0.01);
        EXPECT_NEAR(Units(m[3][2]), c.eye.z, 0.01);
        EXPECT_NEAR(Units(m[2][0]), c.forward.x, 0.002);
        EXPECT_NEAR(Units(m[2][1]), c.forward.y, 0.002);
        EXPECT_NEAR(Units(m[2][2]), c.forward.z, 0.002);
        // The side row is level and square to the forward row, the up row points up.
        EXPECT_EQ(m[0][1], 0);
        EXPECT_NEAR(Units(m[0][0]), c.forward.z / std::hypot(c.forward.x, c.forward.z), 0.002);
        EXPECT_GT(Units(m[1][1]), 0.99);
        EXPECT_EQ(m[3][3], ONE);
        EXPECT_NEAR(Units(view.xFieldOfView), c.fieldOfView, 0.002);
        EXPECT_EQ(view.xLift, 0);
        EXPECT_EQ(view.xValueB, ONE);
        EXPECT_EQ(view.xTrackDraw, 7 * ONE);
        EXPECT_NEAR(Units(view.xLiftHeight), 30.0, 0.01) << "the distance across the ground";
    }
}

TEST_F(TrackCamTest, TheHeightAboveTheCarIsTheDistanceAcrossTheGround)
{
    LoadCameras({Camera({0, 0, 0}, 4)});
    CameraView view{};
    const DK_VECTOR at = Vec({30, 40, 40});
    TrackCam_AttachFixed(&view, &at);
    EXPECT_NEAR(Units(view.xLiftHeight), 50.0, 0.01);
    EXPECT_NEAR(Units(view.xFieldOfView), 1.0 + 2.0 * std::sqrt(4100.0) / 75.0, 0.002)
        << "the zoom takes the full distance";
}

TEST_F(TrackCamTest, TheTrackDrawValueIsOffInCountryEightAndTheSchoolsFirstLessons)
{
    struct Case
    {
        const char* pszName;
        uint8_t uSelection; // byte 360: low four bits the country
        BOOL boSchool;
        uint8_t uLesson; // byte 1728
        int32_t xTrackDraw;
    };
    const Case aCases[] = {
        {"a stage of country 1", 0x21, FALSE, 0, 7 * ONE},
        {"a stage of country 8", 0x38, FALSE, 0, 0},
        {"country 8 in the high nibble only", 0x81, FALSE, 0, 7 * ONE},
        {"a lesson below 64", 0x01, TRUE, 63, 0},
        {"a lesson of 64", 0x01, TRUE, 64, 7 * ONE},
        {"byte 1728 outside the school", 0x01, FALSE, 10, 7 * ONE},
    };
    LoadCameras({Camera({0, 0, 0}, 1)});
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        gaRaceGameData[GD_STAGE_SELECTION] = c.uSelection;
        gaRaceGameData[GD_SCHOOL_SELECTION] = c.uLesson;
        gboRaceSchool = c.boSchool;
        CameraView view{};
        const DK_VECTOR at = Vec({0, 0, 20});
        TrackCam_AttachFixed(&view, &at);
        EXPECT_EQ(view.xTrackDraw, c.xTrackDraw);
    }
}

TEST_F(TrackCamTest, TheMovingAimClosesAThirdOfTheGapASecondsTick)
{
    struct Case
    {
        const char* pszName;
        int nKind;
        BOOL bo50Hz;
        bool boOptionBit; // byte 39 bit 1
        double gap;       // from the aim point at the origin to the car along x
        double moved;     // what the aim point moves in one tick
    };
    const Case aCases[] = {
        {"25 ticks a second: 8.33 of 25", 1, FALSE, false, 25.0, 8.33},
        {"50 ticks a second: 8.33 of 50", 1, TRUE, false, 50.0, 8.33},
        {"every kind but 0 follows", 3, FALSE, false, 75.0, 24.99},
        {"kind 0 is on the car", 0, FALSE, false, 25.0, 25.0},
        {"the option bit puts it on the car", 1, FALSE, true, 25.0, 25.0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        LoadCameras({Camera({0, 0, -30}, c.nKind)});
        gbo50HzMode = c.bo50Hz;
        gaRaceGameData[39] = c.boOptionBit ? 0x02 : 0xFD;
        CameraView view{};
        const DK_VECTOR origin = {0, 0, 0};
        TrackCam_AttachFixed(&view, &origin);
        const DK_VECTOR car = Vec({c.gap, 0, 0});
        TrackCam_AttachMoving(&view, &car);
        EXPECT_NEAR(Units(view.AimPoint.x), c.moved, 0.001);
        EXPECT_EQ(view.AimPoint.z, 0);
        // The view looks from the camera's point at the aim point, not at the car.
        const double along = std::hypot(c.moved, 30.0);
        EXPECT_NEAR(Units(view.View.m[2][0]), c.moved / along, 0.002);
    }
}

TEST_F(TrackCamTest, ARecordOnACameraThatIsNotThereIsLeftAsItWas)
{
    LoadCameras({Camera({0, 0, 0}, 1)});
    CameraView view{};
    view.nTrackCamera = 1;
    view.xFieldOfView = 12345;
    const DK_VECTOR car = Vec({5, 0, 5});
    TrackCam_AttachMoving(&view, &car);
    EXPECT_EQ(view.AimPoint.x, car.x) << "the aim point goes to the car";
    EXPECT_EQ(view.xFieldOfView, 12345);
    EXPECT_EQ(view.View.m[3][3], 0);
}

// Car 1's set: (1, 2, 3) facing 100 and (4, 5, 6) facing 200; the second set the same plus 1,000
// and plus 1 in the angles.
std::vector<datakit::StartSet> TwoSets()
{
    datakit::StartSet forward = {};
    forward[0] = {1, 2, 3, {0, 100, 0}};
    forward[1] = {4, 5, 6, {0, 200, 0}};
    datakit::StartSet reverse = forward;
    for (datakit::StartPosition& p : reverse)
    {
        p.x += 1000;
        p.angles[1] += 1;
    }
    return {forward, reverse};
}

TEST_F(TrackCamTest, TheStartSetIsTheSecondOnlyOnAReverseStageWithAWholeSecondSet)
{
    const std::vector<uint8_t> two = datakit::FormatStartPositions(TwoSets());
    ASSERT_EQ(two.size(), 80u);
    struct Case
    {
        const char* pszName;
        size_t uBytes;
        bool boReverse, boSchool, boSuperSpecial;
        bool boSecond;
    };
    const Case aCases[] = {
        {"one set, run forwards", 40, false, false, false, false},
        {"one set whatever the option", 40, true, false, false, false},
        {"two sets, run forwards", 80, false, false, false, false},
        {"two sets, run in reverse", 80, true, false, false, true},
        {"two sets in the rally school", 80, true, true, false, false},
        {"two sets on a super special stage", 80, true, false, true, false},
        {"a second set cut short is not read", 60, true, false, false, false},
        {"bytes beyond the second set are not read", 90, true, false, false, true},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        gaRaceGameData[OPTION_REVERSE_DIRECTION.nByte] =
            c.boReverse ? 1 << OPTION_REVERSE_DIRECTION.nBit : 0;
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        SuperSpecial_SetForTests(c.boSuperSpecial ? TRUE : FALSE);
        std::vector<uint8_t> bytes(two.begin(), two.begin() + std::min(c.uBytes, two.size()));
        bytes.resize(c.uBytes, 0xEE);
        const std::string out = LoadStarts(bytes);
        EXPECT_EQ(CountReports(out), 0) << out;
        const double dx = c.boSecond ? 1000 : 0;
        const int nTurn = c.boSecond ? 1 : 0;
        struct Expected
        {
            int nCar;
            V at;
            int16_t nHeading;
        };
        // Car numbers from 0: even ones take car 1's place, odd ones car 2's.
        const Expected aCars[] = {{0, {1 + dx, 2, 3}, static_cast<int16_t>(100 + nTurn)},
                                  {1, {4 + dx, 5, 6}, static_cast<int16_t>(200 + nTurn)},
                                  {2, {1 + dx, 2, 3}, static_cast<int16_t>(100 + nTurn)},
                                  {3, {4 + dx, 5, 6}, static_cast<int16_t>(200 + nTurn)}};
        for (const Expected& e : aCars)
        {
            SCOPED_TRACE(e.nCar);
            DK_VECTOR at;
            int16_t anAngles[3] = {-1, -1, -1};
            EXPECT_TRUE(TrackCam_GetStartPosition(e.nCar, &at, anAngles));
            EXPECT_EQ(at.x, Fixed(e.at.x));
            EXPECT_EQ(at.y, Fixed(e.at.y));
            EXPECT_EQ(at.z, Fixed(e.at.z));
            EXPECT_EQ(anAngles[0], 0);
            EXPECT_EQ(anAngles[1], e.nHeading);
            EXPECT_EQ(anAngles[2], 0);
        }
    }
}

TEST_F(TrackCamTest, WithoutStartPositionsTheLoadReportsAndGoesOn)
{
    const std::vector<uint8_t> two = datakit::FormatStartPositions(TwoSets());
    struct Case
    {
        const char* pszName;
        std::optional<std::vector<uint8_t>> bytes;
    };
    const Case aCases[] = {
        {"no file", std::nullopt},
        {"an empty file", std::vector<uint8_t>{}},
        {"a file shorter than a set", std::vector<uint8_t>(two.begin(), two.begin() + 39)},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        // What the last stage left is gone.
        LoadStarts(two);
        const int nMark = gnNumDestructors;
        const std::string out = LoadStarts(c.bytes);
        // The file layer reports a file it cannot open, then the loader what it lacks.
        EXPECT_EQ(CountReports(out), c.bytes ? 1 : 2) << out;
        EXPECT_TRUE(Reported(out, "No start positions - Press Abort now!!!")) << out;
        EXPECT_EQ(gnNumDestructors, nMark);
        DK_VECTOR at = {1, 1, 1};
        int16_t anAngles[3] = {1, 1, 1};
        EXPECT_FALSE(TrackCam_GetStartPosition(0, &at, anAngles));
        EXPECT_EQ(at.x, 0);
        EXPECT_EQ(at.y, 0);
        EXPECT_EQ(at.z, 0);
        EXPECT_EQ(anAngles[1], 0);
    }
}

TEST_F(TrackCamTest, TheStartPositionsGoWithTheirDestructor)
{
    const int nMark = gnNumDestructors;
    LoadCameras({Camera({0, 0, 0}, 1)});
    LoadStarts(datakit::FormatStartPositions(TwoSets()));
    LoadStarts(datakit::FormatStartPositions(TwoSets()));
    ASSERT_EQ(gnNumDestructors, nMark + 1) << "registered once";
    EXPECT_STREQ(gaDestructors[nMark].szName, "Car start position destructor");
    EXPECT_TRUE(TrackCam_GetStartPosition(1, nullptr, nullptr));
    DkCallDestructors(nMark);
    EXPECT_FALSE(TrackCam_GetStartPosition(1, nullptr, nullptr));
    EXPECT_EQ(TrackCam_FindNearest(0, nullptr), -1) << "the cameras went with the stage";
}

} // namespace
