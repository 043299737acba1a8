// The two engine heaps. The main heap is a bump allocator holding all data of a phase, given
// back at once by a reset; the temporary heap holds one block at a time (a file that is parsed
// and then dropped). Both are created once at start-up and live until exit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/include/dk_types.h"

// Records on the heap hold pointers, so on a 64-bit build blocks keep 8-byte alignment: sizes
// are rounded up to a multiple of this, and the header in front of each block stays 8 bytes.
#define DK_HEAP_ALIGN 8
#define DK_HEAP_MAX_BLOCKS 50000

// Written directly in front of every main-heap block.
struct DK_HEAP_HEADER
{
    uint32_t uAllocationNumber; // index in the block table, 0 for the first block after a reset
    uint32_t uSize;             // rounded size of the block's data
};
static_assert(sizeof(DK_HEAP_HEADER) == 8, "the header is 8 bytes in front of every block");
static_assert(sizeof(DK_HEAP_HEADER) % DK_HEAP_ALIGN == 0, "the header keeps blocks aligned");

// Both return the destroy-callback index, or -1 when the heap could not be allocated.
int DkHeapInit(uint32_t uBytes);
int DkTempHeapInit(uint32_t uBytes);

// A zero-filled block, or NULL (reported) when it does not fit.
void* DkHeapAlloc(size_t uBytes);
// The temporary heap's one block: every call returns the same address, zero-filled, and the
// previous block is gone.
void* DkTempHeapAlloc(size_t uBytes);
// Nothing is given back before the next reset.
BOOL DkHeapFree(void* pMemory);
BOOL DkHeapRealloc(void* pMemory, size_t uBytes);

void DkHeapReset(void);
void DkTempHeapReset(void);
// The end of a phase: tears the display down, then empties both heaps.
void DkResetAllHeaps(void);

// Destroy callbacks.
BOOL DkHeapDestroy(void);
BOOL DkTempHeapDestroy(void);

// Not called by the game.
BOOL DkHeapResize(uint32_t uBytes);
void DkHeapReportUsage(void);
void DkHeapCheckLeaks(void);

// The sound loader counts every wave it loads into the peak.
void DkHeapAddWaveBytes(uint32_t uBytes);

uint32_t DkHeapGetBytesUsed(void);
uint32_t DkHeapGetPeak(void);
const void* DkHeapGetBase(void);
uint32_t DkHeapGetBlockCount(void);
