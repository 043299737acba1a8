// A positional wave mixer shaped like the one the engine was written against, on OpenAL Soft.
//
// A session is one output device with its channels (one OpenAL source each). Waves are opened
// from memory (the caller gives the PCM format, the data and its length) or as streams from a
// WAV file, and are played on channels once, a number of times or until stopped. Volume runs
// 0..32767 (full gain; more is held at full), frequency is in Hz and sets the pitch against the
// wave's own rate, and a position is an azimuth (degrees clockwise from straight ahead), a
// range and an elevation (degrees up) around the listener; the range does not attenuate.
//
// Every call locks: the game's two threads both play sounds. When no output device opens,
// QSWaveMixInitEx gives NULL and every other call on a NULL session does nothing and fails.
// With SDL_AUDIODRIVER=dummy and no ALSOFT_DRIVERS of its own, the session opens OpenAL Soft's
// null output, so headless runs never wait on a sound server.
#pragma once

#include <cstdint>

#include "platform/win/wintypes.h"

typedef UINT MMRESULT;
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NOMEM 7
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11

// Session configuration flags.
#define QMIX_CONFIG_USEPRIMARY 0x0001
// Channel flags: the call acts on every channel of the session.
#define QMIX_ALL 0x0001
// Open-wave flags: a wave in memory (the parameter is a QMIXWAVEPARAMS), or a stream of a WAV
// file (the parameter is the file's name).
#define QMIX_WAVE_MEMORY 0x0008
#define QMIX_WAVE_STREAM 0x0010
// Loop count that plays until the channel is stopped.
#define QMIX_LOOP_FOREVER (-1)

#define WAVE_FORMAT_PCM 1

struct PCMWAVEFORMAT
{
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
};
static_assert(sizeof(PCMWAVEFORMAT) == 16, "a PCM format record is 16 bytes");

struct QMIXCONFIG
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwSamplingRate; // output rate in Hz (0: 22,050)
    LPVOID lpIDirectSound;
    const void* lpGuid;
    int iChannels; // channels of the session (0: 30)
    int iOutput;
    int iLatency;
    int iMath;
    HWND hwnd;
};

struct QMIXWAVEPARAMS
{
    const PCMWAVEFORMAT* pFormat;
    const void* pData;
    DWORD dwLength; // bytes; cut to whole sample frames
};

// Where a play starts and loops, in sample frames of the wave: the first frame played, the
// first frame of every repeat, the frame after the repeated part and the frame where play
// ends (0 for the last two: the wave's end).
struct QMIX_PLAYPARAMS
{
    DWORD dwSize;
    LPVOID lpImage;
    HWND hwndNotify;
    LPVOID callback;
    LPVOID dwUser;
    LONG lStart;
    LONG lStartLoop;
    LONG lEndLoop;
    LONG lEnd;
};

struct QSPOLAR
{
    int32_t azimuth;
    int32_t range;
    int32_t elevation;
};

struct QMixSession;
struct QMixWave;
typedef QMixSession* HQMIXER;
typedef QMixWave* LPMIXWAVE;

HQMIXER QSWaveMixInitEx(const QMIXCONFIG* lpConfig);
MMRESULT QSWaveMixActivate(HQMIXER hQMixer, BOOL fActivate);
MMRESULT QSWaveMixOpenChannel(HQMIXER hQMixer, int iChannel, DWORD dwFlags);
// The flags and mode are taken as the engine passes them: every channel mixes the same way
// here, so the call only checks that the channel is open.
MMRESULT QSWaveMixEnableChannel(HQMIXER hQMixer, int iChannel, DWORD dwFlags, int iMode);
LPMIXWAVE QSWaveMixOpenWave(HQMIXER hQMixer, LPVOID lpWaveParams, HINSTANCE hInstance,
                            DWORD dwFlags);
// Loops: 0 plays once, n plays n + 1 times, QMIX_LOOP_FOREVER until stopped. A wave already
// on the channel is replaced.
MMRESULT QSWaveMixPlayEx(HQMIXER hQMixer, int iChannel, DWORD dwFlags, LPMIXWAVE lpMixWave,
                         int iLoops, const QMIX_PLAYPARAMS* lpParams);
MMRESULT QSWaveMixStopChannel(HQMIXER hQMixer, int iChannel, DWORD dwFlags);
MMRESULT QSWaveMixFlushChannel(HQMIXER hQMixer, int iChannel, DWORD dwFlags);
// TRUE when nothing plays on the channel (also for a channel never played or not open).
BOOL QSWaveMixIsChannelDone(HQMIXER hQMixer, int iChannel);
MMRESULT QSWaveMixSetVolume(HQMIXER hQMixer, int iChannel, DWORD dwFlags, int iVolume);
MMRESULT QSWaveMixGetVolume(HQMIXER hQMixer, int iChannel, int* lpiVolume);
// Frequency 0 restores the wave's own rate.
MMRESULT QSWaveMixSetFrequency(HQMIXER hQMixer, int iChannel, DWORD dwFlags, DWORD dwFrequency);
MMRESULT QSWaveMixGetFrequency(HQMIXER hQMixer, int iChannel, DWORD* lpdwFrequency);
MMRESULT QSWaveMixSetPosition(HQMIXER hQMixer, int iChannel, DWORD dwFlags,
                              const QSPOLAR* lpPosition);
// A wave still playing is stopped on its channels first.
MMRESULT QSWaveMixFreeWave(HQMIXER hQMixer, LPMIXWAVE lpMixWave);
MMRESULT QSWaveMixCloseSession(HQMIXER hQMixer);

// Test hooks.
// No output device opens while this is set: QSWaveMixInitEx gives NULL.
void QmixForceNoDeviceForTests(BOOL boNoDevice);
// Sessions opened while this is set render only when asked (OpenAL Soft's loopback device),
// stereo 16-bit at the session's rate.
void QmixUseLoopbackForTests(BOOL boLoopback);
// Renders frames of a loopback session into interleaved left/right samples; streams are fed
// as the rendering goes. FALSE for any other session.
BOOL QmixRenderForTests(HQMIXER hQMixer, int16_t* pSamples, int nFrames);
// The bytes of PCM data a wave holds (a stream: its data chunk), 0 for an unknown wave.
DWORD QmixWaveBytesForTests(HQMIXER hQMixer, LPMIXWAVE lpMixWave);
// Sessions open now.
int QmixLiveSessions(void);
