// dezor-stage-viewer: a test hook, not part of the game. Opens a headless 640x480x16 display,
// writes the data kit's demo stage to disc, loads it through the file layer and the DK3D reader,
// flies a camera down the road behind a car and writes each frame as a PNG file.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/bench/stage_frame.h"

namespace
{

constexpr const char* kUsage =
    "usage: dezor-stage-viewer OUTDIR [--frames N] [--night] [--split] [--bits 8|16]\n"
    "                          [--width W --height H] [--data DIR]\n"
    "Writes OUTDIR/frame_NNN.png: N frames (default 8) spread along the road. The stage is\n"
    "written under DIR (default OUTDIR/data) and loaded from there.\n";

struct Options
{
    std::string out;
    std::string data;
    int frames = 8;
    bool night = false;
    bool split = false;
    stage::DisplayOptions display;
};

bool Parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        auto value = [&](int& to)
        {
            if (i + 1 >= argc)
                return false;
            to = std::atoi(argv[++i]);
            return true;
        };
        if (a == "--frames" && value(o.frames) && o.frames > 0)
            continue;
        if (a == "--bits" && value(o.display.bits) && (o.display.bits == 8 || o.display.bits == 16))
            continue;
        if (a == "--width" && value(o.display.width) && o.display.width > 0)
            continue;
        if (a == "--height" && value(o.display.height) && o.display.height > 0)
            continue;
        if (a == "--night")
            o.night = true;
        else if (a == "--split")
            o.split = true;
        else if (a == "--data" && i + 1 < argc)
            o.data = argv[++i];
        else if (!a.starts_with("-") && o.out.empty())
            o.out = a;
        else
            return false;
    }
    if (o.data.empty() && !o.out.empty())
        o.data = (std::filesystem::path(o.out) / "data").string();
    return !o.out.empty();
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!Parse(argc, argv, o))
    {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::filesystem::create_directories(o.out);
    stage::WriteData(o.data);
    std::string problem;
    if (!stage::OpenDisplay(o.display, &problem))
    {
        std::fprintf(stderr, "dezor-stage-viewer: %s\n", problem.c_str());
        return 1;
    }
    stage::Stage s;
    if (!stage::LoadStage(o.night, &s, &problem))
    {
        std::fprintf(stderr, "dezor-stage-viewer: %s\n", problem.c_str());
        stage::CloseDisplay();
        return 1;
    }
    for (int f = 0; f < o.frames; ++f)
    {
        const double z = 40.0 + (1180.0 - 40.0) * f / (o.frames > 1 ? o.frames - 1 : 1);
        stage::MoveAlongRoad(s, z);
        stage::QueueExtras(s);
        stage::DrawFrame(s, o.split);
        char name[32];
        std::snprintf(name, sizeof name, "frame_%03d.png", f);
        const std::string path = (std::filesystem::path(o.out) / name).string();
        if (!stage::SavePng(path))
        {
            std::fprintf(stderr, "dezor-stage-viewer: cannot write %s\n", path.c_str());
            stage::CloseDisplay();
            return 1;
        }
        std::printf("%s (car at z = %.0f)\n", path.c_str(), z);
    }
    stage::CloseDisplay();
    return 0;
}
