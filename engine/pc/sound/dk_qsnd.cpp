#include "engine/pc/sound/dk_qsnd.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/qmix/qmix.h"

DK_QWAVE gaQWaves[MAX_WAVS];

namespace
{

constexpr DWORD kConfigFlags = QMIX_CONFIG_USEPRIMARY;
constexpr DWORD kSamplingRate = 22050;
constexpr int kConfigOutput = 2;
constexpr DWORD kEnableMode = 8;
constexpr DWORD kPlayParamsSize = 36;
// Bytes of a file that are not played: the header and the tail.
constexpr uint32_t kUnplayedBytes = DK_QWAV_HEADER_BYTES + DK_QWAV_TAIL_BYTES;

BOOL gboQSoundInitialised = FALSE;
HQMIXER ghQMixer = nullptr;
int gnNumQChannels = 0;
int gnNumQWaves = 0;
QMIXCONFIG gQMixConfig;
// The wave last started on each channel. Both game threads start sounds, on the same channels
// at times; the mixer locks for itself, so the table's entries are atomic instead.
std::atomic<int32_t> gaQChannelWaves[DK_MAX_QCHANNELS];
// Waves freed one by one: their handles are gone, and freeing all does not report them.
bool gaboQWaveFreed[MAX_WAVS];

int ChannelsInTable()
{
    return std::min(gnNumQChannels, DK_MAX_QCHANNELS);
}

bool ChannelInTable(int nChannel)
{
    return nChannel >= 0 && nChannel < DK_MAX_QCHANNELS;
}

LPMIXWAVE LoadedWave(int nWave)
{
    if (nWave < 0 || nWave >= MAX_WAVS)
        return nullptr;
    return gaQWaves[nWave].handle;
}

void Play(int nWave, int nChannel, int nRepeat, const QMIX_PLAYPARAMS* pParams)
{
    if (!gboQSoundInitialised)
        return;
    LPMIXWAVE handle = LoadedWave(nWave);
    if (handle == nullptr)
    {
        DKREPORT(DkFormatString("DkPlayQSample - Error - Wave File %d not loaded", nWave));
        return;
    }
    if (!ChannelInTable(nChannel))
    {
        DKREPORT(DkFormatString("DkPlayQSample - Error - Channel %d out of range", nChannel));
        return;
    }
    gaQChannelWaves[nChannel].store(nWave, std::memory_order_relaxed);
    QSWaveMixPlayEx(ghQMixer, nChannel, 0, handle, nRepeat, pParams);
}

} // namespace

int DkInitQSound(void)
{
    if (gboQSoundInitialised)
    {
        // A second session would leave the first open with nobody to close it.
        DKREPORT("DkInitQSound() : *** WARNING ***\nQSound already initialised");
        return 0;
    }
    std::memset(&gQMixConfig, 0, sizeof gQMixConfig);
    gQMixConfig.dwSize = sizeof gQMixConfig;
    gQMixConfig.dwFlags = kConfigFlags;
    gQMixConfig.dwSamplingRate = kSamplingRate;
    gQMixConfig.iChannels = DK_MAX_QCHANNELS;
    gQMixConfig.iOutput = kConfigOutput;
    gQMixConfig.hwnd = ghWnd;
    ghQMixer = QSWaveMixInitEx(&gQMixConfig);
    if (ghQMixer == nullptr)
        return 0;
    QSWaveMixActivate(ghQMixer, TRUE);
    for (DK_QWAVE& wave : gaQWaves)
        wave.handle = nullptr;
    std::fill(std::begin(gaboQWaveFreed), std::end(gaboQWaveFreed), false);
    gboQSoundInitialised = TRUE;
    return DkAddDestructor(DkQSoundDestructor, "QSound Destructor");
}

BOOL DkQSoundDestructor(void)
{
    DkFreeAllQSamples();
    if (ghQMixer != nullptr)
        QSWaveMixCloseSession(ghQMixer);
    ghQMixer = nullptr;
    gnNumQChannels = 0;
    gnNumQWaves = 0;
    gboQSoundInitialised = FALSE;
    DkLog("QSound Destructor done");
    return TRUE;
}

BOOL DkIsQSoundInitialised(void)
{
    return gboQSoundInitialised;
}

QMixSession* DkGetQSoundSession(void)
{
    return gboQSoundInitialised ? ghQMixer : nullptr;
}

int DkOpenQChannel(int nChannel)
{
    if (!gboQSoundInitialised)
        return 0;
    if (gnNumQChannels >= DK_MAX_QCHANNELS)
        DKREPORT("DkOpenQChannel - Error - Too many channels open");
    QSWaveMixOpenChannel(ghQMixer, nChannel, 0);
    int result = static_cast<int>(QSWaveMixEnableChannel(ghQMixer, nChannel, kEnableMode, 0));
    ++gnNumQChannels;
    return result;
}

int DkGetNumQChannels(void)
{
    return gnNumQChannels;
}

int DkLoadQSample(const char* pszFileName, int nSampleRate, int nBitsPerSample, int nStereo)
{
    if (!gboQSoundInitialised)
        return 0;
    if (gnNumQWaves >= MAX_WAVS)
    {
        DKREPORT("wavs loaded > MAX_WAVS");
        return gnNumQWaves;
    }
    const char* name = pszFileName != nullptr ? pszFileName : "";
    LPMIXWAVE handle = nullptr;
    auto* file = static_cast<const uint8_t*>(DkMallocLoadFile(name, DKLF_AS_GIVEN));
    if (file == nullptr)
        DKREPORT(DkFormatString("Can't find %s", name));
    else
    {
        uint32_t size = DkGetLastFileSize();
        DkHeapAddWaveBytes(size);
        PCMWAVEFORMAT format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = nStereo ? 2 : 1;
        format.nSamplesPerSec = static_cast<DWORD>(nSampleRate);
        format.nBlockAlign = static_cast<WORD>(format.nChannels * nBitsPerSample / 8);
        format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
        format.wBitsPerSample = static_cast<WORD>(nBitsPerSample);
        // A file too short to hold the header and the tail has nothing to play; reading it as
        // if it had would run past its end.
        if (size > kUnplayedBytes)
        {
            QMIXWAVEPARAMS params{&format, file + DK_QWAV_HEADER_BYTES, size - kUnplayedBytes};
            handle = QSWaveMixOpenWave(ghQMixer, &params, nullptr, QMIX_WAVE_MEMORY);
        }
    }
    if (handle == nullptr)
        DKREPORT(DkFormatString("DkLoadQSample - Error - Wave File %s not loaded properly", name));

    DK_QWAVE& entry = gaQWaves[gnNumQWaves];
    entry.handle = handle;
    entry.number = gnNumQWaves;
    std::strncpy(entry.name, name, DK_QWAVE_NAME_SIZE - 1);
    entry.name[DK_QWAVE_NAME_SIZE - 1] = '\0';
    gaboQWaveFreed[gnNumQWaves] = false;
    return ++gnNumQWaves;
}

int DkGetNumQSamples(void)
{
    return gnNumQWaves;
}

void DkSetUpQStream(const char* pszFileName)
{
    if (!gboQSoundInitialised)
        return;
    if (gnNumQWaves >= MAX_WAVS)
    {
        DKREPORT("wavs loaded > MAX_WAVS");
        return;
    }
    LPMIXWAVE handle = nullptr;
    if (pszFileName != nullptr)
        handle =
            QSWaveMixOpenWave(ghQMixer, const_cast<char*>(pszFileName), nullptr, QMIX_WAVE_STREAM);
    gaQWaves[gnNumQWaves].handle = handle;
    gaboQWaveFreed[gnNumQWaves] = false;
    ++gnNumQWaves;
    if (handle == nullptr)
        DKREPORT("DkSetUpQStream - Error - Link to Wave file not set up properly");
}

void DkPlayQSample(int nWave, int nChannel, int nRepeat)
{
    Play(nWave, nChannel, nRepeat, nullptr);
}

void DkPlayQSampleEx(int nWave, int nChannel, int nRepeat, int32_t nParam1, int32_t nParam2,
                     int32_t nParam3, int32_t nParam4)
{
    QMIX_PLAYPARAMS params{};
    params.dwSize = kPlayParamsSize;
    params.lStart = nParam1;
    params.lStartLoop = nParam2;
    params.lEndLoop = nParam3;
    params.lEnd = nParam4;
    Play(nWave, nChannel, nRepeat, &params);
}

void DkStopQChannel(int nChannel)
{
    if (gboQSoundInitialised)
        QSWaveMixStopChannel(ghQMixer, nChannel, 0);
}

void DkStopAllQChannels(void)
{
    if (!gboQSoundInitialised)
        return;
    for (int channel = 0; channel < gnNumQChannels; ++channel)
        QSWaveMixStopChannel(ghQMixer, channel, 0);
}

void DkFlushQChannel(int nChannel)
{
    if (gboQSoundInitialised)
        QSWaveMixFlushChannel(ghQMixer, nChannel, 0);
}

void DkFlushAllQChannels(void)
{
    if (gboQSoundInitialised)
        QSWaveMixFlushChannel(ghQMixer, 0, QMIX_ALL);
}

int DkSetQChannelVolume(int nChannel, int nVolume)
{
    if (!gboQSoundInitialised)
        return 0;
    return static_cast<int>(QSWaveMixSetVolume(ghQMixer, nChannel, 0, nVolume));
}

int DkGetQChannelVolume(int nChannel)
{
    int volume = 0;
    if (gboQSoundInitialised)
        QSWaveMixGetVolume(ghQMixer, nChannel, &volume);
    return volume;
}

int DkSetQChannelFrequency(int nChannel, int nFrequency)
{
    if (!gboQSoundInitialised)
        return 0;
    return static_cast<int>(
        QSWaveMixSetFrequency(ghQMixer, nChannel, 0, static_cast<DWORD>(std::max(nFrequency, 0))));
}

int DkGetQChannelFrequency(int nChannel)
{
    DWORD frequency = 0;
    if (gboQSoundInitialised)
        QSWaveMixGetFrequency(ghQMixer, nChannel, &frequency);
    return static_cast<int>(frequency);
}

void DkSetQChannelPosition(int nChannel, int nAzimuth, int nRange, int nElevation)
{
    if (!gboQSoundInitialised)
        return;
    if (nAzimuth < -180 || nAzimuth > 360)
        DKREPORT("error - sample position out of range (-180 to 360)");
    if (nRange < 0 || nRange > 32767)
        DKREPORT("error - sample range out of range (0 to 32767)");
    if (nElevation < -90 || nElevation > 90)
        DKREPORT("error - sample elevation out of range (-90 to 90)");
    QSPOLAR position{nAzimuth, nRange, nElevation};
    QSWaveMixSetPosition(ghQMixer, nChannel, 0, &position);
}

BOOL DkIsQChannelPlaying(int nChannel)
{
    return gboQSoundInitialised && !QSWaveMixIsChannelDone(ghQMixer, nChannel);
}

BOOL DkIsQSamplePlaying(int nWave)
{
    if (!gboQSoundInitialised)
        return FALSE;
    for (int channel = 0; channel < ChannelsInTable(); ++channel)
        if (gaQChannelWaves[channel].load(std::memory_order_relaxed) == nWave &&
            DkIsQChannelPlaying(channel))
            return TRUE;
    return FALSE;
}

int DkGetQChannelSampleId(int nChannel)
{
    if (!ChannelInTable(nChannel))
        return -1;
    int wave = gaQChannelWaves[nChannel].load(std::memory_order_relaxed);
    return wave >= 0 && wave < MAX_WAVS ? gaQWaves[wave].number : -1;
}

const char* DkGetQChannelSampleName(int nChannel)
{
    if (!ChannelInTable(nChannel))
        return "";
    int wave = gaQChannelWaves[nChannel].load(std::memory_order_relaxed);
    return wave >= 0 && wave < MAX_WAVS ? gaQWaves[wave].name : "";
}

void DkFreeQSample(int nWave)
{
    if (!gboQSoundInitialised)
        return;
    LPMIXWAVE handle = LoadedWave(nWave);
    if (handle == nullptr)
    {
        DKREPORT("DkFreeQSample - Error - Wave File not loaded");
        return;
    }
    QSWaveMixFreeWave(ghQMixer, handle);
    // The handle dies with the wave: playing or freeing it again must not reach the mixer.
    gaQWaves[nWave].handle = nullptr;
    gaboQWaveFreed[nWave] = true;
}

void DkFreeAllQSamples(void)
{
    if (!gboQSoundInitialised)
        return;
    for (int wave = 0; wave < gnNumQWaves; ++wave)
    {
        if (gaQWaves[wave].handle == nullptr)
        {
            if (!gaboQWaveFreed[wave])
                DKREPORT("DkFreeAllQSamples - Error - Wave File not loaded");
        }
        else
            QSWaveMixFreeWave(ghQMixer, gaQWaves[wave].handle);
        gaQWaves[wave].handle = nullptr;
        gaboQWaveFreed[wave] = false;
    }
    gnNumQWaves = 0;
}
