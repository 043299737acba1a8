// Movies written by dezor-datakit, played into the display under the dummy video driver; what
// reached the screen is read back from the captured frames.

#include "engine/pc/movies/dk_video.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/ddraw/ddraw.h"
#include "platform/movie/movie.h"
#include "platform/time/time.h"
#include "platform/win/input_script.h"
#include "platform/win/keys.h"
#include "platform/win/win_internal.h"
#include "tests/support/engine_test.h"
#include "tests/support/png_read.h"
#include "tools/datakit/avi_writer.h"
#include "tools/datakit/palette_writer.h"
#include "tools/datakit/wave_writer.h"

namespace fs = std::filesystem;

namespace
{

constexpr uint8_t kRed[3] = {255, 0, 0};
constexpr uint8_t kBlue[3] = {0, 0, 255};
constexpr uint8_t kGreen[3] = {0, 255, 0};
constexpr uint8_t kYellow[3] = {255, 255, 0};
constexpr int kMovieFrames = 6;
constexpr int kMovieFps = 25;

// Six frames at 25 a second: red over blue, and at the end green over yellow; with a tone.
datakit::AviMovie TestMovie()
{
    datakit::AviMovie movie;
    movie.width = 32;
    movie.height = 24;
    movie.framesPerSecond = kMovieFps;
    for (int f = 0; f < kMovieFrames; ++f)
        movie.frames.push_back(f + 1 < kMovieFrames
                                   ? datakit::TwoColourFrame(32, 24, 12, kRed, kBlue)
                                   : datakit::TwoColourFrame(32, 24, 12, kGreen, kYellow));
    movie.sound = datakit::Tone(440.0, 22050 * kMovieFrames / kMovieFps, 22050, 8000);
    return movie;
}

struct Image
{
    std::vector<BYTE> rgb;
    DWORD width = 0, height = 0;
    const BYTE* At(int x, int y) const
    {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

class MovieTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DkMarkDirectDrawForRelease();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(1024 * 1024);
        DkResetDataPathsForTests();
        ASSERT_TRUE(InitGameWindow(nullptr, &ghWnd, "Movie Test", DefWindowProcA));
        gfIsActive = TRUE;
        WinInputScriptClear();
        datakit::WriteAviFile(env.DriveC() + "/movie.avi", TestMovie());
    }
    void TearDown() override
    {
        unsetenv("DEZOR_CAPTURE");
        WinInputScriptClear();
        WinKeysReset();
        CaptureOutput(
            []
            {
                DkDestroyDisplay();
                DkCallAllDestructors();
            });
        EXPECT_EQ(DdLiveObjects(), 0);
        EXPECT_EQ(MovieOpenDevices(), 0);
        gfIsActive = FALSE;
        LoggedTest::TearDown();
    }

    void Display(uint32_t flags, const char* palette = "c:\\none.pal")
    {
        output +=
            CaptureOutput([&] { DkInitialiseDisplay(nullptr, 0, palette, flags, DKLF_AS_GIVEN); });
        ASSERT_NE(d2d, nullptr);
        ASSERT_EQ(d2d->nWidth, 320);
    }

    // Plays and returns the milliseconds it took.
    DWORD Play(const char* name, const DK_RECT* rect, int kind = DKLF_AS_GIVEN)
    {
        DWORD start = timeGetTime();
        output += CaptureOutput([&] { DkPlayMovieInWindow(name, rect, kind); });
        return timeGetTime() - start;
    }

    void ExpectNothingOpen()
    {
        EXPECT_EQ(MovieOpenDevices(), 0);
        EXPECT_EQ(mciGetDeviceIDA("avivideo"), 0u);
        EXPECT_FALSE(DkIsMovieOpen());
        EXPECT_FALSE(DkIsMoviePlaying());
    }

    // Nothing the movie sent is left in the queue for a later one.
    void ExpectNoLateNotification()
    {
        DWORD until = timeGetTime() + 300;
        MSG msg;
        while (timeGetTime() < until)
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                EXPECT_NE(msg.message, static_cast<UINT>(MM_MCINOTIFY));
    }

    Image LastCapture(const std::string& dir)
    {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(dir))
            files.push_back(entry.path().string());
        Image image;
        if (files.empty())
        {
            ADD_FAILURE() << "no frame was captured";
            return image;
        }
        std::sort(files.begin(), files.end());
        EXPECT_TRUE(DecodePng(ReadWholeFile(files.back()), image.rgb, image.width, image.height));
        return image;
    }

    std::string output;
};

void ExpectColour(const Image& image, int x, int y, const uint8_t (&want)[3], int tolerance)
{
    const BYTE* got = image.At(x, y);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], want[i], tolerance) << "(" << x << ", " << y << ") channel " << i;
}

TEST_F(MovieTest, AMoviePlaysToItsEndIntoTheRectangle)
{
    datakit::WritePaletteFile(env.DriveC() + "/spectrum.pal", datakit::SpectrumPalette());
    constexpr uint8_t kBlack[3] = {0, 0, 0};
    struct Case
    {
        const char* what;
        uint32_t flags;
        DK_RECT rect;
        int tolerance;
    };
    const Case cases[] = {
        {"16-bit, whole screen", DKID_16BIT, {0, 0, 320, 240}, 8},
        {"16-bit, a window", DKID_16BIT, {40, 20, 160, 120}, 8},
        {"8-bit through the palette", DKID_8BIT, {0, 0, 320, 240}, 48},
    };
    int n = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Display(c.flags, "c:\\spectrum.pal");
        std::string dir = env.Path("capture" + std::to_string(n++));
        fs::create_directories(dir);
        setenv("DEZOR_CAPTURE", dir.c_str(), 1);
        int before = DdFramesPresented();
        DWORD took = Play("c:\\movie.avi", &c.rect);
        unsetenv("DEZOR_CAPTURE");
        EXPECT_GE(took, 1000u * (kMovieFrames - 1) / kMovieFps) << "it played to its end";
        // Frames that fall due while an earlier one is drawn are passed over, so on a loaded
        // machine the last may be the only one shown after the first.
        EXPECT_GE(DdFramesPresented() - before, 1) << "its frames were presented";
        EXPECT_EQ(CountReports(output), 0) << output;
        ExpectNothingOpen();

        // The last frame is on the screen, inside the rectangle.
        Image shot = LastCapture(dir);
        ASSERT_EQ(shot.width, 320u);
        int top = c.rect.y + c.rect.h / 4, bottom = c.rect.y + c.rect.h * 3 / 4;
        int middle = c.rect.x + c.rect.w / 2;
        ExpectColour(shot, middle, top, kGreen, c.tolerance);
        ExpectColour(shot, middle, bottom, kYellow, c.tolerance);
        if (c.rect.x > 0)
        {
            ExpectColour(shot, c.rect.x - 2, top, kBlack, 0);
            ExpectColour(shot, c.rect.x + c.rect.w + 2, bottom, kBlack, 0);
        }
        CaptureOutput([] { DkDestroyDisplay(); });
        output.clear();
    }
}

TEST_F(MovieTest, TheLoadKindPutsARootInFront)
{
    Display(DKID_16BIT);
    DkSetHardDrivePath("c:\\");
    DK_RECT rect{0, 0, 320, 240};
    int before = DdFramesPresented();
    Play("\\movie.avi", &rect, DKLF_HARDDRIVE);
    EXPECT_EQ(CountReports(output), 0) << output;
    EXPECT_GE(DdFramesPresented() - before, 1);
    ExpectNothingOpen();
}

TEST_F(MovieTest, ReturnOrEscapeInTheFirstPassEndsItAtOnce)
{
    Display(DKID_16BIT);
    DK_RECT rect{0, 0, 320, 240};
    for (int key : {VK_ESCAPE, VK_RETURN})
    {
        WinKeyEvent(key, TRUE);
        int before = DdFramesPresented();
        Play("c:\\movie.avi", &rect);
        WinKeyEvent(key, FALSE);
        EXPECT_LE(DdFramesPresented() - before, 1) << "no more than the first frame";
        EXPECT_EQ(CountReports(output), 0) << output;
        ExpectNothingOpen();
        ExpectNoLateNotification();
        EXPECT_NE(Log().find("avi driver initialised\r\n"), std::string::npos);
        ASSERT_TRUE(DkOpenLogFile("c:\\error.txt"));
    }
}

TEST_F(MovieTest, AFileThatDoesNotOpenReturnsAtOnce)
{
    Display(DKID_16BIT);
    WriteWholeFile(env.DriveC() + "/junk.avi", "RIFF\x10\0\0\0AVI junk and more junk");
    DK_RECT rect{0, 0, 320, 240};
    for (const char* name : {"c:\\missing.avi", "c:\\junk.avi", "q:\\movie.avi"})
    {
        output.clear();
        int before = DdFramesPresented();
        Play(name, &rect);
        EXPECT_EQ(DdFramesPresented(), before) << name;
        EXPECT_TRUE(Reported(output, std::string("Cannot open Movie - '") + name + "'")) << output;
        ExpectNothingOpen();
    }
}

TEST_F(MovieTest, WhileInactiveThePlayerWaitsForMessagesAndIgnoresKeys)
{
    Display(DKID_16BIT);
    DK_RECT rect{0, 0, 320, 240};
    gfIsActive = FALSE;
    WinKeyEvent(VK_ESCAPE, TRUE);
    int before = DdFramesPresented();
    DWORD took = Play("c:\\movie.avi", &rect);
    WinKeyEvent(VK_ESCAPE, FALSE);
    EXPECT_GE(took, 1000u * (kMovieFrames - 1) / kMovieFps) << "Escape was not taken";
    // A loaded machine may drop all but one frame; the movie was shown all the same.
    EXPECT_GE(DdFramesPresented() - before, 1);
    EXPECT_EQ(CountReports(output), 0) << output;
    ExpectNothingOpen();
}

TEST_F(MovieTest, SpacePausesWhenPressedAndResumesWhenPressedAgain)
{
    Display(DKID_16BIT);
    DK_RECT rect{0, 0, 320, 240};
    // Held from 40 ms to 700 ms: one pause, not one toggle a pass; a second press at 1,000 ms
    // resumes the 240 ms movie. Each press is held long enough to be seen by a player loop
    // that a busy machine slows down. Escape at 20 s only keeps a broken player from hanging.
    ASSERT_TRUE(WinInputScriptLoadText(
        "40 down SPACE\n700 up SPACE\n1000 down SPACE\n1400 up SPACE\n20000 down ESCAPE\n"));
    WinInputScriptStart();
    DWORD took = Play("c:\\movie.avi", &rect);
    EXPECT_GE(took, 1000u) << "it stayed paused while Space was held";
    EXPECT_FALSE(GetAsyncKeyState(VK_ESCAPE) & 0x8000) << "the movie ended by itself";
    EXPECT_EQ(CountReports(output), 0) << output;
    ExpectNothingOpen();
}

TEST_F(MovieTest, OpeningAndClosingAMovieRepaintTheWindow)
{
    auto paintQueued = []
    {
        MSG msg;
        return PeekMessageA(&msg, ghWnd, WM_PAINT, WM_PAINT, PM_REMOVE) != FALSE;
    };
    while (paintQueued())
    {
    }
    output = CaptureOutput([] { EXPECT_FALSE(DkOpenMovie(ghWnd, "c:\\missing.avi")); });
    EXPECT_FALSE(paintQueued()) << "a movie that did not open leaves the window alone";
    ASSERT_TRUE(DkOpenMovie(ghWnd, "c:\\movie.avi"));
    EXPECT_TRUE(paintQueued());
    DkCloseMovieDevice(ghWnd);
    EXPECT_TRUE(paintQueued());
    DkCloseMovieDevice(ghWnd);
    EXPECT_FALSE(paintQueued()) << "nothing was open";
    ExpectNothingOpen();
}

TEST_F(MovieTest, TheMovieStepsReportMisuse)
{
    struct Case
    {
        const char* what;
        void (*call)();
        const char* report;
    };
    const Case cases[] = {
        {"play with nothing open", [] { DkPlayMovie(ghWnd); },
         "failed to send play command to device"},
        {"open twice",
         []
         {
             DkOpenMovie(ghWnd, "c:\\movie.avi");
             DkOpenMovie(ghWnd, "c:\\movie.avi");
         },
         "Movie open"},
        {"play twice",
         []
         {
             DkPlayMovie(ghWnd);
             DkPlayMovie(ghWnd);
         },
         "failed to send play command to device"},
    };
    for (const Case& c : cases)
    {
        output = CaptureOutput(c.call);
        EXPECT_TRUE(Reported(output, c.report)) << c.what << "\n" << output;
    }
    EXPECT_EQ(MovieOpenDevices(), 1) << "the second open closed the first";
    DkToggleMoviePause();
    EXPECT_FALSE(DkIsMoviePlaying());
    DkToggleMoviePause();
    EXPECT_TRUE(DkIsMoviePlaying());
    DkRewindMovie();
    EXPECT_FALSE(DkIsMoviePlaying());
    DkCloseMovie();
    ExpectNothingOpen();
}

} // namespace
