// Draws the benchmark scenes with our device and, in the same run, with OpenGL on Mesa's
// llvmpipe (through SDL's offscreen video driver), and prints the frame times on one thread and
// on N (the hardware threads, or --threads N): our device with DEZOR_RASTER_THREADS, llvmpipe
// with LP_NUM_THREADS. The scenes are the reference scene (one call, one texture) and a game-like
// frame (60 indexed calls, a texture change before each), each textured, fogged and
// alpha-blended.
//
//   dezor-bench-scene [--frames N] [--threads N] [--runs N]
//
// Each run measures ours and then llvmpipe at every thread count, so the two alternate; a run's
// figure is the mean of its frames, and the table gives the min and median over the runs.
// llvmpipe takes its thread count when its context is made, so each of its measurements is made
// in a child process of its own.
#include <SDL.h>
#include <SDL_opengl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tools/bench/bench_scene.h"

namespace
{

using bench::kHeight;
using bench::kWidth;
using bench::Variant;

constexpr int kWarmUpFrames = 5;
constexpr Variant kVariants[] = {Variant::Plain, Variant::Fog, Variant::Alpha};
constexpr int kVariantCount = sizeof kVariants / sizeof kVariants[0];
constexpr const char* kSceneNames[] = {"reference", "game frame"};
constexpr int kSceneCount = sizeof kSceneNames / sizeof kSceneNames[0];

// Milliseconds a frame: the mean over `frames` frames, after the warm-up frames.
double MeanFrameMs(int frames, const std::function<void()>& frame)
{
    for (int i = 0; i < kWarmUpFrames; ++i)
        frame();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i)
        frame();
    const std::chrono::duration<double, std::milli> total =
        std::chrono::steady_clock::now() - start;
    return total.count() / frames;
}

// The scene's vertices as GL takes them: clip coordinates (x w, y w, z w, w) under an
// orthographic projection onto the screen, so texture and colour are interpolated with the same
// perspective as our device's; pixel centres are at +0.5 in GL, at whole numbers in ours.
struct GlVertex
{
    float x, y, z, w;
    uint8_t rgba[4];
    float u, v;
    float fogCoord; // 0 = clear, 1 = all fog (linear fog from 0 to 1)
};

std::vector<GlVertex> GlVertices(const bench::Scene& s)
{
    std::vector<GlVertex> out;
    out.reserve(s.vertices.size());
    for (const D3DTLVERTEX& v : s.vertices)
    {
        const float w = 1.0f / v.rhw;
        GlVertex g{};
        g.x = (v.sx + 0.5f) * w;
        g.y = (v.sy + 0.5f) * w;
        g.z = v.sz * w;
        g.w = w;
        g.rgba[0] = static_cast<uint8_t>(v.color >> 16);
        g.rgba[1] = static_cast<uint8_t>(v.color >> 8);
        g.rgba[2] = static_cast<uint8_t>(v.color);
        g.rgba[3] = static_cast<uint8_t>(v.color >> 24);
        g.u = v.tu;
        g.v = v.tv;
        g.fogCoord = 1.0f - static_cast<float>(v.specular >> 24) / 255.0f;
        out.push_back(g);
    }
    return out;
}

// The scenes drawn through OpenGL, each call as a glDrawElements with its texture bound, from
// client arrays (which GL copies at each call, as our device copies a call's vertices).
class GlScenes
{
public:
    // False if GL could not be set up (the reason is in Error()).
    bool Open(const std::vector<bench::Scene>& scenes)
    {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return Fail("SDL video: ", SDL_GetError());
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 6);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        window_ = SDL_CreateWindow("dezor-bench-scene", 0, 0, kWidth, kHeight,
                                   SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (window_ == nullptr)
            return Fail("window: ", SDL_GetError());
        context_ = SDL_GL_CreateContext(window_);
        if (context_ == nullptr)
            return Fail("context: ", SDL_GetError());
        SDL_GL_MakeCurrent(window_, context_);
        SDL_GL_SetSwapInterval(0);
        fogCoordPointer_ =
            reinterpret_cast<PFNGLFOGCOORDPOINTERPROC>(SDL_GL_GetProcAddress("glFogCoordPointer"));
        if (fogCoordPointer_ == nullptr)
            return Fail("no glFogCoordPointer", "");

        scenes_ = &scenes;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        for (const bench::Scene& s : scenes)
        {
            vertices_.push_back(GlVertices(s));
            std::vector<GLuint>& names = textures_.emplace_back(s.textures.size());
            glGenTextures(static_cast<GLsizei>(names.size()), names.data());
            for (size_t t = 0; t < names.size(); ++t)
            {
                glBindTexture(GL_TEXTURE_2D, names[t]);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5, s.textures[t].size, s.textures[t].size, 0,
                             GL_RGB, GL_UNSIGNED_SHORT_5_6_5, s.textures[t].texels.data());
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            }
        }
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_TEXTURE_2D);

        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        // x 0..640 and y 0..480 (down) onto the screen, z 0..1 onto depth 0..1.
        glOrtho(0, kWidth, kHeight, 0, 0, -1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glShadeModel(GL_SMOOTH);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DITHER);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDepthMask(GL_TRUE);
        glClearColor(0.125f, 0.1875f, 0.25f, 0.0f);
        glClearDepth(1.0);
        const float fog[4] = {((bench::kFogColor >> 16) & 0xFF) / 255.0f,
                              ((bench::kFogColor >> 8) & 0xFF) / 255.0f,
                              (bench::kFogColor & 0xFF) / 255.0f, 1.0f};
        glFogfv(GL_FOG_COLOR, fog);
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, 0.0f);
        glFogf(GL_FOG_END, 1.0f);
        glFogi(GL_FOG_COORDINATE_SOURCE, GL_FOG_COORDINATE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_FOG_COORDINATE_ARRAY);
        if (glGetError() != GL_NO_ERROR)
            return Fail("GL set-up failed", "");
        return true;
    }

    ~GlScenes()
    {
        if (context_ != nullptr)
        {
            for (std::vector<GLuint>& names : textures_)
                glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
            SDL_GL_DeleteContext(context_);
        }
        if (window_ != nullptr)
            SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    const std::string& Error() const { return error_; }

    std::string Describe() const
    {
        GLint r = 0, g = 0, b = 0, depth = 0;
        glGetIntegerv(GL_RED_BITS, &r);
        glGetIntegerv(GL_GREEN_BITS, &g);
        glGetIntegerv(GL_BLUE_BITS, &b);
        glGetIntegerv(GL_DEPTH_BITS, &depth);
        char text[256];
        std::snprintf(text, sizeof text, "%s, %s; colour %d:%d:%d, depth %d bits",
                      reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                      reinterpret_cast<const char*>(glGetString(GL_VERSION)), r, g, b, depth);
        return text;
    }

    static void SetVariant(Variant v)
    {
        if (v == Variant::Fog)
            glEnable(GL_FOG);
        else
            glDisable(GL_FOG);
        if (v == Variant::Alpha)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
    }

    void Frame(size_t scene)
    {
        const bench::Scene& s = (*scenes_)[scene];
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (const bench::Call& c : s.calls)
        {
            glBindTexture(GL_TEXTURE_2D, textures_[scene][static_cast<size_t>(c.texture)]);
            const GlVertex* v = vertices_[scene].data() + c.firstVertex;
            const GLsizei stride = sizeof(GlVertex);
            glVertexPointer(4, GL_FLOAT, stride, &v->x);
            glColorPointer(4, GL_UNSIGNED_BYTE, stride, v->rgba);
            glTexCoordPointer(2, GL_FLOAT, stride, &v->u);
            fogCoordPointer_(GL_FLOAT, stride, &v->fogCoord);
            glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(c.indexCount), GL_UNSIGNED_SHORT,
                           s.indices.data() + c.firstIndex);
        }
        glFinish();
    }

    // 0xRRGGBB pixels, row by row from the top.
    static std::vector<uint32_t> Snapshot()
    {
        std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        std::vector<uint32_t> out(static_cast<size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
            {
                const uint8_t* p = &rgba[(static_cast<size_t>(kHeight - 1 - y) * kWidth + x) * 4];
                out[static_cast<size_t>(y) * kWidth + x] =
                    static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
            }
        return out;
    }

private:
    bool Fail(const char* what, const char* why)
    {
        error_ = std::string(what) + why;
        return false;
    }

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    PFNGLFOGCOORDPOINTERPROC fogCoordPointer_ = nullptr;
    const std::vector<bench::Scene>* scenes_ = nullptr;
    std::vector<std::vector<GlVertex>> vertices_;
    std::vector<std::vector<GLuint>> textures_;
    std::string error_;
};

// How far two frames are apart: the mean difference of a channel (0..255) and the share of
// pixels with a channel more than 32 apart.
std::string Compare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return "not compared";
    double sum = 0;
    size_t far = 0;
    for (size_t i = 0; i < a.size(); ++i)
    {
        int most = 0;
        for (int shift : {0, 8, 16})
        {
            const int d = std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                                   static_cast<int>((b[i] >> shift) & 0xFF));
            sum += d;
            most = std::max(most, d);
        }
        far += most > 32;
    }
    char text[128];
    std::snprintf(text, sizeof text, "mean channel difference %.2f, %.2f%% of pixels > 32 apart",
                  sum / (3.0 * static_cast<double>(a.size())),
                  100.0 * static_cast<double>(far) / static_cast<double>(a.size()));
    return text;
}

bool ParseCount(const char* text, int& out)
{
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < 1 || n > 1000000)
        return false;
    out = static_cast<int>(n);
    return true;
}

// Milliseconds a frame of each scene in each variant.
using Times = std::array<std::array<double, kVariantCount>, kSceneCount>;
// Our last frame of each scene in each variant, to compare with llvmpipe's.
using Frames = std::array<std::array<std::vector<uint32_t>, kVariantCount>, kSceneCount>;

// What a child process measured with llvmpipe, sent back through a pipe.
struct GlResult
{
    bool ok = false;
    char text[256] = {}; // the renderer, or why GL could not be used
    Times ms = {};
    char comparison[kSceneCount][kVariantCount][128] = {};
};

// Measures our device on `threads` threads; its frames go to `last` when given.
bool MeasureOurs(const std::vector<bench::Scene>& scenes, int threads, int frames, Times& ms,
                 Frames* last)
{
    // The device takes its thread count when it is made.
    setenv("DEZOR_RASTER_THREADS", std::to_string(threads).c_str(), 1);
    bench::OurDevice ours;
    if (!ours.Ok())
        return false;
    for (int s = 0; s < kSceneCount; ++s)
    {
        ours.LoadTextures(scenes[s].textures);
        for (int i = 0; i < kVariantCount; ++i)
        {
            ours.SetVariant(kVariants[i]);
            ms[s][i] = MeanFrameMs(frames,
                                   [&]
                                   {
                                       ours.Clear();
                                       ours.BeginScene();
                                       ours.Draw(scenes[s]);
                                       ours.EndScene();
                                   });
            if (last != nullptr)
                (*last)[s][i] = ours.Snapshot();
        }
    }
    return true;
}

// Measures llvmpipe on `threads` threads in a child process; with `ours`, our frames, its last
// frames are compared with them.
GlResult MeasureGl(const std::vector<bench::Scene>& scenes, int threads, int frames,
                   const Frames* ours)
{
    GlResult result;
    int fds[2];
    if (pipe(fds) != 0)
    {
        std::snprintf(result.text, sizeof result.text, "no pipe");
        return result;
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0)
    {
        close(fds[0]);
        setenv("LP_NUM_THREADS", std::to_string(threads).c_str(), 1);
        GlResult r;
        {
            GlScenes gl;
            r.ok = gl.Open(scenes);
            std::snprintf(r.text, sizeof r.text, "%s",
                          r.ok ? gl.Describe().c_str() : gl.Error().c_str());
            for (int s = 0; r.ok && s < kSceneCount; ++s)
                for (int i = 0; i < kVariantCount; ++i)
                {
                    GlScenes::SetVariant(kVariants[i]);
                    r.ms[s][i] = MeanFrameMs(frames, [&] { gl.Frame(static_cast<size_t>(s)); });
                    if (ours != nullptr)
                        std::snprintf(r.comparison[s][i], sizeof r.comparison[s][i], "%s",
                                      Compare((*ours)[s][i], GlScenes::Snapshot()).c_str());
                }
        }
        const bool sent = write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    if (child < 0 || read(fds[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result))
    {
        result = GlResult{};
        std::snprintf(result.text, sizeof result.text, "the GL process failed");
    }
    close(fds[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return result;
}

struct Stats
{
    double min, median;
};

Stats Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return {v.front(), n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2};
}

void DescribeScene(const char* name, const bench::Scene& s)
{
    std::printf("%s: %zu triangles in %zu calls, %zu textures, triangles of %.0f to %.0f pixels "
                "(mean %.0f), overdraw %.2f%s\n",
                name, s.Triangles(), s.calls.size(), s.textures.size(), s.minArea, s.maxArea,
                s.meanArea, s.overdraw, s.staged ? ", vertices staged per call" : "");
}

} // namespace

int main(int argc, char** argv)
{
    int frames = 50;
    int runs = 5;
    int threads = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc && ParseCount(argv[i + 1], frames))
            ++i;
        else if (arg == "--threads" && i + 1 < argc && ParseCount(argv[i + 1], threads))
            ++i;
        else if (arg == "--runs" && i + 1 < argc && ParseCount(argv[i + 1], runs))
            ++i;
        else
        {
            std::fprintf(stderr, "usage: %s [--frames N] [--threads N] [--runs N]\n", argv[0]);
            return 2;
        }
    }
    threads = std::clamp(threads, 1, 64);
    // Mesa's software rasteriser, on no display.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    std::vector<int> counts = {1};
    if (threads > 1)
        counts.push_back(threads);

    const std::vector<bench::Scene> scenes = {bench::BuildReferenceScene(),
                                              bench::BuildGameFrame()};
    for (int s = 0; s < kSceneCount; ++s)
        DescribeScene(kSceneNames[s], scenes[s]);
    std::printf("640x480 16-bit 5:6:5 target, 16-bit Z, bilinear modulated textures; %d runs of "
                "%d frames after %d warm-up frames, ours and llvmpipe alternating; threads: ours "
                "DEZOR_RASTER_THREADS, llvmpipe LP_NUM_THREADS\n",
                runs, frames, kWarmUpFrames);

    {
        bench::OurDevice probe;
        if (!probe.Ok())
        {
            std::printf("our device could not be made\n");
            return 1;
        }
        if (!probe.DrawsFog() || !probe.DrawsAlphaBlend())
            std::printf("(our device does not draw fog or alpha blending as expected)\n");
    }

    // oursMs[c][run], glMs[c][run]
    std::vector<std::vector<Times>> oursMs(counts.size()), glMs(counts.size());
    std::vector<Frames> lastFrames(counts.size());
    std::vector<GlResult> firstGl(counts.size());
    bool glOk = true;
    for (int run = 0; run < runs; ++run)
        for (size_t c = 0; c < counts.size(); ++c)
        {
            Times ours{};
            if (!MeasureOurs(scenes, counts[c], frames, ours, run == 0 ? &lastFrames[c] : nullptr))
            {
                std::printf("our device could not be made\n");
                return 1;
            }
            oursMs[c].push_back(ours);
            if (!glOk)
                continue;
            GlResult gl = MeasureGl(scenes, counts[c], frames, run == 0 ? &lastFrames[c] : nullptr);
            if (!gl.ok)
            {
                std::printf("OpenGL could not be used (%s): only our figures follow\n", gl.text);
                glOk = false;
                continue;
            }
            if (run == 0)
                firstGl[c] = gl;
            glMs[c].push_back(gl.ms);
        }
    if (glOk)
        std::printf("OpenGL: %s\n", firstGl[0].text);

    std::printf("\n%-11s %-14s %7s %17s %17s %15s\n", "scene", "variant", "threads",
                "ours ms min/med", "llvmpipe min/med", "ratio min/med");
    for (int s = 0; s < kSceneCount; ++s)
        for (int i = 0; i < kVariantCount; ++i)
        {
            for (size_t c = 0; c < counts.size(); ++c)
            {
                std::vector<double> o, g;
                for (const Times& t : oursMs[c])
                    o.push_back(t[s][i]);
                for (const Times& t : glMs[c])
                    g.push_back(t[s][i]);
                const Stats os = Summarise(o);
                const char* scene = i == 0 && c == 0 ? kSceneNames[s] : "";
                const char* variant = c == 0 ? bench::VariantName(kVariants[i]) : "";
                if (g.empty())
                {
                    std::printf("%-11s %-14s %7d %8.3f %8.3f %17s %15s\n", scene, variant,
                                counts[c], os.min, os.median, "-", "-");
                    continue;
                }
                const Stats gs = Summarise(g);
                std::printf("%-11s %-14s %7d %8.3f %8.3f %8.3f %8.3f %7.2f %7.2f\n", scene, variant,
                            counts[c], os.min, os.median, gs.min, gs.median, os.min / gs.min,
                            os.median / gs.median);
            }
            if (glOk)
                std::printf("%-11s %-14s last frames: %s\n", "", "", firstGl[0].comparison[s][i]);
        }
    return 0;
}
