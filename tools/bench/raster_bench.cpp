// Micro-benchmarks of our rasteriser on a 640x480 5:6:5 target with a 16-bit Z buffer: one
// screen-filling triangle pair, untextured and textured, the reference scene and the game-like
// frame, on DEZOR_RASTER_THREADS threads (1 when unset).
#include <benchmark/benchmark.h>

#include <vector>

#include "tools/bench/bench_scene.h"

namespace
{

using bench::kHeight;
using bench::kWidth;

// Two triangles covering the screen, with colours at the corners and a texture stretched
// across them (64x64 texels, so each one covers several pixels).
std::vector<D3DTLVERTEX> ScreenPair()
{
    const float r = static_cast<float>(kWidth), b = static_cast<float>(kHeight);
    auto v = [&](float x, float y, D3DCOLOR c)
    { return D3DTLVERTEX{x, y, 0.5f, 1.0f, c, 0xFF000000u, x / r, y / b}; };
    D3DTLVERTEX tl = v(0, 0, 0xFFFF4020u), tr = v(r, 0, 0xFF20FF40u), bl = v(0, b, 0xFF4020FFu),
                br = v(r, b, 0xFFFFFFFFu);
    return {tl, tr, bl, tr, br, bl};
}

std::vector<uint16_t> Checker(int size)
{
    std::vector<uint16_t> t(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            t[static_cast<size_t>(y) * size + x] =
                static_cast<uint16_t>(((x ^ y) & 8 ? 0xFFFFu : 0x8410u) ^ (x * 0x0421u));
    return t;
}

// Clears and draws the pair once an iteration.
void Pair(benchmark::State& state, bool textured, bool bilinear)
{
    bench::OurDevice d;
    if (!d.Ok())
    {
        state.SkipWithError("no device");
        return;
    }
    d.SetVariant(bench::Variant::Plain, bilinear);
    if (textured)
        d.LoadTextures({bench::Texture{64, Checker(64)}});
    else
        d.NoTexture();
    const std::vector<D3DTLVERTEX> pair = ScreenPair();
    for (auto _ : state)
    {
        d.Clear();
        d.BeginScene();
        d.DrawTriangles(pair);
        d.EndScene();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_PairGouraudZ(benchmark::State& state)
{
    Pair(state, false, false);
}
BENCHMARK(BM_PairGouraudZ)->Unit(benchmark::kMillisecond);

void BM_PairTexturedNearestModulate(benchmark::State& state)
{
    Pair(state, true, false);
}
BENCHMARK(BM_PairTexturedNearestModulate)->Unit(benchmark::kMillisecond);

void BM_PairTexturedBilinearModulate(benchmark::State& state)
{
    Pair(state, true, true);
}
BENCHMARK(BM_PairTexturedBilinearModulate)->Unit(benchmark::kMillisecond);

// A scene of dezor-bench-scene in each variant (a frame an iteration).
void DrawScene(benchmark::State& state, const bench::Scene& scene)
{
    const auto variant = static_cast<bench::Variant>(state.range(0));
    bench::OurDevice d;
    if (!d.Ok())
    {
        state.SkipWithError("no device");
        return;
    }
    d.LoadTextures(scene.textures);
    d.SetVariant(variant);
    for (auto _ : state)
    {
        d.Clear();
        d.BeginScene();
        d.Draw(scene);
        d.EndScene();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(scene.Triangles()));
    state.SetLabel(bench::VariantName(variant));
}

void BM_ReferenceScene(benchmark::State& state)
{
    static const bench::Scene scene = bench::BuildReferenceScene();
    DrawScene(state, scene);
}
BENCHMARK(BM_ReferenceScene)
    ->Arg(static_cast<int>(bench::Variant::Plain))
    ->Arg(static_cast<int>(bench::Variant::Fog))
    ->Arg(static_cast<int>(bench::Variant::Alpha))
    ->Unit(benchmark::kMillisecond);

void BM_GameFrame(benchmark::State& state)
{
    static const bench::Scene scene = bench::BuildGameFrame();
    DrawScene(state, scene);
}
BENCHMARK(BM_GameFrame)
    ->Arg(static_cast<int>(bench::Variant::Plain))
    ->Arg(static_cast<int>(bench::Variant::Fog))
    ->Arg(static_cast<int>(bench::Variant::Alpha))
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
