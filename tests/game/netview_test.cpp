// Network play's display side: a point's screen position and depth through a camera, the remote
// cars' fade-in after the start, spectating's cycle through the remote cars, the debug text and
// lines, and on a display with the data kit's installation the remote cars' models loaded,
// faded in and tagged with their players' names.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_model.h"
#include "engine/common/dk_text.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_line.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "game/effects/effects.h"
#include "game/hud/endstage.h"
#include "game/hud/osd.h"
#include "game/race/cameras.h"
#include "game/race/display.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "platform/win/win_internal.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/install.h"

namespace
{
namespace fs = std::filesystem;

constexpr int kVkF10 = 0x79;

constexpr int RemoteByte(int nSlot, int nOffset)
{
    return GD_REMOTE_PLAYERS + 156 * nSlot + nOffset;
}

class NetViewTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        WinKeysReset();
        Cameras_ResetForTests();
        NetPlay_ResetForTests();
        NetPlay_ResetViewForTests();
        for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
            Osd_SetNetworkPlaceForTests(s, 0);
        gboNetworkGame = TRUE;
        gbo50HzMode = TRUE;
        for (DK_ACTOR*& pCamera : gapPlayerCamera)
            pCamera = nullptr;
        for (auto& wheels : gaCarWheelActors)
            for (DK_ACTOR*& pWheel : wheels)
                pWheel = nullptr;
    }
    void TearDown() override
    {
        WinKeysReset();
        gboNetworkGame = FALSE;
        gbo50HzMode = FALSE;
        for (DK_ACTOR*& pCamera : gapPlayerCamera)
            pCamera = nullptr;
        NetPlay_ResetViewForTests();
        CarTest::TearDown();
    }
    // Remote slot s's record: taking part or not, its name and initials (not terminated within
    // their fields when they fill them) and its car type.
    void SetRemote(int nSlot, bool boActive, const char* pszName = "", const char* pszInitials = "",
                   int nCarType = 0)
    {
        uint8_t* p = &gaTestGameData[RemoteByte(nSlot, 0)];
        std::memset(p, 0, 156);
        std::memcpy(p, pszName, std::min<size_t>(std::strlen(pszName), 12));
        std::memcpy(p + 12, pszInitials, std::min<size_t>(std::strlen(pszInitials), 4));
        p[PI_CAR_TYPE] = static_cast<uint8_t>(nCarType);
        p[PI_PLAYER_ID] = static_cast<uint8_t>(nSlot + 2);
        p[PI_IN_GAME] = boActive ? 1 : 0;
    }
    // A camera under the world at (x, y, z) looking along +z, its world matrix up to date.
    DK_ACTOR* Camera(double x = 0, double y = 0, double z = 0)
    {
        DK_ACTOR* pCamera = DkCreateCamera(nullptr, nullptr, nullptr, world);
        const DK_VECTOR at = {Fixed(x), Fixed(y), Fixed(z)};
        DkSetActor(pCamera, &at, nullptr);
        DkUpdateActorTree(world);
        return pCamera;
    }
    void Race() { NetPlay_GetRaceStateForTests().boStarted = TRUE; }
};

// A point in front of the camera lands where the renderer's viewport puts it, as fractions of
// the screen, with its depth along the camera's forward row; behind the camera only the
// (negative) depth comes back; without an actor or a camera -9999.0 and nothing written.
TEST_F(NetViewTest, APointProjectsToTheScreenWithItsDepth)
{
    const int nWidth = d2d->nWidth, nHeight = d2d->nHeight;
    d2d->nWidth = 640;
    d2d->nHeight = 480;
    // Both scales 2.0: the projection's x and y factors are 1.0.
    DkSetProjection(2 << 16, 2 << 16, 1000 << 16, 1 << 16);
    ASSERT_EQ(d3d->Projection.m[0][0], ONE);
    ASSERT_EQ(d3d->Projection.m[1][1], ONE);

    DK_ACTOR* pFacingZ = DkCreateActor(world);
    // Facing +x from (100, 0, 0): side row (0, 0, -1), up (0, 1, 0), forward (1, 0, 0).
    DK_ACTOR* pFacingX = DkCreateActor(world);
    DK_ACTOR* pThing = DkCreateActor(world);
    DkUpdateActorTree(world);
    pFacingX->World =
        DK_MATRIX{{{0, 0, -ONE, 0}, {0, ONE, 0, 0}, {ONE, 0, 0, 0}, {100 * ONE, 0, 0, ONE}}};
    struct Case
    {
        const char* what;
        DK_ACTOR* pCamera;
        DK_VECTOR at, offset;
        int32_t xDepth;
        bool boWritten;
        int32_t xX, xY;
    };
    const Case cases[] = {
        {"straight ahead: the centre",
         pFacingZ,
         {0, 0, 10 * ONE},
         {},
         10 * ONE,
         true,
         ONE / 2,
         ONE / 2},
        {"the offset is added",
         pFacingZ,
         {0, 0, 4 * ONE},
         {0, 0, 6 * ONE},
         10 * ONE,
         true,
         ONE / 2,
         ONE / 2},
        // x / z = 0.5: half way to the right edge.
        {"to the right",
         pFacingZ,
         {5 * ONE, 0, 10 * ONE},
         {},
         10 * ONE,
         true,
         ONE * 3 / 4,
         ONE / 2},
        // y / z = 0.5: the viewport spans -w/h..w/h upwards, 480 x 480 / 1280 = 180 pixels a
        // unit, so 90 pixels above the centre: 150 / 480.
        {"above", pFacingZ, {0, 5 * ONE, 10 * ONE}, {}, 10 * ONE, true, ONE / 2, ONE * 150 / 480},
        {"a turned and moved camera",
         pFacingX,
         {110 * ONE, 0, 0},
         {},
         10 * ONE,
         true,
         ONE / 2,
         ONE / 2},
        {"behind the camera", pFacingZ, {0, 0, -10 * ONE}, {}, -10 * ONE, false, 0, 0},
        {"on the camera's plane", pFacingZ, {3 * ONE, 0, 0}, {}, 0, false, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        pThing->World = DK_MATRIX{
            {{ONE, 0, 0, 0}, {0, ONE, 0, 0}, {0, 0, ONE, 0}, {c.at.x, c.at.y, c.at.z, ONE}}};
        int32_t axOut[2] = {-7, -7};
        EXPECT_EQ(Effects_ProjectToScreen(pThing, c.pCamera, axOut, &c.offset), c.xDepth);
        if (c.boWritten)
        {
            EXPECT_NEAR(axOut[0], c.xX, 1);
            EXPECT_NEAR(axOut[1], c.xY, 1);
        }
        else
        {
            EXPECT_EQ(axOut[0], -7);
            EXPECT_EQ(axOut[1], -7);
        }
    }
    int32_t axOut[2] = {-7, -7};
    EXPECT_EQ(Effects_ProjectToScreen(nullptr, pFacingZ, axOut, nullptr), -9999 * ONE);
    EXPECT_EQ(Effects_ProjectToScreen(pThing, nullptr, axOut, nullptr), -9999 * ONE);
    EXPECT_EQ(axOut[0], -7);
    EXPECT_EQ(axOut[1], -7);
    d2d->nWidth = nWidth;
    d2d->nHeight = nHeight;
}

// The model fade waits out the delay after the start (100 ticks at 50 a second, 50 at 25), then
// rises from 0 to 100 over 500 or 250 ticks; nothing moves before the race has started.
TEST_F(NetViewTest, TheRemoteCarsFadeInAfterTheDelay)
{
    struct Case
    {
        bool bo50Hz;
        int nSteps;
        int nFade;
    };
    const Case cases[] = {
        {true, 100, 0},   {true, 101, 1},    {true, 350, 50},   {true, 595, 99},
        {true, 596, 100}, {true, 900, 100},  {false, 50, 0},    {false, 51, 1},
        {false, 175, 50}, {false, 300, 100}, {false, 400, 100},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << (c.bo50Hz ? "50 Hz, " : "25 Hz, ") << c.nSteps);
        gbo50HzMode = c.bo50Hz ? TRUE : FALSE;
        NetPlay_ResetForTests();
        NetPlay_ResetViewForTests();
        for (int i = 0; i < 1000; ++i)
            NetPlay_StepNameTagFade();
        EXPECT_EQ(NetPlay_GetModelFade(), 0) << "before the start";
        Race();
        for (int i = 0; i < c.nSteps; ++i)
        {
            NetPlay_StepNameTagFade();
            // Drawing the tags leaves the fade alone: it steps with the ticks.
            NetPlay_DrawNameTags(0);
            NetPlay_DrawNameTags(1);
        }
        EXPECT_EQ(NetPlay_GetModelFade(), c.nFade);
    }
}

// F10 (pressed, not held) moves the view to the next remote player taking part after the one
// viewed, and back to the local car past the last; a viewed player who leaves moves it on
// without F10. The end-of-stage screens run it in a network game, and the camera follows the
// car viewed.
TEST_F(NetViewTest, SpectatingCyclesThroughTheRemoteCars)
{
    for (int s : {0, 2, 5})
        SetRemote(s, true, "P");
    struct Step
    {
        const char* what;
        bool boF10;
        int nLeaves; // a slot that leaves first, -1 none
        int nViewed;
    };
    const Step steps[] = {
        {"no key", false, -1, 0},
        {"F10: the first remote car", true, -1, 1},
        {"F10 held: no move", true, -1, 1},
        {"let go", false, -1, 1},
        {"F10: the next", true, -1, 3},
        {"let go", false, -1, 3},
        {"F10: the last", true, -1, 6},
        {"let go", false, -1, 6},
        {"F10 past the last: the local car", true, -1, 0},
        {"let go", false, -1, 0},
        {"F10: the first again", true, -1, 1},
        {"let go", false, -1, 1},
        {"its player leaves: the next", false, 0, 3},
        {"a player not viewed leaves: no move", false, 5, 3},
        {"the viewed player leaves, none after: the local car", false, 2, 0},
        {"F10 with no one left: no move", true, -1, 0},
    };
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.what);
        WinKeyEvent(kVkF10, step.boF10 ? TRUE : FALSE);
        if (step.nLeaves >= 0)
            SetRemote(step.nLeaves, false);
        EndStage_Update();
        EXPECT_EQ(NetPlay_GetViewedCar(), step.nViewed);
        EXPECT_EQ(Cameras_GetType(0), step.nViewed);
    }

    // Outside a network game the end-of-stage screens leave the view alone.
    SetRemote(0, true, "P");
    gboNetworkGame = FALSE;
    WinKeyEvent(kVkF10, FALSE);
    EndStage_Update();
    WinKeyEvent(kVkF10, TRUE);
    EndStage_Update();
    EXPECT_EQ(NetPlay_GetViewedCar(), 0);
}

// The statistics name every slot: its missed, most missed and received counts while it takes
// part, "DEAD" when not (the name terminated within its twelve bytes); then the local player's
// line. Debug lines run from the camera to each remote car's received and predicted positions.
TEST_F(NetViewTest, TheDebugDisplaysShowEachSlot)
{
    SetRemote(0, true, "ANNE");
    SetRemote(1, false, "BERTRAND_LONGNAME");
    SetRemote(3, true, "CLEO");
    gaNetRemoteCar[0].nMissed = 3;
    gaNetRemoteCar[0].nMostMissed = 7;
    gaNetRemoteCar[0].nReceived = 1;
    output += CaptureOutput([] { NetPlay_DrawDebugStats(); });
    ASSERT_EQ(NetPlay_GetDebugTextCountForTests(), 8);
    EXPECT_STREQ(NetPlay_GetDebugTextForTests(0), "ANNE missed: 3(7). received:1)");
    EXPECT_STREQ(NetPlay_GetDebugTextForTests(1), "BERTRAND_LON: DEAD");
    EXPECT_STREQ(NetPlay_GetDebugTextForTests(2), ": DEAD");
    EXPECT_STREQ(NetPlay_GetDebugTextForTests(3), "CLEO missed: 0(0). received:0)");
    const std::string local = NetPlay_GetDebugTextForTests(7);
    EXPECT_EQ(local.rfind("Local Player   nhead:", 0), 0u) << local;
    EXPECT_NE(local.find(", time: 0"), std::string::npos) << local;
    output += CaptureOutput([] { NetPlay_DrawReplayDebug(); });
    ASSERT_EQ(NetPlay_GetDebugTextCountForTests(), 1);
    EXPECT_STREQ(NetPlay_GetDebugTextForTests(0), "nNetworkReplayCar 0");

    gapPlayerCamera[0] = Camera(1, 2, 3);
    gaNetRemoteCar[3].ReceivedPosition = {10 * ONE, 0, 0};
    gaNetRemoteCar[3].PredictedPosition = {11 * ONE, 0, 0};
    output += CaptureOutput([] { DkInitialiseLines(); });
    NetPlay_DrawDebugLines(0);
    ASSERT_EQ(gnNumLines, 4) << "two lines for each of the two cars taking part";
    const DK_VECTOR eye = {ONE, 2 * ONE, 3 * ONE};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(gaLines[i].Start.x, eye.x);
        EXPECT_EQ(gaLines[i].Start.y, eye.y);
        EXPECT_EQ(gaLines[i].Start.z, eye.z);
    }
    EXPECT_EQ(gaLines[2].End.x, 10 * ONE);
    EXPECT_EQ(gaLines[3].End.x, 11 * ONE);
}

// On a display, with the data kit's installation as the hard disk: the remote cars' models.
class NetViewDisplayTest : public NetViewTest
{
protected:
    void SetUp() override
    {
        NetViewTest::SetUp();
        stage::DisplayOptions options;
        options.width = 320;
        options.height = 240;
        std::string problem;
        output += CaptureOutput([&] { ASSERT_TRUE(stage::OpenDisplay(options, &problem)); });
        RegisterTestEntries();
        datakit::InstallSummary install;
        output += CaptureOutput([&] { install = datakit::InstallDemo(env.DriveC() + "/kit"); });
        hardDisk = install.root / "c" / "Dezor";
        DkSetHardDrivePath(hardDisk.string().c_str());
        DkSetCDPath((install.root / "disc" / "game").string().c_str());
        DkSetProjection(2 << 16, 2 << 16, 1000 << 16, 1 << 16);
    }
    void TearDown() override
    {
        output += CaptureOutput([] { stage::CloseDisplay(); });
        DkResetDataPathsForTests();
        NetViewTest::TearDown();
    }
    // Every actor of the subtree and every lit vertex's alpha of its models, through fn.
    template <typename F> static void ForEach(const DK_ACTOR* pActor, const F& fn)
    {
        for (; pActor != nullptr; pActor = pActor->pNext)
        {
            fn(pActor);
            ForEach(pActor->pChild, fn);
        }
    }
    static void CheckCar(const DK_ACTOR* pRoot, int nDraw, int nAlpha)
    {
        int nModels = 0;
        ForEach(pRoot->pChild,
                [&](const DK_ACTOR* pActor)
                {
                    EXPECT_EQ(pActor->uAlwaysDraw, nDraw);
                    if (pActor->uType != DK_ACTOR_MODEL || pActor->pObject == nullptr)
                        return;
                    ++nModels;
                    auto* pModel = static_cast<DK_MODEL*>(pActor->pObject);
                    DkForEachLitVertex(pModel, 0,
                                       [&](DK_VERTEX& v) {
                                           ASSERT_EQ(static_cast<int>(v.Lit.uColour >> 24), nAlpha);
                                       });
                });
        EXPECT_GT(nModels, 0);
    }
    fs::path hardDisk;
};

// Each remote player taking part gets the medium model of its car type under a new root of the
// world, hidden and faded out, with its four wheels; a slot not taking part gets none; a
// missing file leaves its slot without a car, reported; the stage's end forgets them all. On a
// super special stage the interior view goes off.
TEST_F(NetViewDisplayTest, TheRemoteCarsLoadFromTheInstallation)
{
    SetRemote(0, true, "A", "", 1);
    SetRemote(1, false, "B", "", 1);
    SetRemote(3, true, "C", "", 12);
    SetRemote(4, true, "D", "", 3);
    fs::remove(hardDisk / "OBJECTS" / "CARS" / "TOR" / "TORDAYmed.C3D");
    SuperSpecial_SetForTests(TRUE);
    gboDoInterior = TRUE;
    output.clear();
    const int nMark = gnNumDestructors;
    output += CaptureOutput([] { EXPECT_TRUE(NetPlay_LoadRemoteCars()); });
    EXPECT_FALSE(gboDoInterior);
    SuperSpecial_SetForTests(FALSE);
    for (int k : {1, 4})
    {
        SCOPED_TRACE(k);
        const LoadedCar& car = gaLoadedCar[k];
        ASSERT_NE(car.paBodyDummy, nullptr);
        EXPECT_EQ(car.paBodyDummy->pParent, world);
        ASSERT_NE(car.paCar, nullptr);
        EXPECT_EQ(car.paCar->pParent, car.paBodyDummy);
        EXPECT_EQ(car.nCarType, k == 1 ? 1 : 12);
        EXPECT_GT(car.xHalfWheelRadius, 0);
        for (uint32_t w = 0; w < 4; ++w)
        {
            ASSERT_NE(gaCarWheelActors[k][w], nullptr);
            EXPECT_EQ(gaCarWheelActors[k][w]->uId & DK_ACTOR_ID_MASK, w + 1);
        }
        CheckCar(car.paBodyDummy, 0, 0);
    }
    for (int k : {2, 3, 5, 6, 7})
        EXPECT_EQ(gaLoadedCar[k].paBodyDummy, nullptr) << k;
    EXPECT_NE(output.find("TORDAYmed.C3D is missing"), std::string::npos) << output;

    // The stage's teardown runs what the loading registered.
    output += CaptureOutput([&] { DkCallDestructors(nMark); });
    for (int k = 1; k <= NETPLAY_REMOTE_SLOTS; ++k)
    {
        EXPECT_EQ(gaLoadedCar[k].paBodyDummy, nullptr) << k;
        EXPECT_EQ(gaCarWheelActors[k][0], nullptr) << k;
    }
}

// After the delay the cars are always drawn and their vertices' alpha follows the fade. A tag
// shows for a car in front of the camera nearer than the tag distance, its alpha falling with
// the distance and held under the fade; it reads the initials and the paused text for a paused
// car, else the place and the name, or the name alone on the intro and track cameras.
TEST_F(NetViewDisplayTest, TheRemoteCarsFadeInAndCarryNameTags)
{
    SetRemote(0, true, "ABCDEFGHIJKLMNO", "WXYZQ", 0);
    SetRemote(2, true, "ZED", "Z", 0);
    output += CaptureOutput([] { NetPlay_LoadRemoteCars(); });
    DK_ACTOR* pCar = gaLoadedCar[1].paBodyDummy;
    ASSERT_NE(pCar, nullptr) << output;
    // The second car stands behind the camera throughout.
    const DK_VECTOR behind = {0, 0, -20 * ONE};
    DkSetActorPosition(gaLoadedCar[3].paBodyDummy, &behind);
    gapPlayerCamera[0] = Camera();
    Race();
    for (int i = 0; i < 100; ++i)
        NetPlay_StepNameTagFade();
    CheckCar(pCar, 255, 0);
    for (int i = 0; i < 250; ++i)
        NetPlay_StepNameTagFade();
    CheckCar(pCar, 255, 127);
    for (int i = 0; i < 250; ++i)
        NetPlay_StepNameTagFade();
    EXPECT_EQ(NetPlay_GetModelFade(), 100);
    CheckCar(pCar, 255, 255);

    const NetNameTag* pTags = nullptr;
    struct Case
    {
        double z;
        int nFade;
        int nAlpha; // 0: no tag
    };
    const Case cases[] = {
        {10, 100, 238}, {75, 100, 128}, {140, 100, 17}, {150, 100, 0},
        {200, 100, 0},  {10, 20, 51},   {140, 20, 17},  {10, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.z << " ahead, fade " << c.nFade);
        const DK_VECTOR at = {0, 0, Fixed(c.z)};
        DkSetActorPosition(pCar, &at);
        DkUpdateActorTree(world);
        NetPlay_SetModelFade(c.nFade);
        output += CaptureOutput([] { NetPlay_DrawNameTags(0); });
        const int nTags = NetPlay_GetNameTagsForTests(&pTags);
        ASSERT_EQ(nTags, c.nAlpha > 0 ? 1 : 0);
        if (nTags == 0)
            continue;
        EXPECT_EQ(pTags[0].nSlot, 0);
        EXPECT_EQ(pTags[0].nAlpha, c.nAlpha);
        EXPECT_NEAR(pTags[0].xX, ONE / 2, 1);
        EXPECT_LT(pTags[0].xY, ONE / 2) << "above the car's root";
    }

    const DK_VECTOR near = {0, 0, 20 * ONE};
    DkSetActorPosition(pCar, &near);
    DkUpdateActorTree(world);
    NetPlay_SetModelFade(100);
    Osd_SetNetworkPlaceForTests(0, 3);
    const std::string paused = DkGetText(312);
    struct Text
    {
        const char* what;
        bool boPaused;
        int nCameraType;
        std::string upper, lower;
    };
    const Text texts[] = {
        {"racing", false, CAMERA_TYPE_CHASE_NEAR, "3", "ABCDEFGHIJKL"},
        {"paused", true, CAMERA_TYPE_CHASE_NEAR, "WXYZ", paused},
        {"the intro camera", false, CAMERA_TYPE_TV, "", "ABCDEFGHIJKL"},
        {"the track camera", false, CAMERA_TYPE_TRACK, "", "ABCDEFGHIJKL"},
    };
    for (const Text& t : texts)
    {
        SCOPED_TRACE(t.what);
        gaNetRemoteCar[0].boPaused = t.boPaused ? TRUE : FALSE;
        gaPlayerView[0].nCameraType = t.nCameraType;
        output += CaptureOutput([] { NetPlay_DrawNameTags(0); });
        ASSERT_EQ(NetPlay_GetNameTagsForTests(&pTags), 1);
        EXPECT_EQ(pTags[0].szUpper, t.upper);
        EXPECT_EQ(pTags[0].szLower, t.lower);
    }
    gaNetRemoteCar[0].boPaused = FALSE;

    // A player who left shows no tag; before the start none shows.
    SetRemote(0, false);
    NetPlay_DrawNameTags(0);
    EXPECT_EQ(NetPlay_GetNameTagsForTests(nullptr), 0);
    SetRemote(0, true, "A");
    NetPlay_GetRaceStateForTests().boStarted = FALSE;
    NetPlay_DrawNameTags(0);
    EXPECT_EQ(NetPlay_GetNameTagsForTests(nullptr), 0);
}

// On the screen: the car drawn through the camera and its tag printed in the result font, white
// over the car, centred on it; a faded-out car prints nothing.
TEST_F(NetViewDisplayTest, TheTagIsPrintedOverTheCar)
{
    output += CaptureOutput(
        []
        {
            DkInitialiseFonts(4);
            LoadResultFonts();
        });
    ASSERT_NE(gpResultFont, nullptr) << output;
    SetRemote(0, true, "ANNE", "", 0);
    output += CaptureOutput([] { NetPlay_LoadRemoteCars(); });
    DK_ACTOR* pCar = gaLoadedCar[1].paBodyDummy;
    ASSERT_NE(pCar, nullptr) << output;
    const DK_VECTOR at = {0, 0, 8 * ONE};
    DkSetActorPosition(pCar, &at);
    gapPlayerCamera[0] = Camera(0, 1, 0);
    Race();
    for (int i = 0; i < 700; ++i)
        NetPlay_StepNameTagFade();
    ASSERT_EQ(NetPlay_GetModelFade(), 100);

    // As the frame draws a view: the tags queued for the scene, then the scene with them.
    const auto frame = [&](int nFade, const char* pszName)
    {
        NetPlay_SetModelFade(nFade);
        output += CaptureOutput([] { NetPlay_DrawNameTags(0); });
        const DK_RECT rect = {0, 0, 320, 240};
        DkClearTarget();
        stage::DrawActorTree(world, gapPlayerCamera[0], rect);
        if (const char* pszDir = std::getenv("DEZOR_TEST_FRAMES"))
            stage::SavePng(std::string(pszDir) + "/" + pszName + ".png");
        return stage::BackRgb();
    };
    // The tags of the fade's steps go with a first frame.
    frame(0, "netview-first");
    const std::vector<uint8_t> plain = frame(0, "netview-faded");
    EXPECT_EQ(NetPlay_GetNameTagsForTests(nullptr), 0);
    const std::vector<uint8_t> tagged = frame(100, "netview-tag");
    ASSERT_EQ(NetPlay_GetNameTagsForTests(nullptr), 1);
    // The tag is what differs: light pixels, centred on the car, above its root.
    int n = 0, nLeft = 320, nRight = -1, nBottom = -1;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
        {
            const size_t i = (static_cast<size_t>(y) * 320 + x) * 3;
            if (tagged[i] == plain[i] && tagged[i + 1] == plain[i + 1] &&
                tagged[i + 2] == plain[i + 2])
                continue;
            n += tagged[i] > 128 && tagged[i + 1] > 128 && tagged[i + 2] > 128 ? 1 : 0;
            nLeft = std::min(nLeft, x);
            nRight = std::max(nRight, x);
            nBottom = std::max(nBottom, y);
        }
    ASSERT_GT(n, 20) << "the name, light";
    EXPECT_LT(std::abs((nLeft + nRight) / 2 - 160), 6) << "centred on the car";
    EXPECT_LT(nBottom, 120) << "above the car's root";
}
} // namespace
