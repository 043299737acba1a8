// The wave mixer, heard through OpenAL Soft's loopback device: what the channels play is
// rendered into buffers and measured.

#include "platform/qmix/qmix.h"

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"
#include "tools/datakit/wave_writer.h"

namespace
{

constexpr DWORD kRate = 22050;
// The output is dithered: silence measures about half a step.
constexpr double kSilence = 2.0;

struct Levels
{
    double left = 0.0;
    double right = 0.0;
    int crossings = 0; // sign changes of left + right
};

Levels Measure(const std::vector<int16_t>& stereo)
{
    Levels l;
    double sl = 0.0, sr = 0.0;
    size_t frames = stereo.size() / 2;
    int lastSign = 0;
    for (size_t i = 0; i < frames; ++i)
    {
        double a = stereo[2 * i], b = stereo[2 * i + 1];
        sl += a * a;
        sr += b * b;
        double m = a + b;
        int sign = m > 0 ? 1 : (m < 0 ? -1 : 0);
        if (sign != 0)
        {
            if (lastSign != 0 && sign != lastSign)
                ++l.crossings;
            lastSign = sign;
        }
    }
    l.left = std::sqrt(sl / static_cast<double>(frames));
    l.right = std::sqrt(sr / static_cast<double>(frames));
    return l;
}

class QmixTest : public testing::Test
{
protected:
    void SetUp() override
    {
        QmixUseLoopbackForTests(TRUE);
        QMIXCONFIG config{};
        config.dwSize = sizeof config;
        config.dwSamplingRate = kRate;
        config.iChannels = 4;
        mixer = QSWaveMixInitEx(&config);
        ASSERT_NE(mixer, nullptr);
        for (int channel = 0; channel < 4; ++channel)
            ASSERT_EQ(QSWaveMixOpenChannel(mixer, channel, 0), MMSYSERR_NOERROR);
    }
    void TearDown() override
    {
        if (mixer != nullptr)
        {
            EXPECT_EQ(QSWaveMixCloseSession(mixer), MMSYSERR_NOERROR);
        }
        QmixUseLoopbackForTests(FALSE);
        EXPECT_EQ(QmixLiveSessions(), 0);
    }

    LPMIXWAVE Wave(const std::vector<int16_t>& samples)
    {
        format = PCMWAVEFORMAT{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16};
        QMIXWAVEPARAMS params{&format, samples.data(), static_cast<DWORD>(samples.size() * 2)};
        return QSWaveMixOpenWave(mixer, &params, nullptr, QMIX_WAVE_MEMORY);
    }

    std::vector<int16_t> Render(int frames)
    {
        std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
        EXPECT_TRUE(QmixRenderForTests(mixer, out.data(), frames));
        return out;
    }

    // The level once a change has settled: a first stretch is rendered and dropped.
    Levels Settled(int frames = 4410)
    {
        Render(1024);
        return Measure(Render(frames));
    }

    HQMIXER mixer = nullptr;
    PCMWAVEFORMAT format{};
};

// 441 Hz is exactly 50 samples a cycle at 22,050 Hz, so 2,200 samples loop without a seam.
std::vector<int16_t> LoopTone()
{
    return datakit::Tone(441.0, 2200, kRate, 12000);
}

TEST_F(QmixTest, VolumeScalesTheAmplitude)
{
    std::vector<int16_t> tone = LoopTone();
    LPMIXWAVE wave = Wave(tone);
    ASSERT_NE(wave, nullptr);
    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, wave, QMIX_LOOP_FOREVER, nullptr), MMSYSERR_NOERROR);
    double full = Settled().left;
    ASSERT_GT(full, 1000.0);

    struct Case
    {
        int volume;
        double ratio;
    };
    for (Case c : {Case{16384, 0.5}, Case{8192, 0.25}, Case{0, 0.0}, Case{60000, 1.0}})
    {
        ASSERT_EQ(QSWaveMixSetVolume(mixer, 0, 0, c.volume), MMSYSERR_NOERROR);
        int read = -1;
        ASSERT_EQ(QSWaveMixGetVolume(mixer, 0, &read), MMSYSERR_NOERROR);
        EXPECT_EQ(read, c.volume);
        EXPECT_NEAR(Settled().left / full, c.ratio, 0.03) << "volume " << c.volume;
    }
}

TEST_F(QmixTest, FrequencySetsThePitchAgainstTheWavesRate)
{
    std::vector<int16_t> tone = LoopTone();
    LPMIXWAVE wave = Wave(tone);
    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, wave, QMIX_LOOP_FOREVER, nullptr), MMSYSERR_NOERROR);
    DWORD frequency = 0;
    ASSERT_EQ(QSWaveMixGetFrequency(mixer, 0, &frequency), MMSYSERR_NOERROR);
    EXPECT_EQ(frequency, kRate) << "a channel plays at the wave's own rate until told otherwise";
    int base = Settled().crossings;
    // 441 Hz over 0.2 s crosses zero about 176 times.
    EXPECT_NEAR(base, 176, 4);

    for (DWORD hz : {44100u, 11025u})
    {
        ASSERT_EQ(QSWaveMixSetFrequency(mixer, 0, 0, hz), MMSYSERR_NOERROR);
        ASSERT_EQ(QSWaveMixGetFrequency(mixer, 0, &frequency), MMSYSERR_NOERROR);
        EXPECT_EQ(frequency, hz);
        double ratio = static_cast<double>(Settled().crossings) / base;
        EXPECT_NEAR(ratio, static_cast<double>(hz) / kRate, 0.05) << hz << " Hz";
    }
}

TEST_F(QmixTest, AzimuthMovesTheSoundToThatSide)
{
    std::vector<int16_t> tone = LoopTone();
    LPMIXWAVE wave = Wave(tone);
    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, wave, QMIX_LOOP_FOREVER, nullptr), MMSYSERR_NOERROR);
    struct Case
    {
        int azimuth;
        int elevation;
        int side; // -1 left louder, 0 even, 1 right louder
    };
    for (Case c : {Case{90, 0, 1}, Case{-90, 0, -1}, Case{270, 0, -1}, Case{0, 0, 0},
                   Case{180, 0, 0}, Case{60, 30, 1}})
    {
        QSPOLAR where{c.azimuth, 1000, c.elevation};
        ASSERT_EQ(QSWaveMixSetPosition(mixer, 0, 0, &where), MMSYSERR_NOERROR);
        Levels l = Settled();
        if (c.side > 0)
            EXPECT_GT(l.right, 2.0 * l.left) << "azimuth " << c.azimuth;
        else if (c.side < 0)
            EXPECT_GT(l.left, 2.0 * l.right) << "azimuth " << c.azimuth;
        else
            EXPECT_NEAR(l.left / l.right, 1.0, 0.1) << "azimuth " << c.azimuth;
    }
}

TEST_F(QmixTest, LoopsPlayOnAndSingleShotsEnd)
{
    std::vector<int16_t> tone = LoopTone(); // 2,200 frames, 0.1 s
    LPMIXWAVE wave = Wave(tone);
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(QmixWaveBytesForTests(mixer, wave), 4400u);
    EXPECT_TRUE(QSWaveMixIsChannelDone(mixer, 0)) << "nothing played yet";

    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, wave, QMIX_LOOP_FOREVER, nullptr), MMSYSERR_NOERROR);
    ASSERT_EQ(QSWaveMixPlayEx(mixer, 1, 0, wave, 0, nullptr), MMSYSERR_NOERROR);
    ASSERT_EQ(QSWaveMixPlayEx(mixer, 2, 0, wave, 2, nullptr), MMSYSERR_NOERROR);
    EXPECT_FALSE(QSWaveMixIsChannelDone(mixer, 1));

    struct Step
    {
        int frames; // rendered since the start
        bool loopDone, onceDone, threeDone;
    };
    int rendered = 0;
    for (Step s : {Step{1800, false, false, false}, Step{2600, false, true, false},
                   Step{6400, false, true, false}, Step{7000, false, true, true},
                   Step{30000, false, true, true}})
    {
        Render(s.frames - rendered);
        rendered = s.frames;
        EXPECT_EQ(QSWaveMixIsChannelDone(mixer, 0) != FALSE, s.loopDone) << s.frames;
        EXPECT_EQ(QSWaveMixIsChannelDone(mixer, 1) != FALSE, s.onceDone) << s.frames;
        EXPECT_EQ(QSWaveMixIsChannelDone(mixer, 2) != FALSE, s.threeDone) << s.frames;
    }
    EXPECT_GT(Measure(Render(2205)).left, 1000.0) << "the loop is still heard";

    ASSERT_EQ(QSWaveMixStopChannel(mixer, 0, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(QSWaveMixIsChannelDone(mixer, 0));
    Render(256);
    EXPECT_LT(Measure(Render(1024)).left, kSilence) << "silence once stopped";
}

TEST_F(QmixTest, LoopStartRepeatsOnlyTheTail)
{
    // A loud first half and a quiet second half: looping from the middle repeats the quiet one.
    std::vector<int16_t> tone = LoopTone();
    for (size_t i = 0; i < 1100; ++i)
        tone[i] = static_cast<int16_t>(tone[i] * 2);
    for (size_t i = 1100; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(tone[i] / 4);
    LPMIXWAVE wave = Wave(tone);
    QMIX_PLAYPARAMS params{};
    params.dwSize = 36;
    params.lStartLoop = 1100;
    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, wave, QMIX_LOOP_FOREVER, &params), MMSYSERR_NOERROR);
    double first = Measure(Render(1000)).left;
    Render(2000);
    double later = Measure(Render(2000)).left;
    EXPECT_GT(first, 4.0 * later);
    EXPECT_GT(later, 100.0);
    EXPECT_FALSE(QSWaveMixIsChannelDone(mixer, 0));
}

TEST_F(QmixTest, FreeingAPlayingWaveSilencesItAndForgetsTheHandle)
{
    std::vector<int16_t> tone = LoopTone();
    LPMIXWAVE wave = Wave(tone);
    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, wave, QMIX_LOOP_FOREVER, nullptr), MMSYSERR_NOERROR);
    Render(512);
    EXPECT_EQ(QSWaveMixFreeWave(mixer, wave), MMSYSERR_NOERROR);
    EXPECT_TRUE(QSWaveMixIsChannelDone(mixer, 0));
    EXPECT_EQ(QSWaveMixFreeWave(mixer, wave), MMSYSERR_INVALPARAM);
    EXPECT_EQ(QSWaveMixPlayEx(mixer, 0, 0, wave, 0, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(QmixWaveBytesForTests(mixer, wave), 0u);
}

TEST_F(QmixTest, BadWavesAndChannelsAreRefused)
{
    std::vector<int16_t> tone = LoopTone();
    struct Case
    {
        const char* what;
        PCMWAVEFORMAT format;
        DWORD bytes;
    };
    for (Case c : {Case{"no data", {1, 1, kRate, kRate * 2, 2, 16}, 0},
                   Case{"less than a sample", {1, 1, kRate, kRate * 2, 2, 16}, 1},
                   Case{"not PCM", {3, 1, kRate, kRate * 2, 2, 16}, 400},
                   Case{"block alignment wrong", {1, 2, kRate, kRate * 2, 2, 16}, 400},
                   Case{"twelve bits", {1, 1, kRate, kRate * 2, 2, 12}, 400},
                   Case{"no rate", {1, 1, 0, 0, 2, 16}, 400}})
    {
        QMIXWAVEPARAMS params{&c.format, tone.data(), c.bytes};
        EXPECT_EQ(QSWaveMixOpenWave(mixer, &params, nullptr, QMIX_WAVE_MEMORY), nullptr) << c.what;
    }
    LPMIXWAVE wave = Wave(tone);
    for (int channel : {-1, 4, 30})
    {
        EXPECT_EQ(QSWaveMixPlayEx(mixer, channel, 0, wave, 0, nullptr), MMSYSERR_INVALPARAM);
        EXPECT_TRUE(QSWaveMixIsChannelDone(mixer, channel));
        EXPECT_EQ(QSWaveMixSetVolume(mixer, channel, 0, 100), MMSYSERR_INVALPARAM);
    }
}

TEST_F(QmixTest, BothGameThreadsMayCallAtOnce)
{
    std::vector<int16_t> tone = LoopTone();
    LPMIXWAVE wave = Wave(tone);
    ASSERT_NE(wave, nullptr);
    // The timer thread's sound updates and the main thread's menu sounds meet in the mixer
    // while it renders.
    auto worker = [&](int channel)
    {
        for (int i = 0; i < 500; ++i)
        {
            QSWaveMixPlayEx(mixer, channel, 0, wave, i % 3 == 0 ? QMIX_LOOP_FOREVER : 0, nullptr);
            QSWaveMixSetVolume(mixer, channel, 0, i * 50);
            QSWaveMixSetFrequency(mixer, channel, 0, 11025u + static_cast<DWORD>(i) * 20);
            QSPOLAR where{i % 360, 100, 0};
            QSWaveMixSetPosition(mixer, channel, 0, &where);
            QSWaveMixIsChannelDone(mixer, channel);
            if (i % 50 == 0)
                QSWaveMixStopChannel(mixer, channel, 0);
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    for (int i = 0; i < 50; ++i)
        Render(256);
    a.join();
    b.join();
    int volume = 0;
    EXPECT_EQ(QSWaveMixGetVolume(mixer, 0, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 499 * 50);
}

class QmixStreamTest : public QmixTest
{
protected:
    // Writes the file under drive C: and opens it as a stream.
    LPMIXWAVE Stream(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        WriteWholeFile(env.DriveC() + "/" + name, std::string(bytes.begin(), bytes.end()));
        std::string path = "c:\\" + name;
        return QSWaveMixOpenWave(mixer, path.data(), nullptr, QMIX_WAVE_STREAM);
    }

    TestEnv env;
};

TEST_F(QmixStreamTest, AStreamLoopsUntilStoppedAndPlaysOnceOtherwise)
{
    // 0.3 s of tone, longer than the stream's buffers together.
    std::vector<int16_t> tone = datakit::Tone(441.0, 6600, kRate, 12000);
    LPMIXWAVE stream = Stream("music.wav", datakit::FormatWaveFile(tone, kRate));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(QmixWaveBytesForTests(mixer, stream), 6600u * 2 + datakit::kWaveTailSize);

    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, stream, QMIX_LOOP_FOREVER, nullptr), MMSYSERR_NOERROR);
    for (int second = 0; second < 3; ++second)
    {
        Levels l = Measure(Render(static_cast<int>(kRate)));
        EXPECT_GT(l.left, 3000.0) << "second " << second;
        EXPECT_FALSE(QSWaveMixIsChannelDone(mixer, 0)) << "second " << second;
    }

    ASSERT_EQ(QSWaveMixPlayEx(mixer, 0, 0, stream, 0, nullptr), MMSYSERR_NOERROR);
    Render(4410);
    EXPECT_FALSE(QSWaveMixIsChannelDone(mixer, 0));
    Render(static_cast<int>(kRate));
    EXPECT_TRUE(QSWaveMixIsChannelDone(mixer, 0));
    EXPECT_LT(Measure(Render(2048)).left, kSilence);
}

TEST_F(QmixStreamTest, EveryLengthOfTheStreamsFileIsChecked)
{
    std::vector<int16_t> tone = datakit::Tone(441.0, 2200, kRate, 12000);
    std::vector<uint8_t> good = datakit::FormatWaveFile(tone, kRate);
    auto with = [&](size_t at, std::vector<uint8_t> bytes)
    {
        std::vector<uint8_t> f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<long>(at));
        return f;
    };
    auto cut = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + size); };
    struct Case
    {
        const char* what;
        std::vector<uint8_t> file;
        DWORD bytes; // 0: refused
    };
    const Case cases[] = {
        {"whole file", good, 4500},
        {"not RIFF", with(0, {'R', 'I', 'F', 'X'}), 0},
        {"not WAVE", with(8, {'A', 'V', 'I', ' '}), 0},
        {"empty", {}, 0},
        {"header only", cut(12), 0},
        {"format chunk cut short", cut(30), 0},
        {"format chunk says 8 bytes", with(16, {8, 0, 0, 0}), 0},
        {"format chunk runs past the end", with(16, {0xF0, 0xFF, 0xFF, 0xFF}), 0},
        {"data chunk cut short", cut(44 + 1001), 1000},
        {"data chunk longer than the file", with(40, {0xFF, 0xFF, 0xFF, 0x7F}), 4500},
        {"no data in the data chunk", cut(44), 0},
        {"not PCM", with(20, {3, 0}), 0},
        {"three channels", with(22, {3, 0}), 0},
    };
    int n = 0;
    for (const Case& c : cases)
    {
        LPMIXWAVE stream = Stream("s" + std::to_string(n++) + ".wav", c.file);
        EXPECT_EQ(QmixWaveBytesForTests(mixer, stream), c.bytes) << c.what;
        EXPECT_EQ(stream != nullptr, c.bytes != 0) << c.what;
    }
    std::string missing = "c:\\missing.wav";
    EXPECT_EQ(QSWaveMixOpenWave(mixer, missing.data(), nullptr, QMIX_WAVE_STREAM), nullptr);
}

TEST_F(QmixStreamTest, SessionsOnSeveralThreadsKeepToTheirOwnChannels)
{
    // A session on the null output streams music: its own thread makes its context OpenAL's
    // current one, over and over, while two threads drive two other sessions. The sources of
    // every session have the same numbers, so a call made in the wrong context would move or
    // silence another session's sound.
    std::vector<int16_t> tone = LoopTone();
    datakit::WriteWaveFile(env.DriveC() + "/music.wav", tone, kRate);
    QmixUseLoopbackForTests(FALSE);
    QMIXCONFIG config{};
    config.dwSize = sizeof config;
    config.iChannels = 2;
    HQMIXER music = QSWaveMixInitEx(&config);
    ASSERT_NE(music, nullptr);
    QmixUseLoopbackForTests(TRUE);
    config.dwSamplingRate = kRate;
    HQMIXER other = QSWaveMixInitEx(&config);
    ASSERT_NE(other, nullptr);

    std::string path = "c:\\music.wav";
    ASSERT_EQ(QSWaveMixOpenChannel(music, 0, 0), MMSYSERR_NOERROR);
    LPMIXWAVE stream = QSWaveMixOpenWave(music, path.data(), nullptr, QMIX_WAVE_STREAM);
    ASSERT_EQ(QSWaveMixPlayEx(music, 0, 0, stream, QMIX_LOOP_FOREVER, nullptr), MMSYSERR_NOERROR);

    LPMIXWAVE mine = Wave(tone);
    ASSERT_EQ(QSWaveMixOpenChannel(other, 0, 0), MMSYSERR_NOERROR);
    QMIXWAVEPARAMS params{&format, tone.data(), static_cast<DWORD>(tone.size() * 2)};
    LPMIXWAVE theirs = QSWaveMixOpenWave(other, &params, nullptr, QMIX_WAVE_MEMORY);
    ASSERT_NE(mine, nullptr);
    ASSERT_NE(theirs, nullptr);

    auto drive = [](HQMIXER m, LPMIXWAVE w, int azimuth)
    {
        for (int i = 0; i < 300; ++i)
        {
            QSWaveMixPlayEx(m, 0, 0, w, QMIX_LOOP_FOREVER, nullptr);
            QSWaveMixSetVolume(m, 0, 0, 20000 + i);
            QSPOLAR where{azimuth, 100, 0};
            QSWaveMixSetPosition(m, 0, 0, &where);
            QSWaveMixIsChannelDone(m, 0);
        }
    };
    std::thread left(drive, mixer, mine, -90), right(drive, other, theirs, 90);
    left.join();
    right.join();

    for (HQMIXER m : {mixer, other})
    {
        int volume = 0;
        EXPECT_EQ(QSWaveMixGetVolume(m, 0, &volume), MMSYSERR_NOERROR);
        EXPECT_EQ(volume, 20299);
        EXPECT_FALSE(QSWaveMixIsChannelDone(m, 0));
    }
    Levels mineHeard = Settled();
    std::vector<int16_t> out(2 * 4410);
    ASSERT_TRUE(QmixRenderForTests(other, out.data(), 4410));
    Levels theirsHeard = Measure(out);
    EXPECT_GT(mineHeard.left, 2.0 * mineHeard.right);
    EXPECT_GT(theirsHeard.right, 2.0 * theirsHeard.left);
    EXPECT_FALSE(QSWaveMixIsChannelDone(music, 0)) << "the music streams on";

    EXPECT_EQ(QSWaveMixCloseSession(other), MMSYSERR_NOERROR);
    EXPECT_EQ(QSWaveMixCloseSession(music), MMSYSERR_NOERROR);
}

TEST(QmixNoDevice, EveryCallIsHarmless)
{
    QmixForceNoDeviceForTests(TRUE);
    QMIXCONFIG config{};
    config.dwSize = sizeof config;
    HQMIXER mixer = QSWaveMixInitEx(&config);
    QmixForceNoDeviceForTests(FALSE);
    EXPECT_EQ(mixer, nullptr);
    EXPECT_EQ(QmixLiveSessions(), 0);

    int16_t samples[64] = {};
    PCMWAVEFORMAT format{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16};
    QMIXWAVEPARAMS params{&format, samples, sizeof samples};
    QSPOLAR where{90, 0, 0};
    int volume = 7;
    DWORD frequency = 7;
    EXPECT_EQ(QSWaveMixActivate(mixer, TRUE), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixOpenChannel(mixer, 0, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixEnableChannel(mixer, 0, 8, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixOpenWave(mixer, &params, nullptr, QMIX_WAVE_MEMORY), nullptr);
    EXPECT_EQ(QSWaveMixPlayEx(mixer, 0, 0, nullptr, 0, nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixStopChannel(mixer, 0, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixFlushChannel(mixer, 0, QMIX_ALL), MMSYSERR_INVALHANDLE);
    EXPECT_TRUE(QSWaveMixIsChannelDone(mixer, 0));
    EXPECT_EQ(QSWaveMixSetVolume(mixer, 0, 0, 100), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixGetVolume(mixer, 0, &volume), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(volume, 7);
    EXPECT_EQ(QSWaveMixSetFrequency(mixer, 0, 0, 100), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixGetFrequency(mixer, 0, &frequency), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(frequency, 7u);
    EXPECT_EQ(QSWaveMixSetPosition(mixer, 0, 0, &where), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixFreeWave(mixer, nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(QSWaveMixCloseSession(mixer), MMSYSERR_INVALHANDLE);
    EXPECT_FALSE(QmixRenderForTests(mixer, samples, 32));
}

TEST(QmixDevice, AHeadlessRunOpensTheNullOutput)
{
    // The tests run with SDL_AUDIODRIVER=dummy: the session opens without a sound server.
    QMIXCONFIG config{};
    config.dwSize = sizeof config;
    config.iChannels = 30;
    HQMIXER mixer = QSWaveMixInitEx(&config);
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(QSWaveMixOpenChannel(mixer, 29, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(QSWaveMixOpenChannel(mixer, 30, 0), MMSYSERR_INVALPARAM);
    EXPECT_FALSE(QmixRenderForTests(mixer, nullptr, 0)) << "only a loopback session renders here";
    EXPECT_EQ(QSWaveMixCloseSession(mixer), MMSYSERR_NOERROR);
}

} // namespace
