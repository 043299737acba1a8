// dezor-datakit: writes the data files the game reads, and a demo installation.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/dkpr_writer.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/image_writer.h"
#include "tools/datakit/install.h"
#include "tools/datakit/palette_writer.h"
#include "tools/datakit/seeds.h"
#include "tools/datakit/stage_writer.h"
#include "tools/datakit/trackcam_writer.h"

namespace
{

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: dezor-datakit COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  install DIR            write a demo installation under DIR: registry file, hard-disk\n"
    "                         root (drive C:) and game disc (drive D:)\n"
    "  dkpr [--gzip] IN OUT   wrap the file IN as a DKPR data file OUT, gzip-compressed with\n"
    "                         --gzip\n"
    "  palette OUT [grey|spectrum]\n"
    "                         write a 256-colour palette file OUT: a grey ramp (the\n"
    "                         default) or a hue spectrum\n"
    "  font OUT [SCALE]       write a bitmap font OUT (\".fon\") from the built-in 8x8\n"
    "                         glyphs, each glyph pixel SCALE pixels square (1 to 8, default 1)\n"
    "  c3d OUT grid|scenery|car|medium-car\n"
    "                         write a generated DK3D file OUT (\".c3d\"): a 3x3 track block\n"
    "                         grid, scenery of fixed models and actors, or a car with\n"
    "                         its wheels (ids 1-4), id-5 dummy, damageable parts (ids 6-16,\n"
    "                         6-14 for the medium-detail car) and id-111 main body\n"
    "  seeds DIR              write seed inputs for the fuzz targets, DIR/<target>/\n"
    "  ground NAME DIR        write the generated test ground NAME into DIR: its height data\n"
    "                         (NAME.hpc), trigger lines (NAME.dat), track objects (NAME.obj)\n"
    "                         and scripted moving objects (NAME.moj); NAME is flat-tarmac,\n"
    "                         tilted-plane, bumpy-gravel, crest, side-ramp, bridge,\n"
    "                         snow-water-sea or vertical-triangle\n"
    "  stage DIR              write the demo stage into DIR: track (demo.c3d), scenery\n"
    "                         (demo.obj), shadow casters (demo.sht), sky (demo.hzn), height\n"
    "                         data (demo.hpc) and trigger lines (demo.dat)\n"
    "  tsc OUT CAMERA...      write a stage's track cameras OUT (\".tsc\"), each CAMERA\n"
    "                         X,Y,Z,KIND[,LINK]: its point, its kind 0 to 6 and, for kind 2,\n"
    "                         the cat's eye it looks along (default 0)\n"
    "  csp OUT PLACE PLACE [PLACE PLACE]\n"
    "                         write a stage's start positions OUT (\".csp\"), each PLACE\n"
    "                         X,Y,Z,AX,AY,AZ: car 1's and car 2's point and angles (4096 a\n"
    "                         turn); a second pair is the set for the stage run in reverse\n"
    "  help                   show this text\n";

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "dezor-datakit: %s\n\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

int Install(const std::string& dir)
{
    datakit::InstallSummary summary = datakit::InstallDemo(dir);
    std::printf("Demo installation written to %s\n", summary.root.c_str());
    std::printf("  drive C: %s (hard-disk root C:\\Dezor)\n", (summary.root / "c").c_str());
    std::printf("  drive D: %s (game disc)\n", (summary.root / "disc").c_str());
    std::printf("  directories:\n");
    for (const auto& dir : summary.directories)
        std::printf("    %s/\n", dir.lexically_relative(summary.root).c_str());
    std::printf("  files:\n");
    for (const auto& file : summary.files)
        std::printf("    %s\n", file.lexically_relative(summary.root).c_str());
    std::printf("Before running the game, export:\n  DEZOR_REGISTRY=%s\n",
                summary.registryFile.c_str());
    return kExitOk;
}

int Dkpr(bool compressed, const std::string& in, const std::string& out)
{
    std::vector<uint8_t> data = datakit::ReadFileBytes(in);
    datakit::WriteDkprFile(out, data, compressed);
    std::printf("%s: %zu data bytes, %s\n", out.c_str(), data.size(),
                compressed ? "DKPR gzip" : "DKPR plain");
    return kExitOk;
}

int Palette(const std::string& out, const std::string& kind)
{
    datakit::WritePaletteFile(out, kind == "spectrum" ? datakit::SpectrumPalette()
                                                      : datakit::GreyPalette());
    std::printf("%s: 256-colour %s palette\n", out.c_str(), kind.c_str());
    return kExitOk;
}

int Font(const std::string& out, int scale)
{
    datakit::FontStyle style;
    style.scale = scale;
    datakit::WriteImageFile(out, datakit::FormatFont(style));
    std::printf("%s: font with %d-pixel glyph pixels\n", out.c_str(), scale);
    return kExitOk;
}

int C3d(const std::string& out, const std::string& kind)
{
    const datakit::C3dScene scene = kind == "grid"      ? datakit::C3dBlockGrid({})
                                    : kind == "scenery" ? datakit::C3dScenery(2, 2)
                                    : kind == "medium-car"
                                        ? datakit::C3dCar(datakit::C3dCarParts::Medium)
                                        : datakit::C3dCar();
    datakit::WriteFileAtomically(out, datakit::FormatC3d(scene));
    std::printf("%s: DK3D %s, %zu objects, %zu shapes, %zu textures\n", out.c_str(), kind.c_str(),
                scene.objects.size(), scene.shapes.size(), scene.textures.size());
    return kExitOk;
}

int WriteGround(const std::string& name, const std::string& dir)
{
    const datakit::Ground ground = datakit::MakeGround(name);
    const datakit::GroundFiles files = datakit::WriteGround(ground, dir);
    const auto& nodes = files.grid.nodes;
    std::printf("%s: %s\n", name.c_str(), ground.description.c_str());
    std::printf("%s: %zu triangles, cells on levels 0 to 4: %d %d %d %d %d\n",
                files.heights.c_str(), files.triangles, nodes[0], nodes[1], nodes[2], nodes[3],
                nodes[4]);
    std::printf("%s: %zu lines in %zu records\n", files.lines.c_str(), ground.lines.size(),
                files.records);
    std::printf("%s: %zu objects\n", files.objects.c_str(), datakit::GroundObjects().size());
    std::printf("%s: %zu scripted objects\n", files.scripted.c_str(),
                datakit::GroundScriptedObjects(ground).size());
    return kExitOk;
}

int WriteStage(const std::string& dir)
{
    const datakit::DemoStageFiles files = datakit::WriteDemoStage(dir);
    std::printf("Demo stage written to %s:\n", dir.c_str());
    for (const auto& file : files.All())
        std::printf("  %s\n", file.filename().c_str());
    return kExitOk;
}

// A comma-separated list of numbers; false when an item is not a finite number.
bool ParseNumbers(const std::string& text, std::vector<double>* pOut)
{
    pOut->clear();
    size_t at = 0;
    while (true)
    {
        const size_t end = text.find(',', at);
        const std::string item = text.substr(at, end == std::string::npos ? end : end - at);
        char* pEnd = nullptr;
        errno = 0;
        const double v = std::strtod(item.c_str(), &pEnd);
        if (item.empty() || *pEnd != '\0' || errno != 0 || !std::isfinite(v))
            return false;
        pOut->push_back(v);
        if (end == std::string::npos)
            return true;
        at = end + 1;
    }
}

bool WholeNumber(double v)
{
    return v == std::floor(v) && std::abs(v) < 1e9;
}

int TrackCameras(const std::string& out, const std::vector<std::string>& items)
{
    std::vector<datakit::TrackCamera> cameras;
    std::vector<double> v;
    for (const std::string& item : items)
    {
        if (!ParseNumbers(item, &v) || v.size() < 4 || v.size() > 5 || !WholeNumber(v[3]) ||
            (v.size() == 5 && !WholeNumber(v[4])))
            return Usage("a track camera is X,Y,Z,KIND[,LINK], not '" + item + "'");
        datakit::TrackCamera c;
        c.x = v[0];
        c.y = v[1];
        c.z = v[2];
        c.kind = static_cast<int>(v[3]);
        c.link = v.size() == 5 ? static_cast<int>(v[4]) : 0;
        cameras.push_back(c);
    }
    datakit::WriteFileAtomically(out, datakit::FormatTrackCameras(cameras));
    std::printf("%s: %zu track cameras\n", out.c_str(), cameras.size());
    return kExitOk;
}

int StartPositions(const std::string& out, const std::vector<std::string>& items)
{
    std::vector<datakit::StartSet> sets(items.size() / 2);
    std::vector<double> v;
    for (size_t i = 0; i < items.size(); ++i)
    {
        if (!ParseNumbers(items[i], &v) || v.size() != 6 || !WholeNumber(v[3]) ||
            !WholeNumber(v[4]) || !WholeNumber(v[5]))
            return Usage("a start position is X,Y,Z,AX,AY,AZ, not '" + items[i] + "'");
        datakit::StartPosition& p = sets[i / 2][i % 2];
        p.x = v[0];
        p.y = v[1];
        p.z = v[2];
        p.angles = {static_cast<int>(v[3]), static_cast<int>(v[4]), static_cast<int>(v[5])};
    }
    datakit::WriteFileAtomically(out, datakit::FormatStartPositions(sets));
    std::printf("%s: %zu start position set%s\n", out.c_str(), sets.size(),
                sets.size() == 1 ? "" : "s");
    return kExitOk;
}

int Run(const std::vector<std::string>& args)
{
    if (args.empty())
        return Usage("no command given");
    const std::string& command = args[0];
    if (command == "help" || command == "--help" || command == "-h")
    {
        if (args.size() != 1)
            return Usage("help takes no arguments");
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "install")
    {
        if (args.size() != 2 || args[1].empty())
            return Usage("install takes one directory");
        return Install(args[1]);
    }
    if (command == "dkpr")
    {
        bool compressed = args.size() == 4 && args[1] == "--gzip";
        size_t first = compressed ? 2 : 1;
        if (args.size() != first + 2 || args[first].empty() || args[first + 1].empty() ||
            args[first].starts_with("-") || args[first + 1].starts_with("-"))
            return Usage("dkpr takes [--gzip] IN OUT");
        return Dkpr(compressed, args[first], args[first + 1]);
    }
    if (command == "palette")
    {
        std::string kind = args.size() == 3 ? args[2] : "grey";
        if (args.size() < 2 || args.size() > 3 || args[1].empty() || args[1].starts_with("-") ||
            (kind != "grey" && kind != "spectrum"))
            return Usage("palette takes OUT [grey|spectrum]");
        return Palette(args[1], kind);
    }
    if (command == "font")
    {
        const std::string scale = args.size() == 3 ? args[2] : "1";
        if (args.size() < 2 || args.size() > 3 || args[1].empty() || args[1].starts_with("-") ||
            scale.size() != 1 || scale[0] < '1' || scale[0] > '8')
            return Usage("font takes OUT [SCALE], SCALE 1 to 8");
        return Font(args[1], scale[0] - '0');
    }
    if (command == "c3d")
    {
        if (args.size() != 3 || args[1].empty() || args[1].starts_with("-") ||
            (args[2] != "grid" && args[2] != "scenery" && args[2] != "car" &&
             args[2] != "medium-car"))
            return Usage("c3d takes OUT grid|scenery|car|medium-car");
        return C3d(args[1], args[2]);
    }
    if (command == "seeds")
    {
        if (args.size() != 2 || args[1].empty() || args[1].starts_with("-"))
            return Usage("seeds takes one directory");
        datakit::WriteFuzzSeeds(args[1]);
        std::printf("Fuzz seeds written to %s\n", args[1].c_str());
        return kExitOk;
    }
    if (command == "ground")
    {
        if (args.size() != 3 || args[2].empty() || args[2].starts_with("-"))
            return Usage("ground takes NAME DIR");
        const std::vector<std::string> names = datakit::GroundNames();
        if (std::find(names.begin(), names.end(), args[1]) == names.end())
            return Usage("no ground named '" + args[1] + "'");
        return WriteGround(args[1], args[2]);
    }
    if (command == "stage")
    {
        if (args.size() != 2 || args[1].empty() || args[1].starts_with("-"))
            return Usage("stage takes one directory");
        return WriteStage(args[1]);
    }
    if (command == "tsc")
    {
        if (args.size() < 3 || args[1].empty() || args[1].starts_with("-"))
            return Usage("tsc takes OUT and one or more cameras");
        return TrackCameras(args[1], {args.begin() + 2, args.end()});
    }
    if (command == "csp")
    {
        if ((args.size() != 4 && args.size() != 6) || args[1].empty() || args[1].starts_with("-"))
            return Usage("csp takes OUT and two or four places");
        return StartPositions(args[1], {args.begin() + 2, args.end()});
    }
    return Usage("unknown command '" + command + "'");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try
    {
        return Run(args);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "dezor-datakit: %s\n", e.what());
        return kExitFailure;
    }
}
