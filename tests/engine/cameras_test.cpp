// Cameras: the table, cameras made of existing actors, and the view handed to the device.

#include "engine/pc/3d/cameras.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/engine/scene_fixture.h"

namespace
{

class CamerasTest : public SceneTest
{
protected:
    static int Slots(const DK_CAMERA* pCamera)
    {
        int n = 0;
        for (const DK_CAMERA* p : gapCameras)
            n += p == pCamera;
        return n;
    }
};

TEST_F(CamerasTest, The257thCameraIsRefused)
{
    DK_ACTOR* pWorld = World();
    const DK_VECTOR at = {Fx(1), Fx(2), Fx(3)};
    for (int i = 0; i < MAXCAMERAS; ++i)
        ASSERT_NE(DkCreateCamera(&at, nullptr, nullptr, pWorld), nullptr) << "camera " << i;
    EXPECT_EQ(guNumCameras, static_cast<uint32_t>(MAXCAMERAS));

    DK_ACTOR* pRefused = nullptr;
    std::string out =
        CaptureOutput([&] { pRefused = DkCreateCamera(&at, nullptr, nullptr, pWorld); });
    EXPECT_EQ(pRefused, nullptr);
    EXPECT_TRUE(Reported(out, "ERROR(DkCreateCamera): Tried to use more than MAXCAMERAS cameras"))
        << out;
    EXPECT_EQ(guNumCameras, static_cast<uint32_t>(MAXCAMERAS));
}

TEST_F(CamerasTest, ANewCameraIsPlacedAnExistingActorOnlyBecomesOne)
{
    DK_ACTOR* pWorld = World();
    const DK_VECTOR at = {Fx(1), Fx(2), Fx(3)};
    DK_ACTOR* pNew = DkCreateCamera(&at, nullptr, nullptr, pWorld);
    ASSERT_NE(pNew, nullptr);
    EXPECT_EQ(pNew->pParent, pWorld);
    EXPECT_EQ(pNew->uId, static_cast<uint32_t>(DK_CAMERA_ACTOR_ID));
    EXPECT_EQ(pNew->uType, static_cast<uint32_t>(DK_ACTOR_CAMERA));
    EXPECT_EQ(pNew->Position.y, Fx(2));
    ExpectMatrixEq(Translation(Fx(1), Fx(2), Fx(3)), pNew->Local);

    DK_ACTOR* pExisting = DkCreateActor(pWorld);
    pExisting->uId = 42;
    const int16_t turn[3] = {0, 300, 0};
    const DK_VECTOR place = {Fx(-7), 0, Fx(9)};
    DkMoveActor(pExisting, &place, turn);
    const DK_MATRIX before = pExisting->Local;
    EXPECT_EQ(DkCreateCamera(&at, turn, pExisting, nullptr), pExisting);
    ExpectMatrixEq(before, pExisting->Local);
    EXPECT_EQ(pExisting->Position.x, 0);
    EXPECT_EQ(pExisting->uId, static_cast<uint32_t>(DK_CAMERA_ACTOR_ID));
    EXPECT_EQ(pExisting->uType, static_cast<uint32_t>(DK_ACTOR_CAMERA));
    EXPECT_EQ(Slots(static_cast<DK_CAMERA*>(pExisting->pObject)), 1);
    EXPECT_EQ(guNumCameras, 2u);
}

TEST_F(CamerasTest, ARecordEnteredTwiceIsRemovedWithOneDecrement)
{
    DK_ACTOR* pCamera = DkCreateCamera(nullptr, nullptr, nullptr, World());
    DkCreateCamera(nullptr, nullptr, nullptr, World());
    auto* pRecord = static_cast<DK_CAMERA*>(pCamera->pObject);
    gapCameras[7] = pRecord;
    ASSERT_EQ(Slots(pRecord), 2);
    ASSERT_EQ(guNumCameras, 2u);

    DkRemoveCamera(pRecord);
    EXPECT_EQ(Slots(pRecord), 0);
    EXPECT_EQ(guNumCameras, 1u);
    // A record in no slot changes nothing.
    DkRemoveCamera(pRecord);
    EXPECT_EQ(guNumCameras, 1u);
}

TEST_F(CamerasTest, DeletingTheActorWithItsObjectsRemovesTheCamera)
{
    DK_ACTOR* pCamera = DkCreateCamera(nullptr, nullptr, nullptr, World());
    auto* pRecord = static_cast<DK_CAMERA*>(pCamera->pObject);
    EXPECT_EQ(DkDeleteObject(pCamera), 1);
    EXPECT_EQ(Slots(pRecord), 0);
    EXPECT_EQ(guNumCameras, 0u);
}

TEST_F(CamerasTest, AFullActorTableLeavesNoCamera)
{
    DK_ACTOR* pWorld = World();
    CaptureOutput(
        [&]
        {
            while (DkCreateActor(pWorld) != nullptr)
            {
            }
        });
    DK_ACTOR* pCamera = nullptr;
    CaptureOutput([&] { pCamera = DkCreateCamera(nullptr, nullptr, nullptr, pWorld); });
    EXPECT_EQ(pCamera, nullptr);
    EXPECT_EQ(guNumCameras, 0u);
    EXPECT_EQ(Slots(nullptr), MAXCAMERAS);
}

TEST_F(CamerasTest, TheViewIsTheInverseOfTheCamerasWorldOnTheDeviceToo)
{
    TestDevice device;
    DK_ACTOR* pWorld = World();
    struct Case
    {
        DK_VECTOR at;
        float afTranslation[3];
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 0}},
        {{Fx(1), Fx(-2), Fx(3.5)}, {-1, 2, -3.5f}},
    };
    for (const Case& k : cases)
    {
        DK_ACTOR* pCamera = DkCreateCamera(&k.at, nullptr, nullptr, pWorld);
        DkUpdateActorTree(pWorld);
        DkSyncActorTreeD3D(pWorld);
        DkSetCameraTransform(pCamera);

        ExpectMatrixEq(Translation(-k.at.x, -k.at.y, -k.at.z), d3d->View);
        D3DMATRIX view{};
        ASSERT_EQ(device.device->GetTransform(D3DTRANSFORMSTATE_VIEW, &view), D3D_OK);
        const float afExpected[16] = {1,
                                      0,
                                      0,
                                      0,
                                      0,
                                      1,
                                      0,
                                      0,
                                      0,
                                      0,
                                      1,
                                      0,
                                      k.afTranslation[0],
                                      k.afTranslation[1],
                                      k.afTranslation[2],
                                      1};
        float afView[16];
        std::memcpy(afView, &view, sizeof afView);
        for (int i = 0; i < 16; ++i)
            EXPECT_FLOAT_EQ(afView[i], afExpected[i]) << "element " << i;
    }

    // A clean camera actor leaves the view alone.
    DK_ACTOR* pClean = DkCreateCamera(nullptr, nullptr, nullptr, pWorld);
    pClean->World = Translation(Fx(5), 0, 0);
    pClean->uDirty = 0;
    const DK_MATRIX before = d3d->View;
    DkSetCameraTransform(pClean);
    ExpectMatrixEq(before, d3d->View);
}

TEST_F(CamerasTest, TheDestructorEmptiesTheTableAndIsRegisteredAgainAfterwards)
{
    DkCreateCamera(nullptr, nullptr, nullptr, World());
    int nMark = -1;
    for (int i = 0; i < gnNumDestructors; ++i)
        if (std::string(gaDestructors[i].szName) == "Camera Destructor")
            nMark = i;
    ASSERT_GE(nMark, 0);
    CaptureOutput([&] { DkCallDestructors(nMark); });
    EXPECT_EQ(guNumCameras, 0u);
    EXPECT_EQ(Slots(nullptr), MAXCAMERAS);

    DkCreateCamera(nullptr, nullptr, nullptr, World());
    EXPECT_STREQ(gaDestructors[gnNumDestructors - 1].szName, "Camera Destructor");
}

} // namespace
