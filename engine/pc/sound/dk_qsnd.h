// The game's sound: one mixer session, up to MAX_WAVS waves loaded by number and 30 channels
// chosen by the callers. Every call does nothing (and gives 0) while the session is not open,
// so the game runs silently on a machine without sound.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define MAX_WAVS 300
#define DK_MAX_QCHANNELS 30
#define DK_QWAVE_NAME_SIZE 260
#define DK_QWAV_HEADER_BYTES 44
// A loaded file plays from its header's end to this many bytes before its own end.
#define DK_QWAV_TAIL_BYTES 100

struct QMixWave;

struct DK_QWAVE
{
    int32_t number;
    char name[DK_QWAVE_NAME_SIZE];
    QMixWave* handle; // NULL: not loaded
};

extern DK_QWAVE gaQWaves[MAX_WAVS];

int DkInitQSound(void);
BOOL DkQSoundDestructor(void);
BOOL DkIsQSoundInitialised(void);

int DkOpenQChannel(int nChannel);
int DkGetNumQChannels(void);

// Loads a WAV file (load kind 0: the name as given, raw or DKPR) in the caller's format; the
// result is the new number of loaded waves.
int DkLoadQSample(const char* pszFileName, int nSampleRate, int nBitsPerSample, int nStereo);
int DkGetNumQSamples(void);
// Opens the named WAV file as a stream in the next wave slot.
void DkSetUpQStream(const char* pszFileName);

void DkPlayQSample(int nWave, int nChannel, int nRepeat);
void DkPlayQSampleEx(int nWave, int nChannel, int nRepeat, int32_t nParam1, int32_t nParam2,
                     int32_t nParam3, int32_t nParam4);
void DkStopQChannel(int nChannel);
void DkStopAllQChannels(void);
void DkFlushQChannel(int nChannel);
void DkFlushAllQChannels(void);
int DkSetQChannelVolume(int nChannel, int nVolume);
int DkGetQChannelVolume(int nChannel);
int DkSetQChannelFrequency(int nChannel, int nFrequency);
int DkGetQChannelFrequency(int nChannel);
void DkSetQChannelPosition(int nChannel, int nAzimuth, int nRange, int nElevation);
BOOL DkIsQChannelPlaying(int nChannel);
BOOL DkIsQSamplePlaying(int nWave);
int DkGetQChannelSampleId(int nChannel);
const char* DkGetQChannelSampleName(int nChannel);
void DkFreeQSample(int nWave);
void DkFreeAllQSamples(void);

// The mixer session (NULL while closed), for tests that listen to it.
struct QMixSession;
QMixSession* DkGetQSoundSession(void);
