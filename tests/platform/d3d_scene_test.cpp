// The benchmark scenes (a game-like frame of many small indexed calls with a texture change
// before each, and the reference scene) drawn with the drawing shared among threads: the target
// and the Z buffer come out byte for byte as one thread draws them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_env.h"
#include "tools/bench/bench_scene.h"

namespace
{

struct Drawn
{
    std::vector<uint32_t> target;
    std::vector<uint16_t> depths;
};

Drawn DrawOn(int threads, const bench::Scene& scene, bench::Variant variant)
{
    const SavedVariable saved("DEZOR_RASTER_THREADS");
    setenv("DEZOR_RASTER_THREADS", std::to_string(threads).c_str(), 1);
    bench::OurDevice device;
    EXPECT_TRUE(device.Ok());
    if (!device.Ok())
        return {};
    device.LoadTextures(scene.textures);
    device.SetVariant(variant);
    // Two frames, so that the second starts from a target the first drew on.
    for (int frame = 0; frame < 2; ++frame)
    {
        device.Clear();
        device.BeginScene();
        device.Draw(scene);
        device.EndScene();
    }
    return {device.Snapshot(), device.Depths()};
}

TEST(D3dSceneTest, BenchmarkScenesComeOutTheSameOnAnyNumberOfThreads)
{
    const struct
    {
        const char* name;
        bench::Scene scene;
    } scenes[] = {{"game frame", bench::BuildGameFrame()},
                  {"reference", bench::BuildReferenceScene()}};
    for (const auto& s : scenes)
        for (bench::Variant variant :
             {bench::Variant::Plain, bench::Variant::Fog, bench::Variant::Alpha})
        {
            SCOPED_TRACE(std::string(s.name) + ", " + bench::VariantName(variant));
            const Drawn one = DrawOn(1, s.scene, variant);
            ASSERT_FALSE(one.target.empty());
            for (int threads : {2, 3, 8})
            {
                SCOPED_TRACE(threads);
                const Drawn shared = DrawOn(threads, s.scene, variant);
                EXPECT_TRUE(shared.target == one.target) << "target";
                EXPECT_TRUE(shared.depths == one.depths) << "Z";
            }
        }
}

} // namespace
