// Draws the reference scene with our device and, in the same run, with OpenGL on Mesa's
// llvmpipe (through SDL's offscreen video driver), and prints the mean frame times, on one
// thread and on N (the hardware threads, or --threads N): our device with DEZOR_RASTER_THREADS,
// llvmpipe with LP_NUM_THREADS.
//
//   dezor-bench-scene [--frames N] [--threads N]
//
// llvmpipe takes its thread count when its context is made, so each count is measured in a
// child process of its own.
#include <SDL.h>
#include <SDL_opengl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

constexpr int kBatchFrames = 10;

// Milliseconds a frame, after the warm-up frames: the frames are timed in batches of ten and
// the best batch's mean is taken, so that other work on a shared machine weighs less.
double MeanFrameMs(int frames, const std::function<void()>& frame)
{
    for (int i = 0; i < kWarmUpFrames; ++i)
        frame();
    double best = 0;
    for (int done = 0; done < frames;)
    {
        const int batch = std::min(kBatchFrames, frames - done);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < batch; ++i)
            frame();
        const std::chrono::duration<double, std::milli> total =
            std::chrono::steady_clock::now() - start;
        const double ms = total.count() / batch;
        best = done == 0 ? ms : std::min(best, ms);
        done += batch;
    }
    return best;
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

std::vector<GlVertex> GlVertices(const bench::ReferenceScene& s)
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

class GlScene
{
public:
    // False if GL could not be set up (the reason is in Error()).
    bool Open(const bench::ReferenceScene& scene)
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

        vertices_ = GlVertices(scene);
        indices_ = &scene.indices;
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5, bench::kTextureSize, bench::kTextureSize, 0, GL_RGB,
                     GL_UNSIGNED_SHORT_5_6_5, scene.texture.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
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

        const GLsizei stride = sizeof(GlVertex);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(4, GL_FLOAT, stride, &vertices_[0].x);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, stride, vertices_[0].rgba);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, &vertices_[0].u);
        glEnableClientState(GL_FOG_COORDINATE_ARRAY);
        fogCoordPointer_(GL_FLOAT, stride, &vertices_[0].fogCoord);
        if (glGetError() != GL_NO_ERROR)
            return Fail("GL set-up failed", "");
        return true;
    }

    ~GlScene()
    {
        if (context_ != nullptr)
        {
            glDeleteTextures(1, &texture_);
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

    void SetVariant(Variant v)
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

    void Frame()
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices_->size()), GL_UNSIGNED_SHORT,
                       indices_->data());
        glFinish();
    }

    // 0xRRGGBB pixels, row by row from the top.
    std::vector<uint32_t> Snapshot() const
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
    GLuint texture_ = 0;
    PFNGLFOGCOORDPOINTERPROC fogCoordPointer_ = nullptr;
    std::vector<GlVertex> vertices_;
    const std::vector<WORD>* indices_ = nullptr;
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

constexpr int kVariantCount = sizeof kVariants / sizeof kVariants[0];

// What a child process measured with llvmpipe, sent back through a pipe.
struct GlResult
{
    bool ok = false;
    char text[256] = {}; // the renderer, or why GL could not be used
    double ms[kVariantCount] = {};
    char comparison[kVariantCount][128] = {};
};

// Measures llvmpipe on `threads` threads in a child process; ourFrames are our last frames,
// one a variant, to compare with.
GlResult MeasureGl(const bench::ReferenceScene& scene, int threads, int frames,
                   const std::vector<std::vector<uint32_t>>& ourFrames)
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
            GlScene gl;
            r.ok = gl.Open(scene);
            std::snprintf(r.text, sizeof r.text, "%s",
                          r.ok ? gl.Describe().c_str() : gl.Error().c_str());
            for (int i = 0; r.ok && i < kVariantCount; ++i)
            {
                gl.SetVariant(kVariants[i]);
                r.ms[i] = MeanFrameMs(frames, [&] { gl.Frame(); });
                std::snprintf(r.comparison[i], sizeof r.comparison[i], "%s",
                              Compare(ourFrames[i], gl.Snapshot()).c_str());
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

} // namespace

int main(int argc, char** argv)
{
    int frames = 100;
    int threads = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc && ParseCount(argv[i + 1], frames))
            ++i;
        else if (arg == "--threads" && i + 1 < argc && ParseCount(argv[i + 1], threads))
            ++i;
        else
        {
            std::fprintf(stderr, "usage: %s [--frames N] [--threads N]\n", argv[0]);
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

    const bench::ReferenceScene scene = bench::BuildReferenceScene();
    std::printf("reference scene: %zu triangles, %dx%d 16-bit 5:6:5, 16-bit Z, %dx%d texture "
                "(bilinear, modulate), overdraw %.2f\n",
                scene.indices.size() / 3, kWidth, kHeight, bench::kTextureSize, bench::kTextureSize,
                scene.overdraw);
    std::printf("%d frames after %d warm-up frames, the best %d-frame batch counted; threads: ours "
                "DEZOR_RASTER_THREADS, llvmpipe LP_NUM_THREADS\n",
                frames, kWarmUpFrames, kBatchFrames);

    // Ours first, each thread count on a device of its own (it takes the count when made).
    std::vector<std::vector<double>> oursMs(counts.size());
    std::vector<std::vector<std::vector<uint32_t>>> oursFrames(counts.size());
    bool drawn[kVariantCount] = {true, true, true};
    for (size_t c = 0; c < counts.size(); ++c)
    {
        setenv("DEZOR_RASTER_THREADS", std::to_string(counts[c]).c_str(), 1);
        bench::OurDevice ours;
        if (!ours.Ok())
        {
            std::printf("our device could not be made\n");
            return 1;
        }
        drawn[1] = ours.DrawsFog();
        drawn[2] = ours.DrawsAlphaBlend();
        ours.SetTexture(scene.texture, bench::kTextureSize);
        for (Variant v : kVariants)
        {
            ours.SetVariant(v);
            oursMs[c].push_back(MeanFrameMs(frames,
                                            [&]
                                            {
                                                ours.Clear();
                                                ours.BeginScene();
                                                ours.Draw(scene);
                                                ours.EndScene();
                                            }));
            oursFrames[c].push_back(ours.Snapshot());
        }
    }
    std::vector<GlResult> gl;
    for (size_t c = 0; c < counts.size(); ++c)
        gl.push_back(MeasureGl(scene, counts[c], frames, oursFrames[c]));
    if (gl[0].ok)
        std::printf("OpenGL: %s\n", gl[0].text);
    else
        std::printf("OpenGL could not be used (%s): only our figures follow\n", gl[0].text);
    std::printf("\n%-14s %7s %12s %12s %14s\n", "variant", "threads", "ours ms", "llvmpipe ms",
                "ours/llvmpipe");

    for (int i = 0; i < kVariantCount; ++i)
    {
        for (size_t c = 0; c < counts.size(); ++c)
        {
            const char* name = c == 0 ? bench::VariantName(kVariants[i]) : "";
            if (gl[c].ok)
                std::printf("%-14s %7d %12.3f %12.3f %14.2f\n", name, counts[c], oursMs[c][i],
                            gl[c].ms[i], oursMs[c][i] / gl[c].ms[i]);
            else
                std::printf("%-14s %7d %12.3f %12s %14s\n", name, counts[c], oursMs[c][i], "-",
                            "-");
        }
        if (!drawn[i])
            std::printf("%-14s (not yet drawn by our device)\n", "");
        if (gl[0].ok)
            std::printf("%-14s last frames: %s\n", "", gl[0].comparison[i]);
    }
    return 0;
}
