// The scene frame drawn by the device on one thread and on several: the same frames of the demo
// stage, with the depth probe and a 2D blit to the back surface inside the scene and the flip's
// pixel sample after it, come out byte for byte the same in the target and in depth.
#include "tests/engine/stage_fixture.h"

namespace
{

struct Frames
{
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<std::vector<uint16_t>> depths;
    std::vector<int32_t> probes;
    std::vector<uint32_t> samples;
};

class FrameThreadsTest : public StageTest
{
protected:
    // Three frames down the road (the last on a split screen), drawn on `threads` threads.
    Frames Draw(int threads)
    {
        Frames f;
        const SavedVariable saved("DEZOR_RASTER_THREADS");
        if (!Open(16, false, 160, 120, threads))
            return f;
        DkSetDepthSamplePoint(80, 100);
        DkSetSamplePoint(40, 60);
        for (int i = 0; i < 3; ++i)
        {
            At(120.0 + 7.0 * i, true);
            output += CaptureOutput([&] { stage::DrawFrame(s, i == 2); });
            f.probes.push_back(DkSetDepthSamplePoint(80, 100));
            f.samples.push_back(DkSampleBackSurface());
            f.pictures.push_back(Area());
            f.depths.push_back(stage::DepthWords());
        }
        EXPECT_EQ(D3dDrawingThreads() > 0, threads > 1) << "the drawing was shared";
        output += CaptureOutput([] { stage::CloseDisplay(); });
        EXPECT_EQ(D3dDrawingThreads(), 0) << "no drawing thread outlives its device";
        return f;
    }
};

TEST_F(FrameThreadsTest, FramesAreTheSameOnOneThreadAndOnSeveral)
{
    const Frames one = Draw(1);
    ASSERT_EQ(one.pictures.size(), 3u);
    // The probe looks at drawn ground, and the picture is not one colour.
    EXPECT_EQ(one.probes[0], 0);
    EXPECT_NE(one.samples[0], 0x04030201u);
    for (int threads : {2, 5})
    {
        SCOPED_TRACE(threads);
        const Frames several = Draw(threads);
        ASSERT_EQ(several.pictures.size(), 3u);
        for (size_t i = 0; i < 3; ++i)
        {
            SCOPED_TRACE(i);
            EXPECT_TRUE(several.pictures[i] == one.pictures[i]) << "target";
            EXPECT_TRUE(several.depths[i] == one.depths[i]) << "depth";
        }
        EXPECT_EQ(several.probes, one.probes);
        EXPECT_EQ(several.samples, one.samples);
    }
    EXPECT_EQ(CountReports(output), 0) << output;
}

} // namespace
