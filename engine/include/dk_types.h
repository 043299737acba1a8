// Types every engine and game module uses.
#pragma once

#include <cstdint>

// The same definitions as the platform layer's, so that either header may come first.
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef int32_t HRESULT;
