// Language texts: every text the game shows, asked for by number. The caller loads the
// language files and hands their images over; each image is cut into numbered strings in
// place (a run of bytes below 32 ends a string) and one pointer table serves all languages.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// Builds the table for nLanguages languages of nStrings strings each from the images
// (apImages[i] holds auSizes[i] bytes; both arrays have nLanguages entries).
void DkInitialiseLanguageText(uint8_t nLanguages, int32_t nStrings, char* const* apImages,
                              const uint32_t* auSizes);
void DkSetLanguage(uint8_t nLanguage);
// The string in the current language, or "INVALID TEXT STRING".
const char* DkGetText(int32_t nString);
void DkFreeLanguageText(void);
