// The movie device through its command interface: the driver, opening files, playing with
// the end-of-play notification, pausing, and the sound that goes to the mixer.

#include "platform/movie/movie.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/qmix/qmix.h"
#include "platform/time/time.h"
#include "platform/win/win.h"
#include "tests/support/test_env.h"
#include "tools/datakit/avi_writer.h"
#include "tools/datakit/wave_writer.h"

namespace
{

constexpr int kFrames = 5;
constexpr int kFps = 25;
// The movie with sound lasts 2 s: its sound must still be playing after a slow start.
constexpr int kSoundFrames = 50;

datakit::AviMovie Movie(bool sound)
{
    const int frames = sound ? kSoundFrames : kFrames;
    const uint8_t grey[3] = {90, 90, 90};
    datakit::AviMovie movie;
    movie.width = 16;
    movie.height = 16;
    movie.framesPerSecond = kFps;
    for (int f = 0; f < frames; ++f)
        movie.frames.push_back(datakit::TwoColourFrame(16, 16, 8, grey, grey));
    if (sound)
        movie.sound = datakit::Tone(441.0, 22050 * frames / kFps, 22050, 12000);
    return movie;
}

class MovieDeviceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "MovieDeviceTest";
        ASSERT_NE(RegisterClassA(&wc), 0);
        hWnd = CreateWindowExA(0, "MovieDeviceTest", "Movie", WS_CAPTION, 0, 0, 320, 240, nullptr,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(hWnd, nullptr);
        datakit::WriteAviFile(env.DriveC() + "/sound.avi", Movie(true));
        datakit::WriteAviFile(env.DriveC() + "/silent.avi", Movie(false));
    }
    void TearDown() override
    {
        QmixUseLoopbackForTests(FALSE);
        DestroyWindow(hWnd);
        UnregisterClassA("MovieDeviceTest", nullptr);
        EXPECT_EQ(MovieOpenDevices(), 0);
        EXPECT_EQ(QmixLiveSessions(), 0);
    }

    MCIERROR Open(const char* name, MCIDEVICEID& id)
    {
        MCI_ANIM_OPEN_PARMSA open{};
        open.lpstrElementName = name;
        open.hWndParent = hWnd;
        MCIERROR error =
            mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_ANIM_OPEN_WS | MCI_ANIM_OPEN_PARENT,
                            reinterpret_cast<DWORD_PTR>(&open));
        id = open.wDeviceID;
        return error;
    }

    MCIERROR Play(MCIDEVICEID id, bool notify)
    {
        MCI_PLAY_PARMS play{};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(hWnd);
        return mciSendCommandA(id, MCI_PLAY, notify ? MCI_NOTIFY : 0,
                               reinterpret_cast<DWORD_PTR>(&play));
    }

    // Pumps until the notification comes (or a generous time has passed); its message.
    MSG WaitForNotification(DWORD limitMs = 10000)
    {
        MSG msg{};
        DWORD until = timeGetTime() + limitMs;
        while (timeGetTime() < until)
        {
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == MM_MCINOTIFY)
                return msg;
        }
        ADD_FAILURE() << "no notification";
        return MSG{};
    }

    TestEnv env;
    HWND hWnd = nullptr;
};

TEST_F(MovieDeviceTest, TheDriverOpensOnceAndClosesByItsName)
{
    MCI_ANIM_OPEN_PARMSA open{};
    open.lpstrDeviceType = "avivideo";
    ASSERT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open)), 0u);
    MCIDEVICEID driver = mciGetDeviceIDA("AVIVideo");
    EXPECT_EQ(driver, open.wDeviceID);
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open)),
              static_cast<MCIERROR>(MCIERR_DEVICE_OPEN));
    open.lpstrDeviceType = "cdaudio";
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open)),
              static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_NAME));
    EXPECT_EQ(mciSendCommandA(driver, MCI_PLAY, 0, 0),
              static_cast<MCIERROR>(MCIERR_UNRECOGNIZED_COMMAND));
    EXPECT_EQ(mciSendCommandA(driver, MCI_CLOSE, 0, 0), 0u);
    EXPECT_EQ(mciGetDeviceIDA("avivideo"), 0u);
    EXPECT_EQ(mciSendCommandA(driver, MCI_CLOSE, 0, 0),
              static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
}

TEST_F(MovieDeviceTest, FilesThatCannotPlayAreRefused)
{
    WriteWholeFile(env.DriveC() + "/junk.avi", std::string(600, 'x'));
    datakit::WriteWaveFile(env.DriveC() + "/sound.wav", datakit::Tone(440, 2000, 22050, 9000),
                           22050);
    struct Case
    {
        const char* name;
        MCIERROR error;
    };
    for (Case c :
         {Case{"c:\\absent.avi", MCIERR_FILE_NOT_FOUND},
          Case{"z:\\sound.avi", MCIERR_FILE_NOT_FOUND}, Case{"c:\\junk.avi", MCIERR_INVALID_FILE},
          Case{"c:\\sound.wav", MCIERR_INVALID_FILE}})
    {
        MCIDEVICEID id = 0;
        EXPECT_EQ(Open(c.name, id), c.error) << c.name;
        EXPECT_EQ(MovieOpenDevices(), 0) << c.name;
    }
}

TEST_F(MovieDeviceTest, PlayNotifiesItsWindowAtTheEndAndPausingHoldsIt)
{
    MCIDEVICEID id = 0;
    ASSERT_EQ(Open("c:\\silent.avi", id), 0u);
    EXPECT_EQ(mciGetDeviceIDA("c:\\silent.avi"), id);
    DWORD start = timeGetTime();
    ASSERT_EQ(Play(id, true), 0u);
    EXPECT_TRUE(MovieAnyPlaying());
    // Paused for 400 ms after the first pump: the 200 ms movie ends no sooner than 600 ms.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    ASSERT_EQ(mciSendCommandA(id, MCI_PAUSE, 0, 0), 0u);
    DWORD pausedAt = timeGetTime();
    while (timeGetTime() - pausedAt < 400)
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE));
    ASSERT_EQ(Play(id, false), 0u) << "resumes and keeps the notification asked for";
    msg = WaitForNotification();
    EXPECT_GE(timeGetTime() - start, 600u);
    EXPECT_EQ(msg.hwnd, hWnd);
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
    EXPECT_EQ(msg.lParam, static_cast<LPARAM>(id));
    EXPECT_FALSE(MovieAnyPlaying());
    EXPECT_EQ(MovieMixerForTests(id), nullptr) << "a silent movie opens no mixer";

    // Played again from its end, it starts over.
    ASSERT_EQ(Play(id, true), 0u);
    msg = WaitForNotification();
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
    EXPECT_EQ(mciSendCommandA(id, MCI_CLOSE, 0, 0), 0u);
}

TEST_F(MovieDeviceTest, ClosingTakesBackANotificationStillInTheQueue)
{
    MCIDEVICEID first = 0, second = 0;
    ASSERT_EQ(Open("c:\\silent.avi", first), 0u);
    ASSERT_EQ(Play(first, true), 0u);
    MSG ended = WaitForNotification();
    ASSERT_EQ(ended.message, static_cast<UINT>(MM_MCINOTIFY));

    // Both movies have reached their end and posted; nobody has taken the messages yet.
    ASSERT_EQ(Open("c:\\silent.avi", second), 0u);
    ASSERT_EQ(Play(first, true), 0u);
    ASSERT_EQ(Play(second, true), 0u);
    Sleep(400);
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // pumps the devices
    EXPECT_FALSE(MovieAnyPlaying());

    EXPECT_EQ(mciSendCommandA(first, MCI_CLOSE, 0, 0), 0u);
    std::vector<LPARAM> left;
    while (PeekMessageA(&msg, nullptr, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE))
        left.push_back(msg.lParam);
    EXPECT_EQ(left, std::vector<LPARAM>{static_cast<LPARAM>(second)});
    EXPECT_EQ(mciSendCommandA(second, MCI_CLOSE, 0, 0), 0u);
}

TEST_F(MovieDeviceTest, TheSoundPlaysThroughTheMixer)
{
    QmixUseLoopbackForTests(TRUE);
    MCIDEVICEID id = 0;
    ASSERT_EQ(Open("c:\\sound.avi", id), 0u);
    ASSERT_EQ(Play(id, true), 0u);
    HQMIXER mixer = MovieMixerForTests(id);
    ASSERT_NE(mixer, nullptr);
    EXPECT_FALSE(QSWaveMixIsChannelDone(mixer, 0));
    std::vector<int16_t> out(2 * 2205);
    ASSERT_TRUE(QmixRenderForTests(mixer, out.data(), 2205));
    double sum = 0.0;
    for (int16_t s : out)
        sum += static_cast<double>(s) * s;
    EXPECT_GT(std::sqrt(sum / static_cast<double>(out.size())), 2000.0) << "the tone is heard";

    ASSERT_EQ(mciSendCommandA(id, MCI_PAUSE, 0, 0), 0u);
    EXPECT_TRUE(QSWaveMixIsChannelDone(mixer, 0)) << "pausing stops the sound";
    ASSERT_EQ(Play(id, false), 0u);
    EXPECT_FALSE(QSWaveMixIsChannelDone(mixer, 0)) << "and resuming starts it again";
    EXPECT_EQ(mciSendCommandA(id, MCI_CLOSE, 0, 0), 0u);
    EXPECT_EQ(QmixLiveSessions(), 0) << "closing the movie closes its mixer";
}

} // namespace
