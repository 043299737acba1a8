// What the scene frame's tests share: the demo stage written once for the test program and
// loaded onto a headless display for each test (tools/bench/stage_frame), the renderer's frame
// switches put back afterwards, and the drawing area read back.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "platform/d3d/d3d.h"
#include "tests/support/engine_test.h"
#include "tools/bench/stage_frame.h"

class StageTest : public LoggedTest
{
protected:
    // The stage and its images are written once for the program, into a directory of its own.
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/dezor-stage-XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            DataDir() = pattern;
        CaptureOutput([] { stage::WriteData(DataDir()); });
    }
    static void TearDownTestSuite()
    {
        std::error_code ec;
        std::filesystem::remove_all(DataDir(), ec);
    }
    static std::string& DataDir()
    {
        static std::string dir;
        return dir;
    }

    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DkSetCDPath(DataDir().c_str());
        DkResetSamplePointsForTests();
    }
    void TearDown() override
    {
        D3dStopCallLog();
        output += CaptureOutput([] { stage::CloseDisplay(); });
        gxObjectClipDistance = 100 << 16;
        gxHorizonDistance = 500 << 16;
        gxNearObjectDistance = 0x70000;
        gboBlendNearObjects = FALSE;
        gboDrawOverlaysInScene = TRUE;
        gboActorTintLighting = 0;
        gboCarVertexLighting = 0;
        DkSetUse3DBitmaps(0);
        DkSetC3dLoadOption(0);
        DkSetDrawAllTrackBlocks(0);
        DkResetSamplePointsForTests();
        DkResetDataPathsForTests();
        LoggedTest::TearDown();
    }

    // A 320x240 display of the given depth with the stage loaded on it, by day or night, drawn
    // into the area at its top left (the whole display without one).
    bool Open(int bits = 16, bool night = false, int areaWidth = 0, int areaHeight = 0,
              int threads = 0)
    {
        stage::DisplayOptions options;
        options.width = 320;
        options.height = 240;
        options.bits = bits;
        options.threads = threads;
        std::string problem;
        bool ok = false;
        output += CaptureOutput([&] { ok = stage::OpenDisplay(options, &problem); });
        if (ok)
            output += CaptureOutput([&] { ok = stage::LoadStage(night, &s, &problem); });
        if (!ok)
        {
            ADD_FAILURE() << problem << output;
            return false;
        }
        if (areaWidth > 0)
            s.area = {0, 0, static_cast<int16_t>(areaWidth), static_cast<int16_t>(areaHeight)};
        return true;
    }

    // The car at z with a frame's extras queued.
    void At(double z, bool boSurfaceBlit = false)
    {
        stage::MoveAlongRoad(s, z);
        stage::QueueExtras(s, boSurfaceBlit);
    }

    // The drawing area as RGB rows.
    std::vector<uint8_t> Area() const
    {
        const std::vector<uint8_t> all = stage::BackRgb();
        std::vector<uint8_t> rgb;
        for (int y = s.area.y; y < s.area.y + s.area.h; ++y)
        {
            const auto row = all.begin() + (static_cast<ptrdiff_t>(y) * d2d->nWidth + s.area.x) * 3;
            rgb.insert(rgb.end(), row, row + s.area.w * 3);
        }
        return rgb;
    }

    stage::Stage s;
    std::string output;
};
