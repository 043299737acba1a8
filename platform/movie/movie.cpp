// Movies: libavformat reads the file, libavcodec decodes it, libswscale scales each frame to
// the rectangle and libswresample turns the sound into 16-bit PCM for the mixer. Everything
// runs on the thread that pumps the window's messages (the main thread).

#include "platform/movie/movie.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/fs/fs.h"
#include "platform/qmix/qmix.h"
#include "platform/time/time.h"
#include "platform/win/win.h"

namespace
{

constexpr const char* kDriverName = "avivideo";
constexpr int kMaxSide = 4096;
constexpr DWORD kUnknownPixel = 0xFFFFFFFFu;
// Sound longer than this is cut: the whole track is decoded when the movie opens.
constexpr size_t kMaxSoundBytes = 64u << 20;

struct Device
{
    MCIDEVICEID id = 0;
    bool driver = false;
    std::string name;

    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    int videoStream = -1;
    AVRational timeBase{1, 25};
    double frameMs = 40.0;
    AVPacket* packet = nullptr;
    AVFrame* pending = nullptr; // decoded, waiting for its time
    AVFrame* shown = nullptr;   // the last frame drawn
    bool pendingValid = false;
    double pendingMs = 0.0;
    double lastMs = -1.0;
    int framesDecoded = 0;
    bool demuxEnded = false;
    bool decodeEnded = false;
    SwsContext* scaler = nullptr;
    std::vector<uint8_t> rgb;
    std::vector<DWORD> pixelCache;
    DWORD cacheFormat = 0;
    const void* cachePalette = nullptr;

    HWND parent = nullptr;
    bool haveDest = false;
    RECT dest{}; // left, top, width, height

    bool playing = false;
    DWORD startedAt = 0;
    double playedMs = 0.0; // before the last start
    HWND notify = nullptr;

    // Sound: the whole track as 16-bit PCM, played through a session of its own.
    std::vector<uint8_t> sound;
    PCMWAVEFORMAT soundFormat{};
    HQMIXER mixer = nullptr;
    LPMIXWAVE wave = nullptr;
};

std::vector<std::unique_ptr<Device>> gaDevices;
MCIDEVICEID gNextId = 1;

void Advance();

void UpdateHook()
{
    WinSetPumpHook(gaDevices.empty() ? nullptr : Advance);
}

Device* Find(MCIDEVICEID id)
{
    for (auto& d : gaDevices)
        if (d->id == id)
            return d.get();
    return nullptr;
}

double ElapsedMs(const Device& d)
{
    if (!d.playing)
        return d.playedMs;
    return d.playedMs + static_cast<double>(timeGetTime() - d.startedAt);
}

// Only AVI files are read, through the file protocol whatever the name looks like.
int OpenAvi(AVFormatContext** format, const std::string& hostPath)
{
    const AVInputFormat* avi = av_find_input_format("avi");
    if (avi == nullptr)
        return -1;
    return avformat_open_input(format, ("file:" + hostPath).c_str(), avi, nullptr);
}

// Decodes the whole sound track of the file into 16-bit PCM (mono or stereo, its own rate).
void DecodeSound(const std::string& hostPath, Device& d)
{
    AVFormatContext* fmt = nullptr;
    if (OpenAvi(&fmt, hostPath) < 0)
        return;
    const AVCodec* codec = nullptr;
    int stream = -1;
    AVCodecContext* ctx = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (avformat_find_stream_info(fmt, nullptr) >= 0)
        stream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream >= 0 && codec != nullptr && packet != nullptr && frame != nullptr)
    {
        ctx = avcodec_alloc_context3(codec);
        if (ctx != nullptr &&
            avcodec_parameters_to_context(ctx, fmt->streams[stream]->codecpar) >= 0 &&
            avcodec_open2(ctx, codec, nullptr) >= 0 && ctx->sample_rate >= 1000 &&
            ctx->sample_rate <= 192000 && ctx->ch_layout.nb_channels > 0)
        {
            int channels = std::min(ctx->ch_layout.nb_channels, 2);
            AVChannelLayout out{};
            av_channel_layout_default(&out, channels);
            if (swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, ctx->sample_rate,
                                    &ctx->ch_layout, ctx->sample_fmt, ctx->sample_rate, 0,
                                    nullptr) >= 0 &&
                swr_init(swr) >= 0)
            {
                d.soundFormat.wFormatTag = WAVE_FORMAT_PCM;
                d.soundFormat.nChannels = static_cast<WORD>(channels);
                d.soundFormat.nSamplesPerSec = static_cast<DWORD>(ctx->sample_rate);
                d.soundFormat.wBitsPerSample = 16;
                d.soundFormat.nBlockAlign = static_cast<WORD>(channels * 2);
                d.soundFormat.nAvgBytesPerSec = d.soundFormat.nSamplesPerSec * channels * 2;
                auto take = [&]()
                {
                    while (avcodec_receive_frame(ctx, frame) >= 0)
                    {
                        int room = swr_get_out_samples(swr, frame->nb_samples);
                        if (room > 0 && d.sound.size() < kMaxSoundBytes)
                        {
                            size_t at = d.sound.size();
                            d.sound.resize(at + static_cast<size_t>(room) * channels * 2);
                            uint8_t* outData[1] = {d.sound.data() + at};
                            int got = swr_convert(swr, outData, room,
                                                  const_cast<const uint8_t**>(frame->extended_data),
                                                  frame->nb_samples);
                            d.sound.resize(at +
                                           static_cast<size_t>(std::max(got, 0)) * channels * 2);
                        }
                        av_frame_unref(frame);
                    }
                };
                while (av_read_frame(fmt, packet) >= 0)
                {
                    if (packet->stream_index == stream && avcodec_send_packet(ctx, packet) >= 0)
                        take();
                    av_packet_unref(packet);
                }
                avcodec_send_packet(ctx, nullptr);
                take();
            }
            av_channel_layout_uninit(&out);
        }
    }
    swr_free(&swr);
    avcodec_free_context(&ctx);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&fmt);
}

bool OpenVideo(const std::string& hostPath, Device& d)
{
    if (OpenAvi(&d.format, hostPath) < 0)
        return false;
    if (avformat_find_stream_info(d.format, nullptr) < 0)
        return false;
    const AVCodec* codec = nullptr;
    d.videoStream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (d.videoStream < 0 || codec == nullptr)
        return false;
    AVStream* stream = d.format->streams[d.videoStream];
    d.video = avcodec_alloc_context3(codec);
    if (d.video == nullptr || avcodec_parameters_to_context(d.video, stream->codecpar) < 0 ||
        avcodec_open2(d.video, codec, nullptr) < 0)
        return false;
    if (d.video->width <= 0 || d.video->height <= 0 || d.video->width > kMaxSide ||
        d.video->height > kMaxSide)
        return false;
    d.timeBase = stream->time_base;
    AVRational rate =
        stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        d.frameMs = 1000.0 * rate.den / rate.num;
    d.frameMs = std::clamp(d.frameMs, 1.0, 1000.0);
    d.packet = av_packet_alloc();
    d.pending = av_frame_alloc();
    d.shown = av_frame_alloc();
    return d.packet != nullptr && d.pending != nullptr && d.shown != nullptr;
}

void CloseSound(Device& d)
{
    if (d.mixer != nullptr)
        QSWaveMixCloseSession(d.mixer);
    d.mixer = nullptr;
    d.wave = nullptr;
}

void Destroy(Device& d)
{
    CloseSound(d);
    sws_freeContext(d.scaler);
    d.scaler = nullptr;
    av_frame_free(&d.pending);
    av_frame_free(&d.shown);
    av_packet_free(&d.packet);
    avcodec_free_context(&d.video);
    avformat_close_input(&d.format);
}

// The next video frame into d.pending; false when the movie has no more.
bool DecodeNext(Device& d)
{
    for (;;)
    {
        int got = avcodec_receive_frame(d.video, d.pending);
        if (got >= 0)
        {
            int64_t pts = d.pending->best_effort_timestamp;
            if (pts != AV_NOPTS_VALUE)
                d.pendingMs = 1000.0 * static_cast<double>(pts) * d.timeBase.num / d.timeBase.den;
            else
                d.pendingMs = d.framesDecoded * d.frameMs;
            ++d.framesDecoded;
            return true;
        }
        if (got == AVERROR_EOF || d.decodeEnded)
        {
            d.decodeEnded = true;
            return false;
        }
        if (d.demuxEnded)
        {
            avcodec_send_packet(d.video, nullptr);
            d.decodeEnded = true;
            continue;
        }
        if (av_read_frame(d.format, d.packet) < 0)
        {
            d.demuxEnded = true;
            avcodec_send_packet(d.video, nullptr);
            continue;
        }
        if (d.packet->stream_index == d.videoStream)
            avcodec_send_packet(d.video, d.packet);
        av_packet_unref(d.packet);
    }
}

void Rewind(Device& d)
{
    av_seek_frame(d.format, d.videoStream, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(d.video);
    d.pendingValid = false;
    d.demuxEnded = false;
    d.decodeEnded = false;
    d.framesDecoded = 0;
    d.lastMs = -1.0;
    d.playedMs = 0.0;
}

void WritePixel(uint8_t* at, DWORD bytes, DWORD value)
{
    for (DWORD i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Scales the frame into the rectangle of the display's back surface and flips the display.
void Draw(Device& d, const AVFrame* frame)
{
    DdSurfaceData* primary = DdPrimarySurface();
    if (primary == nullptr || primary->back == nullptr)
        return;
    IDirectDrawSurface* back = primary->back;
    DdSurfaceData& surface = *back->data;
    RECT r = d.haveDest
                 ? d.dest
                 : RECT{0, 0, static_cast<LONG>(surface.width), static_cast<LONG>(surface.height)};
    int width = std::min<LONG>(r.right, kMaxSide), height = std::min<LONG>(r.bottom, kMaxSide);
    if (width <= 0 || height <= 0)
        return;
    d.scaler = sws_getCachedContext(d.scaler, frame->width, frame->height,
                                    static_cast<AVPixelFormat>(frame->format), width, height,
                                    AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (d.scaler == nullptr)
        return;
    d.rgb.resize(static_cast<size_t>(width) * height * 3);
    uint8_t* dst[4] = {d.rgb.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {width * 3, 0, 0, 0};
    sws_scale(d.scaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);

    // Colours reach the surface's format through a cache of 15-bit colours.
    const DdPaletteData* palette = DdSurfacePalette(surface);
    DWORD formatKey = surface.format.dwRGBBitCount ^ surface.format.dwRBitMask ^
                      surface.format.dwGBitMask << 1 ^ surface.format.dwBBitMask << 2;
    if (d.pixelCache.empty() || d.cacheFormat != formatKey || d.cachePalette != palette)
    {
        d.pixelCache.assign(32768, kUnknownPixel);
        d.cacheFormat = formatKey;
        d.cachePalette = palette;
    }
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (back->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr) != DD_OK)
        return;
    auto* base = static_cast<uint8_t*>(desc.lpSurface);
    DWORD bytes = surface.bytesPerPixel;
    for (int y = 0; y < height; ++y)
    {
        LONG sy = r.top + y;
        if (sy < 0 || sy >= static_cast<LONG>(surface.height))
            continue;
        uint8_t* row = base + static_cast<size_t>(sy) * static_cast<size_t>(desc.lPitch);
        const uint8_t* src = d.rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x, src += 3)
        {
            LONG sx = r.left + x;
            if (sx < 0 || sx >= static_cast<LONG>(surface.width))
                continue;
            unsigned key = (src[0] >> 3) << 10 | (src[1] >> 3) << 5 | (src[2] >> 3);
            DWORD& value = d.pixelCache[key];
            if (value == kUnknownPixel)
                value = DdPixelFromRgb(surface, src[0], src[1], src[2]);
            WritePixel(row + static_cast<size_t>(sx) * bytes, bytes, value);
        }
    }
    back->Unlock(nullptr);
    primary->iface.Flip(nullptr, 0);
}

void StopSound(Device& d)
{
    if (d.mixer != nullptr)
        QSWaveMixStopChannel(d.mixer, 0, 0);
}

void StartSound(Device& d)
{
    if (d.sound.empty())
        return;
    if (d.mixer == nullptr)
    {
        QMIXCONFIG config{};
        config.dwSize = sizeof config;
        config.dwSamplingRate = std::clamp<DWORD>(d.soundFormat.nSamplesPerSec, 8000, 48000);
        config.iChannels = 1;
        config.hwnd = d.parent;
        d.mixer = QSWaveMixInitEx(&config);
        if (d.mixer == nullptr)
            return;
        QSWaveMixOpenChannel(d.mixer, 0, 0);
        QMIXWAVEPARAMS params{&d.soundFormat, d.sound.data(), static_cast<DWORD>(d.sound.size())};
        d.wave = QSWaveMixOpenWave(d.mixer, &params, nullptr, QMIX_WAVE_MEMORY);
    }
    if (d.wave == nullptr)
        return;
    QMIX_PLAYPARAMS params{};
    params.dwSize = sizeof params;
    params.lStart = static_cast<LONG>(ElapsedMs(d) * d.soundFormat.nSamplesPerSec / 1000.0);
    QSWaveMixPlayEx(d.mixer, 0, 0, d.wave, 0, &params);
}

void Notify(Device& d, WPARAM how)
{
    if (d.notify != nullptr)
        PostMessageA(d.notify, MM_MCINOTIFY, how, static_cast<LPARAM>(d.id));
    d.notify = nullptr;
}

void AdvanceDevice(Device& d)
{
    double now = ElapsedMs(d);
    bool due = false;
    for (;;)
    {
        if (!d.pendingValid)
        {
            if (!DecodeNext(d))
                break;
            d.pendingValid = true;
        }
        if (d.pendingMs > now)
            break;
        // Of the frames due, only the latest is drawn: late ones are passed over.
        d.lastMs = d.pendingMs;
        av_frame_unref(d.shown);
        av_frame_move_ref(d.shown, d.pending);
        d.pendingValid = false;
        due = true;
    }
    if (due)
        Draw(d, d.shown);
    if (d.decodeEnded && !d.pendingValid && now >= d.lastMs + d.frameMs)
    {
        d.playedMs = now;
        d.playing = false;
        StopSound(d);
        Notify(d, MCI_NOTIFY_SUCCESSFUL);
    }
}

void Advance()
{
    for (auto& d : gaDevices)
        if (d->playing && !d->driver)
            AdvanceDevice(*d);
}

MCIERROR Open(DWORD_PTR flags, MCI_ANIM_OPEN_PARMSA* p)
{
    if (p == nullptr)
        return MCIERR_MISSING_PARAMETER;
    auto d = std::make_unique<Device>();
    if (!(flags & MCI_OPEN_ELEMENT))
    {
        if (!(flags & MCI_OPEN_TYPE) || p->lpstrDeviceType == nullptr ||
            strcasecmp(p->lpstrDeviceType, kDriverName) != 0)
            return MCIERR_INVALID_DEVICE_NAME;
        for (auto& other : gaDevices)
            if (other->driver)
            {
                p->wDeviceID = other->id;
                return MCIERR_DEVICE_OPEN;
            }
        d->driver = true;
        d->name = kDriverName;
    }
    else
    {
        if (p->lpstrElementName == nullptr)
            return MCIERR_MISSING_PARAMETER;
        std::string hostPath;
        if (!FsHostPath(p->lpstrElementName, hostPath) ||
            GetFileAttributesA(p->lpstrElementName) == 0xFFFFFFFFu)
            return MCIERR_FILE_NOT_FOUND;
        if (!OpenVideo(hostPath, *d))
        {
            Destroy(*d);
            return MCIERR_INVALID_FILE;
        }
        DecodeSound(hostPath, *d);
        d->name = p->lpstrElementName;
        if (flags & MCI_ANIM_OPEN_PARENT)
            d->parent = p->hWndParent;
    }
    d->id = gNextId++;
    p->wDeviceID = d->id;
    gaDevices.push_back(std::move(d));
    UpdateHook();
    return 0;
}

// Takes the device's notifications that were posted but not yet taken out of the queue; those
// of other devices go back in their order.
void DropQueuedNotifications(MCIDEVICEID id)
{
    std::vector<MSG> others;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE))
        if (static_cast<MCIDEVICEID>(msg.lParam) != id)
            others.push_back(msg);
    for (const MSG& other : others)
        PostMessageA(other.hwnd, other.message, other.wParam, other.lParam);
}

MCIERROR Close(MCIDEVICEID id)
{
    auto it = std::find_if(gaDevices.begin(), gaDevices.end(),
                           [id](const auto& d) { return d->id == id; });
    if (it == gaDevices.end())
        return MCIERR_INVALID_DEVICE_ID;
    // A closed movie notifies nobody: a late notification would end the next movie's play. That
    // holds for one it posted just before (a busy machine can reach the end in a single pump).
    Destroy(**it);
    gaDevices.erase(it);
    UpdateHook();
    DropQueuedNotifications(id);
    return 0;
}

} // namespace

MCIERROR mciSendCommandA(MCIDEVICEID IDDevice, UINT uMsg, DWORD_PTR fdwCommand, DWORD_PTR dwParam)
{
    if (uMsg == MCI_OPEN)
        return Open(fdwCommand, reinterpret_cast<MCI_ANIM_OPEN_PARMSA*>(dwParam));
    if (uMsg == MCI_CLOSE)
        return Close(IDDevice);
    Device* d = Find(IDDevice);
    if (d == nullptr)
        return MCIERR_INVALID_DEVICE_ID;
    if (d->driver)
        return MCIERR_UNRECOGNIZED_COMMAND;
    switch (uMsg)
    {
        case MCI_WINDOW:
        {
            auto* p = reinterpret_cast<MCI_ANIM_WINDOW_PARMSA*>(dwParam);
            if (p != nullptr && (fdwCommand & MCI_ANIM_WINDOW_HWND))
                d->parent = p->hWnd;
            return 0;
        }
        case MCI_PUT:
        {
            auto* p = reinterpret_cast<MCI_ANIM_RECT_PARMS*>(dwParam);
            if (p == nullptr || !(fdwCommand & MCI_ANIM_RECT))
                return MCIERR_MISSING_PARAMETER;
            d->dest = p->rc;
            d->haveDest = true;
            return 0;
        }
        case MCI_PLAY:
        {
            auto* p = reinterpret_cast<MCI_PLAY_PARMS*>(dwParam);
            if (fdwCommand & MCI_NOTIFY)
            {
                if (d->notify != nullptr)
                    Notify(*d, MCI_NOTIFY_SUPERSEDED);
                d->notify = p != nullptr ? reinterpret_cast<HWND>(p->dwCallback) : nullptr;
            }
            if (d->playing)
                return 0;
            // Playing a movie that has ended plays it again.
            if (d->decodeEnded && !d->pendingValid)
                Rewind(*d);
            d->pixelCache.clear();
            d->playing = true;
            d->startedAt = timeGetTime();
            StartSound(*d);
            return 0;
        }
        case MCI_PAUSE:
        case MCI_STOP:
            if (d->playing)
            {
                d->playedMs = ElapsedMs(*d);
                d->playing = false;
                StopSound(*d);
            }
            return 0;
        case MCI_SEEK:
            if (d->playing)
                StopSound(*d);
            d->playing = false;
            Notify(*d, MCI_NOTIFY_ABORTED);
            Rewind(*d);
            return 0;
        default:
            return MCIERR_UNRECOGNIZED_COMMAND;
    }
}

MCIDEVICEID mciGetDeviceIDA(LPCSTR pszDevice)
{
    if (pszDevice == nullptr)
        return 0;
    for (auto& d : gaDevices)
        if (strcasecmp(d->name.c_str(), pszDevice) == 0)
            return d->id;
    return 0;
}

int MovieOpenDevices(void)
{
    return static_cast<int>(gaDevices.size());
}

BOOL MovieAnyPlaying(void)
{
    for (auto& d : gaDevices)
        if (d->playing)
            return TRUE;
    return FALSE;
}

QMixSession* MovieMixerForTests(MCIDEVICEID IDDevice)
{
    Device* d = Find(IDDevice);
    return d != nullptr ? d->mixer : nullptr;
}
