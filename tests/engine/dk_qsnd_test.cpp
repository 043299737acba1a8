// The game's sound module on the mixer's loopback device: loading WAV files by number, playing
// them on channels, streams, the reports, and a machine without a sound device.

#include "engine/pc/sound/dk_qsnd.h"

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "platform/qmix/qmix.h"
#include "tests/support/engine_test.h"
#include "tools/datakit/wave_writer.h"

namespace
{

constexpr int kRate = 22050;

// A file of `size` bytes: header bytes of 0x11, then sample bytes of +10,000 up to the last
// 100 bytes, which hold -10,000 (they must never be heard).
std::string MarkedFile(size_t size)
{
    std::string file(size, '\x11');
    auto put = [&](size_t at, int16_t v)
    {
        file[at] = static_cast<char>(v & 0xFF);
        file[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    for (size_t at = 44; at + 1 < size; at += 2)
        put(at, at + 100 < size ? 10000 : -10000);
    return file;
}

class QSoundTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DkTempHeapInit(64 * 1024);
        DkHeapInit(1024 * 1024);
        QmixUseLoopbackForTests(TRUE);
    }
    void TearDown() override
    {
        CaptureOutput([] { DkCallAllDestructors(); });
        QmixUseLoopbackForTests(FALSE);
        QmixForceNoDeviceForTests(FALSE);
        EXPECT_EQ(QmixLiveSessions(), 0);
        LoggedTest::TearDown();
    }

    void Init()
    {
        std::string out = CaptureOutput([] { DkInitQSound(); });
        ASSERT_TRUE(DkIsQSoundInitialised());
        ASSERT_EQ(CountReports(out), 0) << out;
    }

    // Writes c:\<name> and loads it (16-bit mono, 22,050 Hz); returns the new count.
    int Load(const std::string& name, const std::string& bytes)
    {
        WriteWholeFile(env.DriveC() + "/" + name, bytes);
        std::string path = "c:\\" + name;
        int count = 0;
        output = CaptureOutput([&] { count = DkLoadQSample(path.c_str(), kRate, 16, 0); });
        return count;
    }

    int LoadAbsent(const std::string& name)
    {
        std::string path = "c:\\" + name;
        int count = 0;
        output = CaptureOutput([&] { count = DkLoadQSample(path.c_str(), kRate, 16, 0); });
        return count;
    }

    DWORD WaveBytes(int wave)
    {
        return QmixWaveBytesForTests(DkGetQSoundSession(), gaQWaves[wave].handle);
    }

    std::vector<int16_t> Render(int frames)
    {
        std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
        EXPECT_TRUE(QmixRenderForTests(DkGetQSoundSession(), out.data(), frames));
        return out;
    }

    std::string output;
};

TEST_F(QSoundTest, WavesLoadByNumberWithoutTheirHeaderAndTail)
{
    Init();
    struct Case
    {
        const char* what;
        size_t size; // 0: no file
        DWORD bytes; // 0: refused
        const char* report;
    };
    const Case cases[] = {
        {"1,000 bytes", 1000, 856, nullptr},
        {"one sample", 146, 2, nullptr},
        {"half a sample", 145, 0,
         "DkLoadQSample - Error - Wave File c:\\w2.wav not loaded properly"},
        {"header and tail only", 144, 0,
         "DkLoadQSample - Error - Wave File c:\\w3.wav not loaded properly"},
        {"shorter than the tail", 100, 0,
         "DkLoadQSample - Error - Wave File c:\\w4.wav not loaded properly"},
        {"shorter than the header", 20, 0,
         "DkLoadQSample - Error - Wave File c:\\w5.wav not loaded properly"},
        {"missing", 0, 0, "Can't find c:\\w6.wav"},
    };
    int n = 0;
    for (const Case& c : cases)
    {
        std::string name = "w" + std::to_string(n) + ".wav";
        EXPECT_EQ(DkGetNumQSamples(), n);
        int count = c.size != 0 ? Load(name, MarkedFile(c.size)) : LoadAbsent(name);
        ++n;
        EXPECT_EQ(count, n) << c.what << ": every load takes the next number";
        EXPECT_EQ(gaQWaves[n - 1].number, n - 1) << c.what;
        EXPECT_EQ(std::string(gaQWaves[n - 1].name), "c:\\" + name) << c.what;
        EXPECT_EQ(gaQWaves[n - 1].handle != nullptr, c.bytes != 0) << c.what;
        if (c.bytes != 0)
        {
            EXPECT_EQ(WaveBytes(n - 1), c.bytes) << c.what;
        }
        if (c.report != nullptr)
            EXPECT_TRUE(Reported(output, c.report)) << c.what << "\n" << output;
        else
            EXPECT_EQ(CountReports(output), 0) << c.what << "\n" << output;
    }
}

TEST_F(QSoundTest, TheTableHoldsMaxWavsWaves)
{
    Init();
    WriteWholeFile(env.DriveC() + "/w.wav", MarkedFile(200));
    for (int n = 0; n < MAX_WAVS; ++n)
        ASSERT_EQ(DkLoadQSample("c:\\w.wav", kRate, 16, 0), n + 1);
    output = CaptureOutput([] { EXPECT_EQ(DkLoadQSample("c:\\w.wav", kRate, 16, 0), MAX_WAVS); });
    EXPECT_TRUE(Reported(output, "wavs loaded > MAX_WAVS")) << output;
    output = CaptureOutput([] { DkSetUpQStream("c:\\w.wav"); });
    EXPECT_TRUE(Reported(output, "wavs loaded > MAX_WAVS")) << output;
    EXPECT_EQ(DkGetNumQSamples(), MAX_WAVS);
    output = CaptureOutput([] { DkFreeAllQSamples(); });
    EXPECT_EQ(CountReports(output), 0) << output;
}

TEST_F(QSoundTest, OnlyTheWaveBetweenHeaderAndTailIsHeard)
{
    Init();
    ASSERT_EQ(Load("w.wav", MarkedFile(1000)), 1);
    DkOpenQChannel(0);
    DkPlayQSample(0, 0, 0);
    EXPECT_TRUE(DkIsQChannelPlaying(0));
    EXPECT_TRUE(DkIsQSamplePlaying(0));
    std::vector<int16_t> out = Render(2000);
    int loud = 0, negative = 0;
    for (size_t i = 0; i < out.size(); i += 2)
    {
        loud += out[i] > 2000;
        negative += out[i] < -2000;
    }
    EXPECT_NEAR(loud, 428, 4) << "856 bytes are 428 samples";
    EXPECT_EQ(negative, 0) << "the tail is not played";
    EXPECT_FALSE(DkIsQChannelPlaying(0));
    EXPECT_FALSE(DkIsQSamplePlaying(0));
}

TEST_F(QSoundTest, PlayingChecksTheWaveAndTheChannel)
{
    Init();
    ASSERT_EQ(Load("good.wav", MarkedFile(1000)), 1);
    output = CaptureOutput([] { DkLoadQSample("c:\\absent.wav", kRate, 16, 0); });
    DkOpenQChannel(0);
    DkOpenQChannel(1);
    DkPlayQSample(0, 1, QMIX_LOOP_FOREVER);
    ASSERT_EQ(DkGetQChannelSampleId(1), 0);
    EXPECT_EQ(std::string(DkGetQChannelSampleName(1)), "c:\\good.wav");

    struct Case
    {
        int wave;
        int channel;
        const char* report;
    };
    const Case cases[] = {
        {1, 1, "DkPlayQSample - Error - Wave File 1 not loaded"},
        {-1, 1, "DkPlayQSample - Error - Wave File -1 not loaded"},
        {300, 1, "DkPlayQSample - Error - Wave File 300 not loaded"},
        {2, 1, "DkPlayQSample - Error - Wave File 2 not loaded"},
        {0, 30, "DkPlayQSample - Error - Channel 30 out of range"},
        {0, -1, "DkPlayQSample - Error - Channel -1 out of range"},
    };
    for (const Case& c : cases)
    {
        output = CaptureOutput([&] { DkPlayQSample(c.wave, c.channel, 0); });
        EXPECT_TRUE(Reported(output, c.report)) << output;
        output = CaptureOutput([&] { DkPlayQSampleEx(c.wave, c.channel, 0, 0, 0, 0, 0); });
        EXPECT_TRUE(Reported(output, c.report)) << output;
        EXPECT_EQ(DkGetQChannelSampleId(1), 0) << "the channel table is untouched";
        EXPECT_TRUE(DkIsQChannelPlaying(1)) << "the channel plays on";
    }
    EXPECT_EQ(DkGetQChannelSampleId(30), -1);
    EXPECT_EQ(std::string(DkGetQChannelSampleName(-1)), "");
}

TEST_F(QSoundTest, SamplePlayingLooksOnlyAtTheOpenedCount)
{
    Init();
    ASSERT_EQ(Load("w.wav", MarkedFile(1000)), 1);
    DkOpenQChannel(5); // one channel open, numbered 5
    EXPECT_EQ(DkGetNumQChannels(), 1);
    DkPlayQSample(0, 5, QMIX_LOOP_FOREVER);
    EXPECT_TRUE(DkIsQChannelPlaying(5));
    EXPECT_FALSE(DkIsQSamplePlaying(0)) << "channel 5 is at or above the open count";
    DkOpenQChannel(0);
    DkPlayQSample(0, 0, QMIX_LOOP_FOREVER);
    EXPECT_TRUE(DkIsQSamplePlaying(0));
    DkStopAllQChannels(); // channels 0 and 1 only
    EXPECT_FALSE(DkIsQChannelPlaying(0));
    EXPECT_TRUE(DkIsQChannelPlaying(5));
    DkFlushAllQChannels();
    EXPECT_FALSE(DkIsQChannelPlaying(5));
}

TEST_F(QSoundTest, ChannelSettingsReachTheMixer)
{
    Init();
    DkOpenQChannel(0);
    EXPECT_EQ(DkGetQChannelVolume(0), 32767);
    DkSetQChannelVolume(0, 12000);
    EXPECT_EQ(DkGetQChannelVolume(0), 12000);
    EXPECT_EQ(DkGetQChannelFrequency(0), kRate);
    DkSetQChannelFrequency(0, 11025);
    EXPECT_EQ(DkGetQChannelFrequency(0), 11025);

    struct Case
    {
        int azimuth, range, elevation;
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {-180, 0, -90, {}},
        {360, 32767, 90, {}},
        {-181, 0, 0, {"error - sample position out of range (-180 to 360)"}},
        {0, 32768, 0, {"error - sample range out of range (0 to 32767)"}},
        {0,
         -1,
         91,
         {"error - sample range out of range (0 to 32767)",
          "error - sample elevation out of range (-90 to 90)"}},
    };
    for (const Case& c : cases)
    {
        output = CaptureOutput([&] { DkSetQChannelPosition(0, c.azimuth, c.range, c.elevation); });
        EXPECT_EQ(CountReports(output), static_cast<int>(c.reports.size())) << output;
        for (const std::string& r : c.reports)
            EXPECT_TRUE(Reported(output, r)) << output;
    }
}

TEST_F(QSoundTest, FreedWavesAreNotFreedOrPlayedAgain)
{
    Init();
    ASSERT_EQ(Load("a.wav", MarkedFile(1000)), 1);
    ASSERT_EQ(Load("b.wav", MarkedFile(1000)), 2);
    output = CaptureOutput([] { DkLoadQSample("c:\\absent.wav", kRate, 16, 0); });
    DkOpenQChannel(0);
    DkPlayQSample(0, 0, QMIX_LOOP_FOREVER);
    output = CaptureOutput([] { DkFreeQSample(0); });
    EXPECT_EQ(CountReports(output), 0) << output;
    EXPECT_FALSE(DkIsQChannelPlaying(0)) << "a freed wave stops";
    output = CaptureOutput([] { DkPlayQSample(0, 0, 0); });
    EXPECT_TRUE(Reported(output, "DkPlayQSample - Error - Wave File 0 not loaded")) << output;
    output = CaptureOutput([] { DkFreeQSample(0); });
    EXPECT_TRUE(Reported(output, "DkFreeQSample - Error - Wave File not loaded")) << output;

    output = CaptureOutput([] { DkFreeAllQSamples(); });
    EXPECT_EQ(CountReports(output), 1) << "only the wave that never loaded is reported\n" << output;
    EXPECT_TRUE(Reported(output, "DkFreeAllQSamples - Error - Wave File not loaded"));
    EXPECT_EQ(DkGetNumQSamples(), 0);
    EXPECT_EQ(Load("c.wav", MarkedFile(1000)), 1) << "numbering starts again at 0";
    EXPECT_EQ(gaQWaves[0].number, 0);
}

TEST_F(QSoundTest, StreamsTakeTheNextNumberAndLoop)
{
    Init();
    std::vector<int16_t> tone = datakit::Tone(441.0, 6600, kRate, 12000);
    datakit::WriteWaveFile(env.DriveC() + "/music.wav", tone, kRate);
    ASSERT_EQ(Load("w.wav", MarkedFile(1000)), 1);
    output = CaptureOutput([] { DkSetUpQStream("c:\\music.wav"); });
    EXPECT_EQ(CountReports(output), 0) << output;
    ASSERT_EQ(DkGetNumQSamples(), 2);
    DkOpenQChannel(3);
    DkPlayQSample(1, 3, QMIX_LOOP_FOREVER);
    Render(kRate * 2);
    EXPECT_TRUE(DkIsQChannelPlaying(3)) << "the stream loops";

    output = CaptureOutput([] { DkSetUpQStream("c:\\nothing.wav"); });
    EXPECT_TRUE(Reported(output, "DkSetUpQStream - Error - Link to Wave file not set up properly"))
        << output;
    EXPECT_EQ(DkGetNumQSamples(), 3) << "a failed stream still takes its number";
}

TEST_F(QSoundTest, InitialisingTwiceAndTheDestructor)
{
    Init();
    int channels = DkGetNumQChannels();
    output = CaptureOutput([] { EXPECT_EQ(DkInitQSound(), 0); });
    EXPECT_TRUE(Reported(output, "DkInitQSound() : *** WARNING ***\nQSound already initialised"))
        << output;
    EXPECT_EQ(QmixLiveSessions(), 1) << "no second session";
    EXPECT_EQ(DkGetNumQChannels(), channels);

    ASSERT_EQ(Load("w.wav", MarkedFile(1000)), 1);
    DkOpenQChannel(0);
    CaptureOutput([] { DkCallAllDestructors(); });
    EXPECT_FALSE(DkIsQSoundInitialised());
    EXPECT_EQ(DkGetNumQSamples(), 0);
    EXPECT_EQ(DkGetNumQChannels(), 0);
    EXPECT_EQ(QmixLiveSessions(), 0);
    EXPECT_NE(Log().find("QSound Destructor done\r\n"), std::string::npos);
}

TEST_F(QSoundTest, BothGameThreadsPlayWhileMusicStreams)
{
    // The null output, not the loopback: its streaming thread feeds the music meanwhile.
    QmixUseLoopbackForTests(FALSE);
    Init();
    std::vector<int16_t> tone = datakit::Tone(441.0, 6600, kRate, 12000);
    datakit::WriteWaveFile(env.DriveC() + "/music.wav", tone, kRate);
    ASSERT_EQ(Load("a.wav", MarkedFile(1000)), 1);
    ASSERT_EQ(Load("b.wav", MarkedFile(2000)), 2);
    CaptureOutput([] { DkSetUpQStream("c:\\music.wav"); });
    ASSERT_NE(gaQWaves[2].handle, nullptr);
    for (int channel = 0; channel < 4; ++channel)
        DkOpenQChannel(channel);
    DkPlayQSample(2, 3, QMIX_LOOP_FOREVER);

    // The timer thread's engine sounds and the main thread's menu sounds share channels 0-2.
    auto sounds = [](int first)
    {
        for (int i = 0; i < 300; ++i)
        {
            int channel = (first + i) % 3;
            if (i % 2 == 0)
                DkPlayQSample(i % 2, channel, i % 5 == 0 ? QMIX_LOOP_FOREVER : 0);
            else
                DkPlayQSampleEx(i % 2, channel, 0, 0, 0, 0, 0);
            DkSetQChannelVolume(channel, (i * 97) % 32768);
            DkSetQChannelFrequency(channel, 11025 + i * 10);
            DkSetQChannelPosition(channel, i % 360, 100, 0);
            DkIsQSamplePlaying(i % 2);
            DkGetQChannelSampleId(channel);
            if (i % 40 == 0)
                DkStopQChannel(channel);
        }
    };
    std::thread timer(sounds, 1);
    sounds(0);
    timer.join();
    EXPECT_TRUE(DkIsQChannelPlaying(3)) << "the music streams on";
    for (int channel = 0; channel < 3; ++channel)
    {
        int wave = DkGetQChannelSampleId(channel);
        EXPECT_TRUE(wave == 0 || wave == 1) << "channel " << channel;
    }
    DkStopAllQChannels();
    EXPECT_FALSE(DkIsQChannelPlaying(3));
}

// With no session every call is silent: nothing reported, nothing loaded, zeros back.
void ExpectSilentModule(const std::string& wavePath)
{
    std::string out = CaptureOutput(
        [&]
        {
            EXPECT_EQ(DkOpenQChannel(0), 0);
            EXPECT_EQ(DkLoadQSample(wavePath.c_str(), kRate, 16, 0), 0);
            DkSetUpQStream(wavePath.c_str());
            DkPlayQSample(0, 0, 0);
            DkPlayQSampleEx(0, 0, -1, 1, 2, 3, 4);
            DkStopQChannel(0);
            DkStopAllQChannels();
            DkFlushQChannel(0);
            DkFlushAllQChannels();
            EXPECT_EQ(DkSetQChannelVolume(0, 100), 0);
            EXPECT_EQ(DkGetQChannelVolume(0), 0);
            EXPECT_EQ(DkSetQChannelFrequency(0, 100), 0);
            EXPECT_EQ(DkGetQChannelFrequency(0), 0);
            DkSetQChannelPosition(0, 999, -5, 999);
            EXPECT_FALSE(DkIsQChannelPlaying(0));
            EXPECT_FALSE(DkIsQSamplePlaying(0));
            DkFreeQSample(0);
            DkFreeAllQSamples();
        });
    EXPECT_EQ(CountReports(out), 0) << out;
    EXPECT_EQ(DkGetNumQSamples(), 0);
    EXPECT_EQ(DkGetNumQChannels(), 0);
    EXPECT_EQ(DkGetQSoundSession(), nullptr);
}

TEST_F(QSoundTest, WithoutASessionEveryCallIsSilent)
{
    WriteWholeFile(env.DriveC() + "/w.wav", MarkedFile(1000));
    ExpectSilentModule("c:\\w.wav"); // never initialised

    QmixForceNoDeviceForTests(TRUE);
    int destructors = gnNumDestructors;
    int result = -1;
    output = CaptureOutput([&] { result = DkInitQSound(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(CountReports(output), 0) << output;
    EXPECT_FALSE(DkIsQSoundInitialised());
    EXPECT_EQ(gnNumDestructors, destructors) << "no destructor without a session";
    ExpectSilentModule("c:\\w.wav");
}

} // namespace
