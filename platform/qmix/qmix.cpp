// The wave mixer on OpenAL Soft: one device and context per session, one source per channel,
// one buffer per wave in memory, and a queue of small buffers fed from the file for a stream.

#define AL_ALEXT_PROTOTYPES
#include "platform/qmix/qmix.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/fs.h"

struct QMixWave
{
    bool stream = false;
    PCMWAVEFORMAT format{};
    ALenum alFormat = 0;
    DWORD bytes = 0;
    // In memory: the buffer and a copy of the data (for plays that need a cut or loop points).
    ALuint buffer = 0;
    std::vector<uint8_t> pcm;
    // A stream: the file and where its data chunk lies.
    std::string hostPath;
    uint64_t dataOffset = 0;
};

namespace
{

constexpr int kDefaultChannels = 30;
constexpr int kMaxChannels = 64;
constexpr DWORD kDefaultRate = 22050;
constexpr int kStreamBuffers = 4;
constexpr int kMaxQueuedRepeats = 256;
constexpr int kRenderChunk = 256;
constexpr int kFullVolume = 32767;

struct Channel
{
    bool open = false;
    ALuint source = 0;
    QMixWave* wave = nullptr;
    ALuint ownBuffer = 0; // a cut or looped copy of the wave for this play
    int volume = kFullVolume;
    DWORD frequency = 0; // 0: the wave's own rate
    // A stream playing here.
    std::FILE* file = nullptr;
    uint64_t position = 0;
    int loopsLeft = 0;
    bool streamEnded = false;
    std::vector<ALuint> idleBuffers;
    ALuint streamBuffers[kStreamBuffers] = {};
};

} // namespace

struct QMixSession
{
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool loopback = false;
    bool active = true;
    DWORD rate = kDefaultRate;
    std::vector<Channel> channels;
    std::set<QMixWave*> waves;
    std::thread feeder;
    bool stopFeeder = false;
    std::condition_variable feederWake;
};

namespace
{

// One lock for every session: OpenAL's current context is process-wide.
std::mutex gLock;
std::set<QMixSession*> gSessions;
bool gboNoDevice = false;
bool gboLoopback = false;

QMixSession* Valid(HQMIXER h)
{
    if (h == nullptr || gSessions.count(h) == 0)
        return nullptr;
    alcMakeContextCurrent(h->context);
    return h;
}

Channel* OpenChannel(QMixSession& s, int iChannel)
{
    if (iChannel < 0 || iChannel >= static_cast<int>(s.channels.size()))
        return nullptr;
    Channel& c = s.channels[static_cast<size_t>(iChannel)];
    return c.open ? &c : nullptr;
}

QMixWave* ValidWave(QMixSession& s, LPMIXWAVE w)
{
    return w != nullptr && s.waves.count(w) != 0 ? w : nullptr;
}

ALenum AlFormat(const PCMWAVEFORMAT& f)
{
    if (f.nChannels == 1)
        return f.wBitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return f.wBitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

bool FormatUsable(const PCMWAVEFORMAT& f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= 1000 &&
           f.nSamplesPerSec <= 192000 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

void ApplyGain(Channel& c)
{
    float gain = static_cast<float>(std::clamp(c.volume, 0, kFullVolume)) / kFullVolume;
    alSourcef(c.source, AL_GAIN, gain);
}

void ApplyPitch(QMixSession& s, Channel& c)
{
    float pitch = 1.0f;
    if (c.frequency != 0)
    {
        DWORD rate = c.wave != nullptr ? c.wave->format.nSamplesPerSec : s.rate;
        pitch =
            std::clamp(static_cast<float>(c.frequency) / static_cast<float>(rate), 0.01f, 64.0f);
    }
    alSourcef(c.source, AL_PITCH, pitch);
}

void CloseStream(Channel& c)
{
    if (c.file != nullptr)
        std::fclose(c.file);
    c.file = nullptr;
    c.streamEnded = false;
    c.idleBuffers.clear();
}

// Silences the channel and detaches everything it played.
void Halt(Channel& c)
{
    alSourceStop(c.source);
    alSourcei(c.source, AL_LOOPING, AL_FALSE);
    alSourcei(c.source, AL_BUFFER, 0);
    if (c.ownBuffer != 0)
    {
        alDeleteBuffers(1, &c.ownBuffer);
        c.ownBuffer = 0;
    }
    CloseStream(c);
}

// Reads the next piece of the stream into a buffer; false once nothing is left to play.
bool FillStreamBuffer(Channel& c, ALuint buffer)
{
    const QMixWave& w = *c.wave;
    DWORD align = w.format.nBlockAlign;
    // About an eighth of a second a buffer.
    size_t want = std::max<size_t>(align, (w.format.nSamplesPerSec / 8) * align);
    std::vector<uint8_t> chunk;
    chunk.reserve(want);
    while (chunk.size() < want)
    {
        if (c.position >= w.bytes)
        {
            if (c.loopsLeft == 0)
                break;
            if (c.loopsLeft > 0)
                --c.loopsLeft;
            c.position = 0;
        }
        size_t n = std::min<uint64_t>(want - chunk.size(), w.bytes - c.position);
        size_t at = chunk.size();
        chunk.resize(at + n);
        size_t got = 0;
        if (std::fseek(c.file, static_cast<long>(w.dataOffset + c.position), SEEK_SET) == 0)
            got = std::fread(chunk.data() + at, 1, n, c.file);
        chunk.resize(at + got);
        c.position += got;
        if (got < n)
        {
            // The file was cut since it was opened: the stream ends with what was read.
            c.position = w.bytes;
            c.loopsLeft = 0;
        }
    }
    chunk.resize(chunk.size() - chunk.size() % align);
    if (chunk.empty())
        return false;
    alBufferData(buffer, w.alFormat, chunk.data(), static_cast<ALsizei>(chunk.size()),
                 static_cast<ALsizei>(w.format.nSamplesPerSec));
    alSourceQueueBuffers(c.source, 1, &buffer);
    return true;
}

void FeedStream(Channel& c)
{
    if (c.file == nullptr)
        return;
    ALint processed = 0;
    alGetSourcei(c.source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0)
    {
        ALuint b = 0;
        alSourceUnqueueBuffers(c.source, 1, &b);
        c.idleBuffers.push_back(b);
    }
    while (!c.streamEnded && !c.idleBuffers.empty())
    {
        if (!FillStreamBuffer(c, c.idleBuffers.back()))
        {
            c.streamEnded = true;
            break;
        }
        c.idleBuffers.pop_back();
    }
    ALint state = 0, queued = 0;
    alGetSourcei(c.source, AL_SOURCE_STATE, &state);
    alGetSourcei(c.source, AL_BUFFERS_QUEUED, &queued);
    // Ran dry before the next piece came: carry on.
    if (state != AL_PLAYING && queued > 0)
        alSourcePlay(c.source);
}

void FeedStreams(QMixSession& s)
{
    for (Channel& c : s.channels)
        if (c.open)
            FeedStream(c);
}

void FeederLoop(QMixSession* s)
{
    std::unique_lock<std::mutex> lock(gLock);
    while (!s->stopFeeder)
    {
        alcMakeContextCurrent(s->context);
        FeedStreams(*s);
        s->feederWake.wait_for(lock, std::chrono::milliseconds(20));
    }
}

// RIFF/WAVE parsing of a stream's file; every chunk length is held to the file.
bool ParseWaveFile(const std::string& hostPath, QMixWave& w)
{
    std::FILE* f = std::fopen(hostPath.c_str(), "rb");
    if (f == nullptr)
        return false;
    auto readAt = [f](uint64_t at, void* out, size_t n) {
        return std::fseek(f, static_cast<long>(at), SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
    };
    auto u32 = [](const uint8_t* p)
    { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; };
    auto u16 = [](const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); };

    bool ok = false;
    uint8_t head[12];
    uint64_t size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0)
    {
        long end = std::ftell(f);
        size = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    bool haveFormat = false, haveData = false;
    uint64_t dataLength = 0;
    if (size >= 12 && size <= 0x7FFFFFFF && readAt(0, head, 12) &&
        std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
    {
        uint64_t at = 12;
        while (at + 8 <= size && !haveData)
        {
            uint8_t chunk[8];
            if (!readAt(at, chunk, 8))
                break;
            uint64_t length = u32(chunk + 4);
            uint64_t body = at + 8;
            uint64_t present = std::min(length, size - body);
            if (std::memcmp(chunk, "fmt ", 4) == 0)
            {
                uint8_t fmt[16];
                if (length < 16 || present < 16 || !readAt(body, fmt, 16))
                    break;
                w.format.wFormatTag = u16(fmt);
                w.format.nChannels = u16(fmt + 2);
                w.format.nSamplesPerSec = u32(fmt + 4);
                w.format.nAvgBytesPerSec = u32(fmt + 8);
                w.format.nBlockAlign = u16(fmt + 12);
                w.format.wBitsPerSample = u16(fmt + 14);
                haveFormat = true;
            }
            else if (std::memcmp(chunk, "data", 4) == 0)
            {
                // A data chunk cut short plays what is there.
                w.dataOffset = body;
                dataLength = present;
                haveData = true;
            }
            at = body + length + (length & 1);
        }
        ok = haveFormat && haveData && FormatUsable(w.format);
        if (ok)
        {
            dataLength -= dataLength % w.format.nBlockAlign;
            w.bytes = static_cast<DWORD>(dataLength);
            ok = w.bytes > 0;
        }
    }
    std::fclose(f);
    return ok;
}

void PrepareHeadlessDrivers()
{
    // A headless run has no sound hardware to look for; OpenAL Soft's null output stands in.
    // OpenAL Soft reads its drivers once, at its first call, which is always made here.
    static bool done = false;
    if (done)
        return;
    done = true;
    const char* sdl = std::getenv("SDL_AUDIODRIVER");
    const char* al = std::getenv("ALSOFT_DRIVERS");
    if (sdl != nullptr && std::strcmp(sdl, "dummy") == 0 && (al == nullptr || *al == '\0'))
        setenv("ALSOFT_DRIVERS", "null", 1);
}

void DestroyWave(QMixSession& s, QMixWave* w)
{
    for (Channel& c : s.channels)
        if (c.open && c.wave == w)
        {
            Halt(c);
            c.wave = nullptr;
        }
    if (w->buffer != 0)
        alDeleteBuffers(1, &w->buffer);
    s.waves.erase(w);
    delete w;
}

// Applies fn(session, channel) to one open channel, or with QMIX_ALL to every open one, under
// the lock. `valid` false refuses the call's other arguments once the handle has passed.
template <typename Fn>
MMRESULT ForChannels(HQMIXER h, int iChannel, DWORD dwFlags, Fn fn, bool valid = true)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(h);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (!valid)
        return MMSYSERR_INVALPARAM;
    if (dwFlags & QMIX_ALL)
    {
        for (Channel& c : s->channels)
            if (c.open)
                fn(*s, c);
        return MMSYSERR_NOERROR;
    }
    Channel* c = OpenChannel(*s, iChannel);
    if (c == nullptr)
        return MMSYSERR_INVALPARAM;
    fn(*s, *c);
    return MMSYSERR_NOERROR;
}

} // namespace

HQMIXER QSWaveMixInitEx(const QMIXCONFIG* lpConfig)
{
    std::lock_guard<std::mutex> lock(gLock);
    if (gboNoDevice)
        return nullptr;
    PrepareHeadlessDrivers();
    DWORD rate = lpConfig != nullptr && lpConfig->dwSamplingRate != 0 ? lpConfig->dwSamplingRate
                                                                      : kDefaultRate;
    int channels =
        lpConfig != nullptr && lpConfig->iChannels > 0 ? lpConfig->iChannels : kDefaultChannels;
    if (rate < 8000 || rate > 192000 || channels > kMaxChannels)
        return nullptr;

    auto* s = new QMixSession;
    s->rate = rate;
    s->loopback = gboLoopback;
    if (s->loopback)
    {
        s->device = alcLoopbackOpenDeviceSOFT(nullptr);
        ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT,
                          ALC_STEREO_SOFT,
                          ALC_FORMAT_TYPE_SOFT,
                          ALC_SHORT_SOFT,
                          ALC_FREQUENCY,
                          static_cast<ALCint>(rate),
                          ALC_HRTF_SOFT,
                          ALC_FALSE,
                          0};
        if (s->device != nullptr)
            s->context = alcCreateContext(s->device, attrs);
    }
    else
    {
        s->device = alcOpenDevice(nullptr);
        ALCint attrs[] = {ALC_FREQUENCY, static_cast<ALCint>(rate), 0};
        if (s->device != nullptr)
            s->context = alcCreateContext(s->device, attrs);
    }
    if (s->context == nullptr || alcMakeContextCurrent(s->context) != ALC_TRUE)
    {
        if (s->context != nullptr)
            alcDestroyContext(s->context);
        if (s->device != nullptr)
            alcCloseDevice(s->device);
        delete s;
        return nullptr;
    }
    // Range gives no attenuation; the game sets its own volumes by distance.
    alDistanceModel(AL_NONE);
    s->channels.resize(static_cast<size_t>(channels));
    gSessions.insert(s);
    if (!s->loopback)
        s->feeder = std::thread(FeederLoop, s);
    return s;
}

MMRESULT QSWaveMixActivate(HQMIXER hQMixer, BOOL fActivate)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    s->active = fActivate != FALSE;
    if (s->loopback)
        return MMSYSERR_NOERROR;
    if (s->active)
        alcDeviceResumeSOFT(s->device);
    else
        alcDevicePauseSOFT(s->device);
    return MMSYSERR_NOERROR;
}

MMRESULT QSWaveMixOpenChannel(HQMIXER hQMixer, int iChannel, DWORD dwFlags)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (dwFlags & QMIX_ALL)
        return MMSYSERR_INVALFLAG;
    if (iChannel < 0 || iChannel >= static_cast<int>(s->channels.size()))
        return MMSYSERR_INVALPARAM;
    Channel& c = s->channels[static_cast<size_t>(iChannel)];
    if (c.open)
        return MMSYSERR_NOERROR;
    alGetError();
    alGenSources(1, &c.source);
    if (alGetError() != AL_NO_ERROR)
        return MMSYSERR_NOMEM;
    alGenBuffers(kStreamBuffers, c.streamBuffers);
    if (alGetError() != AL_NO_ERROR)
    {
        alDeleteSources(1, &c.source);
        return MMSYSERR_NOMEM;
    }
    alSourcei(c.source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(c.source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    c.open = true;
    return MMSYSERR_NOERROR;
}

MMRESULT QSWaveMixEnableChannel(HQMIXER hQMixer, int iChannel, DWORD, int)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    return OpenChannel(*s, iChannel) != nullptr ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
}

LPMIXWAVE QSWaveMixOpenWave(HQMIXER hQMixer, LPVOID lpWaveParams, HINSTANCE, DWORD dwFlags)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr || lpWaveParams == nullptr)
        return nullptr;
    auto* w = new QMixWave;
    if (dwFlags & QMIX_WAVE_STREAM)
    {
        w->stream = true;
        if (!FsHostPath(static_cast<LPCSTR>(lpWaveParams), w->hostPath) ||
            !ParseWaveFile(w->hostPath, *w))
        {
            delete w;
            return nullptr;
        }
        w->alFormat = AlFormat(w->format);
    }
    else if (dwFlags & QMIX_WAVE_MEMORY)
    {
        const auto* p = static_cast<const QMIXWAVEPARAMS*>(lpWaveParams);
        if (p->pFormat == nullptr || !FormatUsable(*p->pFormat) || p->pData == nullptr)
        {
            delete w;
            return nullptr;
        }
        w->format = *p->pFormat;
        w->alFormat = AlFormat(w->format);
        w->bytes = p->dwLength - p->dwLength % w->format.nBlockAlign;
        if (w->bytes == 0)
        {
            delete w;
            return nullptr;
        }
        const auto* data = static_cast<const uint8_t*>(p->pData);
        w->pcm.assign(data, data + w->bytes);
        alGetError();
        alGenBuffers(1, &w->buffer);
        alBufferData(w->buffer, w->alFormat, w->pcm.data(), static_cast<ALsizei>(w->bytes),
                     static_cast<ALsizei>(w->format.nSamplesPerSec));
        if (alGetError() != AL_NO_ERROR)
        {
            if (w->buffer != 0)
                alDeleteBuffers(1, &w->buffer);
            delete w;
            return nullptr;
        }
    }
    else
    {
        delete w;
        return nullptr;
    }
    s->waves.insert(w);
    return w;
}

MMRESULT QSWaveMixPlayEx(HQMIXER hQMixer, int iChannel, DWORD, LPMIXWAVE lpMixWave, int iLoops,
                         const QMIX_PLAYPARAMS* lpParams)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    Channel* c = OpenChannel(*s, iChannel);
    QMixWave* w = ValidWave(*s, lpMixWave);
    if (c == nullptr || w == nullptr || iLoops < QMIX_LOOP_FOREVER)
        return MMSYSERR_INVALPARAM;
    // A stream plays on one channel at a time.
    if (w->stream)
        for (Channel& other : s->channels)
            if (other.open && other.wave == w && other.file != nullptr)
                Halt(other);
    Halt(*c);
    c->wave = w;
    ApplyGain(*c);
    ApplyPitch(*s, *c);

    if (w->stream)
    {
        c->file = std::fopen(w->hostPath.c_str(), "rb");
        if (c->file == nullptr)
            return MMSYSERR_ERROR;
        c->position = 0;
        c->loopsLeft = iLoops;
        c->streamEnded = false;
        c->idleBuffers.assign(c->streamBuffers, c->streamBuffers + kStreamBuffers);
        FeedStream(*c);
        return MMSYSERR_NOERROR;
    }

    DWORD align = w->format.nBlockAlign;
    LONG frames = static_cast<LONG>(w->bytes / align);
    LONG start = 0, loopStart = 0, loopEnd = frames, end = frames;
    if (lpParams != nullptr)
    {
        end = lpParams->lEnd > 0 ? std::min(lpParams->lEnd, frames) : frames;
        start = std::clamp<LONG>(lpParams->lStart, 0, end);
        loopEnd = lpParams->lEndLoop > 0 ? std::min(lpParams->lEndLoop, end) : end;
        loopStart = std::clamp<LONG>(lpParams->lStartLoop, 0, loopEnd);
        if (loopStart >= loopEnd)
            loopStart = 0, loopEnd = end;
    }
    if (start >= end)
        return MMSYSERR_NOERROR; // nothing to play
    ALuint buffer = w->buffer;
    bool looped = iLoops == QMIX_LOOP_FOREVER;
    if (end != frames || (looped && (loopStart != 0 || loopEnd != end)))
    {
        alGetError();
        alGenBuffers(1, &c->ownBuffer);
        alBufferData(c->ownBuffer, w->alFormat, w->pcm.data(),
                     static_cast<ALsizei>(static_cast<DWORD>(end) * align),
                     static_cast<ALsizei>(w->format.nSamplesPerSec));
        if (looped)
        {
            ALint points[2] = {loopStart, loopEnd};
            alBufferiv(c->ownBuffer, AL_LOOP_POINTS_SOFT, points);
        }
        if (alGetError() != AL_NO_ERROR)
        {
            Halt(*c);
            return MMSYSERR_NOMEM;
        }
        buffer = c->ownBuffer;
    }
    if (iLoops > 0)
    {
        int times = std::min(iLoops, kMaxQueuedRepeats) + 1;
        for (int i = 0; i < times; ++i)
            alSourceQueueBuffers(c->source, 1, &buffer);
    }
    else
    {
        alSourcei(c->source, AL_BUFFER, static_cast<ALint>(buffer));
        alSourcei(c->source, AL_LOOPING, looped ? AL_TRUE : AL_FALSE);
    }
    if (start > 0)
        alSourcei(c->source, AL_SAMPLE_OFFSET, start);
    alSourcePlay(c->source);
    return MMSYSERR_NOERROR;
}

MMRESULT QSWaveMixStopChannel(HQMIXER hQMixer, int iChannel, DWORD dwFlags)
{
    return ForChannels(hQMixer, iChannel, dwFlags, [](QMixSession&, Channel& c) { Halt(c); });
}

MMRESULT QSWaveMixFlushChannel(HQMIXER hQMixer, int iChannel, DWORD dwFlags)
{
    // Nothing waits in a channel's queue besides what plays, so flushing is stopping.
    return ForChannels(hQMixer, iChannel, dwFlags, [](QMixSession&, Channel& c) { Halt(c); });
}

BOOL QSWaveMixIsChannelDone(HQMIXER hQMixer, int iChannel)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return TRUE;
    Channel* c = OpenChannel(*s, iChannel);
    if (c == nullptr)
        return TRUE;
    FeedStream(*c);
    ALint state = AL_STOPPED;
    alGetSourcei(c->source, AL_SOURCE_STATE, &state);
    bool playing = state == AL_PLAYING || state == AL_PAUSED;
    if (c->file != nullptr && !c->streamEnded)
        playing = true;
    return playing ? FALSE : TRUE;
}

MMRESULT QSWaveMixSetVolume(HQMIXER hQMixer, int iChannel, DWORD dwFlags, int iVolume)
{
    return ForChannels(hQMixer, iChannel, dwFlags,
                       [iVolume](QMixSession&, Channel& c)
                       {
                           c.volume = iVolume;
                           ApplyGain(c);
                       });
}

MMRESULT QSWaveMixGetVolume(HQMIXER hQMixer, int iChannel, int* lpiVolume)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    Channel* c = OpenChannel(*s, iChannel);
    if (c == nullptr || lpiVolume == nullptr)
        return MMSYSERR_INVALPARAM;
    *lpiVolume = c->volume;
    return MMSYSERR_NOERROR;
}

MMRESULT QSWaveMixSetFrequency(HQMIXER hQMixer, int iChannel, DWORD dwFlags, DWORD dwFrequency)
{
    return ForChannels(hQMixer, iChannel, dwFlags,
                       [dwFrequency](QMixSession& s, Channel& c)
                       {
                           c.frequency = dwFrequency;
                           ApplyPitch(s, c);
                       });
}

MMRESULT QSWaveMixGetFrequency(HQMIXER hQMixer, int iChannel, DWORD* lpdwFrequency)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    Channel* c = OpenChannel(*s, iChannel);
    if (c == nullptr || lpdwFrequency == nullptr)
        return MMSYSERR_INVALPARAM;
    if (c->frequency != 0)
        *lpdwFrequency = c->frequency;
    else
        *lpdwFrequency = c->wave != nullptr ? c->wave->format.nSamplesPerSec : s->rate;
    return MMSYSERR_NOERROR;
}

MMRESULT QSWaveMixSetPosition(HQMIXER hQMixer, int iChannel, DWORD dwFlags,
                              const QSPOLAR* lpPosition)
{
    float x = 0.0f, y = 0.0f, z = 0.0f;
    if (lpPosition != nullptr)
    {
        constexpr double kRadians = 3.14159265358979323846 / 180.0;
        double az = lpPosition->azimuth * kRadians;
        double el = lpPosition->elevation * kRadians;
        // Listener at the origin looking down -Z, +X to the right, +Y up.
        x = static_cast<float>(std::sin(az) * std::cos(el));
        y = static_cast<float>(std::sin(el));
        z = static_cast<float>(-std::cos(az) * std::cos(el));
    }
    return ForChannels(
        hQMixer, iChannel, dwFlags,
        [x, y, z](QMixSession&, Channel& c) { alSource3f(c.source, AL_POSITION, x, y, z); },
        lpPosition != nullptr);
}

MMRESULT QSWaveMixFreeWave(HQMIXER hQMixer, LPMIXWAVE lpMixWave)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr)
        return MMSYSERR_INVALHANDLE;
    QMixWave* w = ValidWave(*s, lpMixWave);
    if (w == nullptr)
        return MMSYSERR_INVALPARAM;
    DestroyWave(*s, w);
    return MMSYSERR_NOERROR;
}

MMRESULT QSWaveMixCloseSession(HQMIXER hQMixer)
{
    QMixSession* s = nullptr;
    {
        std::lock_guard<std::mutex> lock(gLock);
        s = Valid(hQMixer);
        if (s == nullptr)
            return MMSYSERR_INVALHANDLE;
        gSessions.erase(s);
        s->stopFeeder = true;
        s->feederWake.notify_all();
    }
    if (s->feeder.joinable())
        s->feeder.join();
    std::lock_guard<std::mutex> lock(gLock);
    alcMakeContextCurrent(s->context);
    for (Channel& c : s->channels)
        if (c.open)
        {
            Halt(c);
            alDeleteSources(1, &c.source);
            alDeleteBuffers(kStreamBuffers, c.streamBuffers);
        }
    while (!s->waves.empty())
        DestroyWave(*s, *s->waves.begin());
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(s->context);
    alcCloseDevice(s->device);
    delete s;
    return MMSYSERR_NOERROR;
}

void QmixForceNoDeviceForTests(BOOL boNoDevice)
{
    std::lock_guard<std::mutex> lock(gLock);
    gboNoDevice = boNoDevice != FALSE;
}

void QmixUseLoopbackForTests(BOOL boLoopback)
{
    std::lock_guard<std::mutex> lock(gLock);
    gboLoopback = boLoopback != FALSE;
}

BOOL QmixRenderForTests(HQMIXER hQMixer, int16_t* pSamples, int nFrames)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    if (s == nullptr || !s->loopback || pSamples == nullptr || nFrames < 0)
        return FALSE;
    for (int done = 0; done < nFrames;)
    {
        int n = std::min(kRenderChunk, nFrames - done);
        FeedStreams(*s);
        alcRenderSamplesSOFT(s->device, pSamples + static_cast<size_t>(done) * 2, n);
        done += n;
    }
    return TRUE;
}

DWORD QmixWaveBytesForTests(HQMIXER hQMixer, LPMIXWAVE lpMixWave)
{
    std::lock_guard<std::mutex> lock(gLock);
    QMixSession* s = Valid(hQMixer);
    QMixWave* w = s != nullptr ? ValidWave(*s, lpMixWave) : nullptr;
    return w != nullptr ? w->bytes : 0;
}

int QmixLiveSessions(void)
{
    std::lock_guard<std::mutex> lock(gLock);
    return static_cast<int>(gSessions.size());
}
