// The rally-school instructor's speech. So far only the collision remark the damage model feeds.
#pragma once

#include <cstdint>

// The latest collision's damage (16.16, 0 to 1.0) for the instructor's remarks; keeps the value
// so far.
void SchoolSpeech_SetCollisionSeverity(const int32_t* pxDamage);

// Test hooks: the calls since the last reset, and the last damage handed over.
int SchoolSpeech_GetSeverityCallsForTests(void);
int32_t SchoolSpeech_GetLastSeverityForTests(void);
void SchoolSpeech_ResetForTests(void);

// Plays the queued instructor speech, the spoken total mark, the lesson's intro; the speech's
// mixer channel.
void SchoolSpeech_PlayQueued(void);
void SchoolSpeech_SayTotalMark(void);
void SchoolSpeech_PlayIntro(void);
int32_t SchoolSpeech_GetChannel(void);
