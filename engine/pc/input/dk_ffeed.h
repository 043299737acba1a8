// Force feedback: one joystick with force feedback, driven through DirectInput, and up to 10
// effects in numbered slots that the game creates once and then starts, stops and changes.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define DK_MAX_FF_EFFECTS 10
#define DK_FF_NO_TRIGGER (-1)

class IDirectInputA;
class IDirectInputDevice2A;

int DkInitForceFeedback(void);
HRESULT DkCreateForceFeedbackDevice(void* hWnd, IDirectInputA** ppDI,
                                    IDirectInputDevice2A** ppDevice);
BOOL DkForceFeedbackDestructor(void);
void DkReleaseAllEffects(void);

// Durations in microseconds, directions in hundredths of a degree, magnitudes and levels
// 0..10000. The trigger is a joystick button number, or DK_FF_NO_TRIGGER.
HRESULT DkCreatePeriodicEffect(int nKind, uint32_t uDuration, uint32_t uPeriod, int32_t nDirection,
                               uint32_t uMagnitude, int32_t nOffset, uint32_t uAttackTime,
                               uint32_t uAttackLevel, uint32_t uFadeTime, uint32_t uFadeLevel,
                               int nTrigger);
HRESULT DkCreateConstantForceEffect(uint32_t uDuration, int32_t nDirection, int32_t nMagnitude,
                                    uint32_t uAttackTime, uint32_t uAttackLevel, uint32_t uFadeTime,
                                    uint32_t uFadeLevel, int nTrigger);
HRESULT DkCreateRampForceEffect(uint32_t uDuration, int32_t nDirection, int32_t nStart,
                                int32_t nEnd, uint32_t uAttackTime, uint32_t uAttackLevel,
                                uint32_t uFadeTime, uint32_t uFadeLevel, int nTrigger);
HRESULT DkCreateSpringEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nXOffset,
                             int32_t nYCoefficient, int32_t nYOffset, int nTrigger);
HRESULT DkCreateDamperAxesEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nXOffset,
                                 int32_t nYCoefficient, int32_t nYOffset, int nTrigger);
HRESULT DkCreateInertiaEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nXOffset,
                              int32_t nYCoefficient, int32_t nYOffset, int nTrigger);
HRESULT DkCreateFrictionEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nYCoefficient,
                               int nTrigger);
HRESULT DkCreateDamperEffect(uint32_t uDuration, int32_t nCoefficient, int32_t nOffset,
                             int nTrigger);
HRESULT DkCreateStoredSpringEffect(uint32_t uDuration, int32_t nCoefficient, int32_t nOffset,
                                   int nTrigger);

HRESULT DkSetEffectGain(int nSlot, uint32_t uGain);
HRESULT DkSetEffectDirection(int nSlot, int32_t nDirection);
HRESULT DkSetEffectDuration(int nSlot, uint32_t uDuration);
HRESULT DkSetEffectSamplePeriod(int nSlot, uint32_t uSamplePeriod);
HRESULT DkSetEffectDirectionAndMagnitude(int nSlot, uint32_t uGain, int32_t nDirection);
HRESULT DkSetEffectParams(int nSlot, uint32_t uGain, uint32_t uSamplePeriod);
HRESULT DkSetEffectCoefficient(int nSlot, int32_t nCoefficient);

void DkStartEffect(int nSlot);
void DkStopEffect(int nSlot);
void DkStopAllEffects(void);
void DkSetForceFeedbackAutoCenter(uint32_t uValue);
BOOL DkIsForceFeedbackInitialised(void);
