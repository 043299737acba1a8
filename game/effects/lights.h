// Car lights: lamps, glows, water flicker and broken lamps. So far the stage's light, the glow
// textures and the breakage test the damage model calls.
#pragma once

struct CarBody;

// A hard frontal impact at night may break the car's extra front lamps (records the call so far).
void Lights_CheckBreakage(CarBody* pBody);

// Test hooks: the calls since the last reset, and the car of the last.
int Lights_GetBreakageCallsForTests(void);
const CarBody* Lights_GetLastBreakageCarForTests(void);
void Lights_ResetForTests(void);

struct DK_TEXTURE;

// The stage's one light: a white point light at (100.0, 100.0, 100.0) under the world actor.
void Lights_Init(void);
// With gboEffectsCapable, the headlamp and brake-lamp glows ("images\headglow.bmp",
// "images\bglow2.bmp" from the disc); a missing image leaves its texture NULL.
void Lights_LoadGlowTextures(void);
extern DK_TEXTURE* gpHeadGlowTexture;
extern DK_TEXTURE* gpBrakeGlowTexture;
