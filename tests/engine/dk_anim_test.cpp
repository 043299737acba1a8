// Animated textures over hand-made frame textures: which frame each tick shows under each end
// mode, starting by name, and the records the table refuses.
#include "engine/pc/3d/dk_anim.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/scene_fixture.h"
#include "tests/engine/texture_slots.h"

namespace
{

// Frame f's texture has handle 100 + f and material 10 + f.
class AnimTest : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        DkClearAnimatedTextures();
        for (int f = 0; f < 4; ++f)
            frames.push_back(slots.Put(f, 100 + f, static_cast<int16_t>(10 + f), 32, 16));
    }
    // The animated textures' own slots go with the teardown's MaterialDestructor.
    void TearDown() override
    {
        DkClearAnimatedTextures();
        SceneTest::TearDown();
    }

    DK_TEXTURE* Make(const char* name, std::vector<uint8_t> delays)
    {
        DK_TEXTURE* t = nullptr;
        last = CaptureOutput(
            [&]
            {
                t = DkCreateAnimatedTexture(name, static_cast<int>(delays.size()), frames.data(),
                                            delays.data());
            });
        return t;
    }

    // The frame each tick leaves showing, by its handle.
    std::vector<int> Run(const DK_TEXTURE* t, int ticks)
    {
        std::vector<int> shown;
        for (int i = 0; i < ticks; ++i)
        {
            DkUpdateAnimatedTextures();
            DkShowAnimatedTextures();
            shown.push_back(static_cast<int>(t->uHandle) - 100);
            EXPECT_EQ(t->nMaterial, 10 + shown.back()) << "the frame's material goes with it";
        }
        return shown;
    }

    TextureSlots slots;
    std::vector<DK_TEXTURE*> frames;
    std::string last;
};

TEST_F(AnimTest, ANewRecordShowsFrameZeroAndWaitsToBeStarted)
{
    DK_TEXTURE* t = Make("FLAG", {2, 2, 4});
    ASSERT_NE(t, nullptr) << last;
    EXPECT_EQ(t->uSlot, 4) << "the first free slot";
    EXPECT_EQ(t->uHandle, 100u);
    EXPECT_EQ(t->nMaterial, 10);
    EXPECT_EQ(guNumAnimTextures, 1);
    const DK_ANIMTEXTURE& a = gaAnimTextures[0];
    EXPECT_EQ(a.uNumFrames, 3);
    EXPECT_EQ(a.auFrameWidths[1], 32);
    EXPECT_EQ(a.auFrameHeights[1], 16);
    EXPECT_EQ(Run(t, 3), std::vector<int>({0, 0, 0})) << "inactive until started";
}

TEST_F(AnimTest, EachEndModeShowsItsFramesTickByTick)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> delays;
        int mode;
        std::vector<int> shown;
        int active;
    } cases[] = {
        {"delays 2, 2, 4, looping", {2, 2, 4}, DK_ANIM_LOOP, {0, 1, 1, 2, 2, 2, 2, 0, 0, 1}, 1},
        {"delays 0 and 1 change every tick", {0, 1, 0}, DK_ANIM_LOOP, {1, 2, 0, 1}, 1},
        {"rewind and stop", {1, 1, 1}, DK_ANIM_REWIND_STOP, {1, 2, 0, 0, 0}, 0},
        {"stop holds the last frame", {1, 1, 1}, DK_ANIM_STOP, {1, 2, 2, 2, 2}, 0},
        {"an unknown mode holds the last frame", {1, 2}, 7, {1, 1, 1, 1, 1, 1}, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DkClearAnimatedTextures();
        DK_TEXTURE* t = Make("FLAG", c.delays);
        ASSERT_NE(t, nullptr) << last;
        ASSERT_EQ(DkStartAnimatedTexture("FLAG", c.mode), 1);
        EXPECT_EQ(Run(t, static_cast<int>(c.shown.size())), c.shown);
        EXPECT_EQ(gaAnimTextures[0].nActive, c.active);
        EXPECT_LT(gaAnimTextures[0].uCurrentFrame, gaAnimTextures[0].uNumFrames);
        d3d->apTextures[t->uSlot] = nullptr;
        --guNumTextures;
    }
    DkClearAnimatedTextures();
}

TEST_F(AnimTest, StartingByNameRunsFromWhereTheRecordStands)
{
    DK_TEXTURE* first = Make("FLAG", {1, 1, 1});
    DK_TEXTURE* second = Make("FLAG1", {1, 1});
    ASSERT_TRUE(first && second);
    EXPECT_EQ(DkStartAnimatedTexture("FLA", DK_ANIM_LOOP), 0) << "names compare whole";
    EXPECT_EQ(DkStartAnimatedTexture("WATER", DK_ANIM_LOOP), 0);
    EXPECT_EQ(Run(first, 1), std::vector<int>({0}));
    EXPECT_EQ(Run(second, 1), std::vector<int>({0}));

    ASSERT_EQ(DkStartAnimatedTexture("FLAG", DK_ANIM_REWIND_STOP), 1);
    EXPECT_EQ(Run(first, 4), std::vector<int>({1, 2, 0, 0}));
    EXPECT_EQ(Run(second, 1), std::vector<int>({0})) << "the other record never started";
    ASSERT_EQ(DkStartAnimatedTexture("FLAG", DK_ANIM_LOOP), 1);
    EXPECT_EQ(Run(first, 2), std::vector<int>({1, 2})) << "again from frame 0";
}

TEST_F(AnimTest, RecordsTheTableCannotTakeAreRefused)
{
    for (int i = 0; i < DK_MAX_ANIMTEXTURES; ++i)
        ASSERT_NE(Make(("A" + std::to_string(i)).c_str(), {1}), nullptr) << last;
    const uint32_t textures = guNumTextures;
    EXPECT_EQ(Make("A16", {1}), nullptr);
    EXPECT_TRUE(Reported(last, "Can't load any more animated textures")) << last;
    EXPECT_EQ(guNumTextures, textures) << "no slot taken";
    EXPECT_EQ(guNumAnimTextures, DK_MAX_ANIMTEXTURES);

    DkClearAnimatedTextures();
    frames[1] = nullptr;
    EXPECT_EQ(Make("HOLE", {1, 1}), nullptr);
    EXPECT_TRUE(Reported(last, "Animated texture HOLE: frame 1 has no texture")) << last;
    EXPECT_EQ(guNumAnimTextures, 0);
}

} // namespace
