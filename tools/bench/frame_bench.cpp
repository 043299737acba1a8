// The scene frame's benchmark: whole frames of the data kit's demo stage at 640x480x16, as the
// race display draws them (clears, the view with every per-frame queue and the dashboard),
// along a camera path down the road, on one raster thread and on the machine's threads. It
// reports frames a second, and per frame the triangles and spans the device drew, the draw
// calls, and the pixels the triangles cover on screen before the depth test (overdraw
// included).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_file.h"
#include "platform/d3d/d3d.h"
#include "platform/d3d/d3d_internal.h"
#include "tools/bench/stage_frame.h"

namespace
{

constexpr double kFirstZ = 40.0;
constexpr double kLastZ = 1200.0;
constexpr double kStep = 1.5; // road units a frame

const std::string& DataDir()
{
    static const std::string dir = []
    {
        char pattern[] = "/tmp/dezor-bench-frame-XXXXXX";
        const std::string made = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        stage::WriteData(made);
        return made;
    }();
    return dir;
}

// Screen-space coverage of what a logged frame drew.
struct Point
{
    double x, y;
};

double PolygonArea(const std::vector<Point>& p)
{
    double a = 0.0;
    for (size_t i = 0; i < p.size(); ++i)
    {
        const Point& s = p[i];
        const Point& e = p[(i + 1) % p.size()];
        a += s.x * e.y - e.x * s.y;
    }
    return a / 2.0;
}

// Sutherland-Hodgman against one axis-aligned edge: keep points with sign * (coord - edge) >= 0.
std::vector<Point> ClipEdge(const std::vector<Point>& in, bool xAxis, double edge, double sign)
{
    std::vector<Point> out;
    for (size_t i = 0; i < in.size(); ++i)
    {
        const Point& s = in[i];
        const Point& e = in[(i + 1) % in.size()];
        const double ds = sign * ((xAxis ? s.x : s.y) - edge);
        const double de = sign * ((xAxis ? e.x : e.y) - edge);
        if (ds >= 0)
            out.push_back(s);
        if ((ds >= 0) != (de >= 0))
        {
            const double t = ds / (ds - de);
            out.push_back({s.x + (e.x - s.x) * t, s.y + (e.y - s.y) * t});
        }
    }
    return out;
}

struct Clip
{
    double x, y, z, w;
};

Clip Transform(const D3DMATRIX& m, double x, double y, double z)
{
    return {x * m._11 + y * m._21 + z * m._31 + m._41, x * m._12 + y * m._22 + z * m._32 + m._42,
            x * m._13 + y * m._23 + z * m._33 + m._43, x * m._14 + y * m._24 + z * m._34 + m._44};
}

struct Coverage
{
    double calls = 0, pixels = 0;
};

// The pixels each logged triangle covers: clipped to the near plane, projected through the
// viewport, clipped to it and culled as the device culls.
Coverage CoverageOf(const std::vector<D3dLoggedCall>& log, int width, int height)
{
    Coverage c;
    D3DMATRIX world{}, view{}, projection{};
    world._11 = world._22 = world._33 = world._44 = 1.0f;
    view = world;
    projection = world;
    D3DVIEWPORT2 vp{};
    vp.dwWidth = static_cast<DWORD>(width);
    vp.dwHeight = static_cast<DWORD>(height);
    vp.dvClipX = -1.0f;
    vp.dvClipY = static_cast<float>(width) / height;
    vp.dvClipWidth = 2.0f;
    vp.dvClipHeight = 2.0f * width / height;
    DWORD cull = D3DCULL_CCW;
    for (const D3dLoggedCall& call : log)
    {
        if (call.call == D3dCall::Transform)
            (call.what == D3DTRANSFORMSTATE_WORLD  ? world
             : call.what == D3DTRANSFORMSTATE_VIEW ? view
                                                   : projection) = call.matrix;
        else if (call.call == D3dCall::SetViewport)
            vp = call.viewport;
        else if (call.call == D3dCall::RenderState && call.what == D3DRENDERSTATE_CULLMODE)
            cull = call.value;
        if (call.call != D3dCall::Draw || call.what < D3DPT_TRIANGLELIST)
            continue;
        ++c.calls;
        const bool screen = call.value == D3DVT_TLVERTEX;
        const D3DMATRIX wvp = D3dMultiply(D3dMultiply(world, view), projection);
        std::vector<Clip> v;
        for (const D3DLVERTEX& lv : call.vertices)
            v.push_back(screen ? Clip{lv.x, lv.y, lv.z, 1.0} : Transform(wvp, lv.x, lv.y, lv.z));
        std::vector<size_t> order;
        const size_t n = call.indices.empty() ? v.size() : call.indices.size();
        for (size_t i = 0; i < n; ++i)
            order.push_back(call.indices.empty() ? i : call.indices[i]);
        auto triangle = [&](size_t a, size_t b, size_t d)
        {
            // Near plane first (z >= 0 in clip space), then the viewport.
            std::vector<Clip> poly = {v[a], v[b], v[d]}, kept;
            for (size_t i = 0; i < poly.size() && !screen; ++i)
            {
                const Clip& s = poly[i];
                const Clip& e = poly[(i + 1) % poly.size()];
                if (s.z >= 0)
                    kept.push_back(s);
                if ((s.z >= 0) != (e.z >= 0))
                {
                    const double t = s.z / (s.z - e.z);
                    kept.push_back(
                        {s.x + (e.x - s.x) * t, s.y + (e.y - s.y) * t, 0.0, s.w + (e.w - s.w) * t});
                }
            }
            if (screen)
                kept = poly;
            std::vector<Point> p;
            for (const Clip& k : kept)
            {
                if (screen)
                    p.push_back({k.x, k.y});
                else if (k.w > 0)
                    p.push_back(
                        {vp.dwX + (k.x / k.w - vp.dvClipX) / vp.dvClipWidth * vp.dwWidth,
                         vp.dwY + (vp.dvClipY - k.y / k.w) / vp.dvClipHeight * vp.dwHeight});
            }
            if (p.size() < 3)
                return;
            const double signedArea = PolygonArea(p);
            if ((cull == D3DCULL_CCW && signedArea < 0) || (cull == D3DCULL_CW && signedArea > 0))
                return;
            p = ClipEdge(p, true, vp.dwX, 1);
            p = ClipEdge(p, true, vp.dwX + vp.dwWidth, -1);
            p = ClipEdge(p, false, vp.dwY, 1);
            p = ClipEdge(p, false, vp.dwY + vp.dwHeight, -1);
            if (p.size() >= 3)
                c.pixels += std::abs(PolygonArea(p));
        };
        if (call.what == D3DPT_TRIANGLELIST)
            for (size_t i = 0; i + 2 < order.size(); i += 3)
                triangle(order[i], order[i + 1], order[i + 2]);
        else if (call.what == D3DPT_TRIANGLESTRIP)
            for (size_t i = 0; i + 2 < order.size(); ++i)
                i % 2 == 0 ? triangle(order[i], order[i + 1], order[i + 2])
                           : triangle(order[i + 1], order[i], order[i + 2]);
        else
            for (size_t i = 1; i + 1 < order.size(); ++i)
                triangle(order[0], order[i], order[i + 1]);
    }
    return c;
}

D3DSTATS Stats()
{
    D3DSTATS s{};
    s.dwSize = sizeof s;
    d3d->lpD3DDevice2->GetStats(&s);
    return s;
}

void Frames(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    DkSetCDPath(DataDir().c_str());
    stage::DisplayOptions options;
    options.threads = threads;
    std::string problem;
    stage::Stage s;
    if (!stage::OpenDisplay(options, &problem) || !stage::LoadStage(false, &s, &problem))
    {
        state.SkipWithError(problem.c_str());
        stage::CloseDisplay();
        return;
    }
    // The calls and pixels of frames along the whole road, outside the timing.
    Coverage sampled;
    int samples = 0;
    for (double z = kFirstZ; z <= kLastZ; z += 116.0, ++samples)
    {
        stage::MoveAlongRoad(s, z);
        stage::QueueExtras(s);
        gpLastViewportRect = nullptr;
        D3dStartCallLog();
        stage::DrawFrame(s);
        D3dStopCallLog();
        const Coverage c = CoverageOf(D3dCallLog(), options.width, options.height);
        sampled.calls += c.calls;
        sampled.pixels += c.pixels;
    }
    D3dStartCallLog();
    D3dStopCallLog();

    const D3DSTATS before = Stats();
    double z = kFirstZ;
    for (auto _ : state)
    {
        stage::MoveAlongRoad(s, z);
        stage::QueueExtras(s);
        stage::DrawFrame(s);
        z = z + kStep > kLastZ ? kFirstZ : z + kStep;
    }
    const D3DSTATS after = Stats();
    const double frames = static_cast<double>(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["triangles"] = (after.dwTrianglesDrawn - before.dwTrianglesDrawn) / frames;
    state.counters["spans"] = (after.dwSpansDrawn - before.dwSpansDrawn) / frames;
    state.counters["calls"] = sampled.calls / samples;
    state.counters["pixels"] = sampled.pixels / samples;
    stage::CloseDisplay();
}

int MachineThreads()
{
    return std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
}

} // namespace

BENCHMARK(Frames)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(MachineThreads())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

BENCHMARK_MAIN();
