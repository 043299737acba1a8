// The model tables, on engine/common alone.

#include "engine/common/dk_model.h"

#include <string>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"

namespace
{

std::string Captured(void (*call)())
{
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

// A report's message stands between blank lines in its block.
bool Reported(const std::string& out, const std::string& message)
{
    return out.find("\n\n" + message + "\n\n") != std::string::npos;
}

class DkModelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Captured([] { DkCallAllDestructors(); });
        ASSERT_GE(DkHeapInit(8 << 20), 0);
    }
    void TearDown() override
    {
        Captured(
            []
            {
                for (DK_MODEL* pModel : gapModels)
                    if (pModel != nullptr)
                        DkDeleteModel(pModel);
                for (DK_FIXED_MODEL* pFixed : gapFixedModels)
                    if (pFixed != nullptr)
                        DkDeleteFixedModel(pFixed);
                DkCallAllDestructors();
            });
    }
};

TEST_F(DkModelTest, TablesFillToTheirSizeThenRefuse)
{
    testing::internal::CaptureStderr();
    for (int i = 0; i < MAXMODELS; ++i)
        ASSERT_NE(DkCreateModel(), nullptr) << "model " << i;
    for (int i = 0; i < MAXFIXEDMODELS; ++i)
    {
        DK_FIXED_MODEL* pFixed = DkCreateFixedModel();
        ASSERT_NE(pFixed, nullptr) << "fixed model " << i;
        // Its model is its own, outside the model table.
        ASSERT_NE(pFixed->pModel, nullptr);
    }
    std::string clean = testing::internal::GetCapturedStderr();
    EXPECT_EQ(clean, "");
    EXPECT_EQ(guNumModels, static_cast<uint32_t>(MAXMODELS));
    EXPECT_EQ(guNumFixedModels, static_cast<uint32_t>(MAXFIXEDMODELS));

    testing::internal::CaptureStderr();
    EXPECT_EQ(DkCreateModel(), nullptr);
    EXPECT_EQ(DkCreateFixedModel(), nullptr);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Reported(out, "DkCreateModel() : No more array space for models")) << out;
    EXPECT_TRUE(Reported(out, "DkCreateFixedModel() : No more array space for Fixed models"))
        << out;
    EXPECT_EQ(guNumModels, static_cast<uint32_t>(MAXMODELS));
}

TEST_F(DkModelTest, AFreedMiddleSlotIsReusedWithAReport)
{
    DK_MODEL* apModels[3] = {DkCreateModel(), DkCreateModel(), DkCreateModel()};
    DkDeleteModel(apModels[1]);
    EXPECT_EQ(gapModels[1], nullptr);
    EXPECT_EQ(guNumModels, 2u);

    testing::internal::CaptureStderr();
    DK_MODEL* pAgain = DkCreateModel();
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(gapModels[1], pAgain);
    EXPECT_EQ(guNumModels, 3u);
    EXPECT_TRUE(Reported(out, "DkCreateModel() : Array index no. != guNumModels")) << out;
}

TEST_F(DkModelTest, DeletingTwiceOrNothingIsReportedAndCountsStay)
{
    DK_MODEL* pModel = DkCreateModel();
    DK_FIXED_MODEL* pFixed = DkCreateFixedModel();
    DkDeleteModel(pModel);
    DkDeleteFixedModel(pFixed);

    testing::internal::CaptureStderr();
    DkDeleteModel(pModel);
    DkDeleteModel(nullptr);
    DkDeleteFixedModel(pFixed);
    DkDeleteFixedModel(nullptr);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Reported(out, "ERROR: The model we were trying to delete cannot be found!")) << out;
    EXPECT_TRUE(Reported(out, "DkDeleteModel() : pModel is NULL")) << out;
    // A fixed model no slot holds is only told to the debugger output.
    EXPECT_NE(out.find("ERROR(DkDeleteFixedModel): Cannot find model - started around 20/04/98\n"),
              std::string::npos)
        << out;
    EXPECT_TRUE(Reported(out, "DkDeleteFixedModel() : pModel is NULL")) << out;
    EXPECT_EQ(guNumModels, 0u);
    EXPECT_EQ(guNumFixedModels, 0u);
}

TEST_F(DkModelTest, DeleteHandsBackEveryNodeArrayOfEveryLevel)
{
    DK_MODEL* pModel = DkCreateModel();
    DK_MODEL_NODE first{}, second{};
    DK_VERTEX vertices[2]{};
    uint16_t indices[3]{};
    float positions[6]{};
    first.pVertices = vertices;
    first.puIndices = indices;
    first.pfPositions = positions;
    first.pNext = &second;
    second.pVertices = vertices;
    pModel->aLevels[3].pFirstNode = &first;

    DkDeleteModel(pModel);
    EXPECT_EQ(first.pVertices, nullptr);
    EXPECT_EQ(first.puIndices, nullptr);
    EXPECT_EQ(first.pfPositions, nullptr);
    EXPECT_EQ(second.pVertices, nullptr);
}

TEST_F(DkModelTest, AlphaChangesLevelsZeroToTwoAndLeavesLevelThree)
{
    DK_MODEL* pModel = DkCreateModel();
    DK_VERTEX aVertices[4][2]{};
    DK_MODEL_NODE aNodes[4]{};
    for (int level = 0; level < 4; ++level)
    {
        for (DK_VERTEX& v : aVertices[level])
            v.Lit.uColour = 0x80123456u;
        aNodes[level].pVertices = aVertices[level];
        aNodes[level].nNumVertices = 2;
        pModel->aLevels[level].nVertexType = DK_VERTEX_LIT;
        pModel->aLevels[level].pFirstNode = &aNodes[level];
    }
    // A second node on level 0 is reached through the chain.
    DK_VERTEX chained{};
    chained.Lit.uColour = 0x01ABCDEFu;
    DK_MODEL_NODE next{};
    next.pVertices = &chained;
    next.nNumVertices = 1;
    aNodes[0].pNext = &next;

    DkSetModelAlpha(pModel, 0x1C3);
    for (int level = 0; level < 3; ++level)
        for (const DK_VERTEX& v : aVertices[level])
            EXPECT_EQ(v.Lit.uColour, 0xC3123456u) << "level " << level;
    for (const DK_VERTEX& v : aVertices[3])
        EXPECT_EQ(v.Lit.uColour, 0x80123456u);
    EXPECT_EQ(chained.Lit.uColour, 0xC3ABCDEFu);
    // The nodes live on this stack; the table's teardown must not walk them.
    for (DK_MODEL_LEVEL& level : pModel->aLevels)
        level.pFirstNode = nullptr;
}

TEST_F(DkModelTest, OnlyTheMinusOneScaleMarksAWorldSpaceModel)
{
    DK_MODEL* pModel = DkCreateModel();
    pModel->Scale = {-DK_FIXED_ONE, -DK_FIXED_ONE, -DK_FIXED_ONE};
    EXPECT_TRUE(DkIsWorldSpaceModel(pModel));
    pModel->Scale.z = DK_FIXED_ONE;
    EXPECT_FALSE(DkIsWorldSpaceModel(pModel));
    EXPECT_FALSE(DkIsWorldSpaceModel(nullptr));
}

} // namespace
