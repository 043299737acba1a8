#include "engine/common/dk_heap.h"

#include <cstdlib>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/include/dk_services.h"

// calloc's alignment is what makes the heap's base, and so every block, 8-byte aligned.
static_assert(alignof(std::max_align_t) >= DK_HEAP_ALIGN, "calloc must align the heap's base");

namespace
{

// Main heap.
unsigned char* gpHeapBase = nullptr;
unsigned char* gpHeapEnd = nullptr;
BOOL gboHeapInitialised = FALSE;
uint32_t guHeapBlockCount = 0;
DK_HEAP_HEADER* gapHeapBlocks[DK_HEAP_MAX_BLOCKS];
uint32_t guHeapBytesUsed = 0;
uint32_t guHeapPeak = 0;
uint32_t guHeapWaveBytes = 0; // reported and reset, never increased
int gnHeapDestructor = -1;

// Temporary heap.
unsigned char* gpTempHeapBase = nullptr;
unsigned char* gpTempHeapEnd = nullptr;
BOOL gboTempHeapInitialised = FALSE;
uint32_t guTempHeapPeak = 0;
int gnTempHeapDestructor = -1;

const char kHeapLine[] = "-------------------------------------------"; // 43

// A request rounded up to the alignment. A request so large that rounding would wrap is left
// as it is: it cannot fit either way.
size_t RoundUp(size_t uBytes)
{
    if (uBytes > SIZE_MAX - (DK_HEAP_ALIGN - 1))
        return uBytes;
    return (uBytes + (DK_HEAP_ALIGN - 1)) & ~static_cast<size_t>(DK_HEAP_ALIGN - 1);
}

// n plus the header, for the log only; saturates rather than wraps.
unsigned long WithHeader(size_t n)
{
    size_t uNeeded = n > SIZE_MAX - sizeof(DK_HEAP_HEADER) ? SIZE_MAX : n + sizeof(DK_HEAP_HEADER);
    return static_cast<unsigned long>(uNeeded);
}

size_t HeapSize(void)
{
    return static_cast<size_t>(gpHeapEnd - gpHeapBase);
}

size_t TempHeapSize(void)
{
    return static_cast<size_t>(gpTempHeapEnd - gpTempHeapBase);
}

} // namespace

int DkHeapInit(uint32_t uBytes)
{
    if (gboHeapInitialised)
    {
        // The heap in use stays: its blocks are still referenced.
        DKREPORT("ERROR - HEAP ALREADY INITIALISED!");
        return gnHeapDestructor;
    }
    gpHeapBase = static_cast<unsigned char*>(std::calloc(uBytes, 1));
    if (gpHeapBase == nullptr)
    {
        DKREPORT("ERROR - HEAP NOT INITIALISED!");
        return -1;
    }
    gpHeapEnd = gpHeapBase + uBytes;
    guHeapBlockCount = 0;
    guHeapBytesUsed = 0;
    guHeapPeak = 0;
    guHeapWaveBytes = 0;
    gnHeapDestructor = DkAddDestructor(DkHeapDestroy, "DkHeapDestroy");
    gboHeapInitialised = TRUE;
    return gnHeapDestructor;
}

int DkTempHeapInit(uint32_t uBytes)
{
    if (gboTempHeapInitialised)
    {
        DKREPORT("ERROR - TEMPORARY HEAP ALREADY INITIALISED!");
        return gnTempHeapDestructor;
    }
    gpTempHeapBase = static_cast<unsigned char*>(std::calloc(uBytes, 1));
    if (gpTempHeapBase == nullptr)
    {
        DKREPORT("ERROR - TEMPHEAP NOT INITIALISED!");
        return -1;
    }
    gpTempHeapEnd = gpTempHeapBase + uBytes;
    guTempHeapPeak = 0;
    gnTempHeapDestructor = DkAddDestructor(DkTempHeapDestroy, "DkTempHeapDestroy");
    gboTempHeapInitialised = TRUE;
    return gnTempHeapDestructor;
}

void* DkHeapAlloc(size_t uBytes)
{
    if (!gboHeapInitialised)
        DKREPORT("ERROR - HEAP NOT INTIIALISED!");

    size_t n = RoundUp(uBytes);
    // Blocks follow each other from the base, so the next header sits bytes-used past it.
    size_t uSize = HeapSize();
    size_t uFree = guHeapBytesUsed < uSize ? uSize - guHeapBytesUsed : 0;
    BOOL boFits = n <= uFree && uFree - n >= sizeof(DK_HEAP_HEADER);
    // A full block table fails like a full heap: nothing may be written past it.
    if (!boFits || guHeapBlockCount >= DK_HEAP_MAX_BLOCKS)
    {
        uintptr_t uWouldBe =
            reinterpret_cast<uintptr_t>(gpHeapBase) + guHeapBytesUsed + sizeof(DK_HEAP_HEADER);
        DkLog(DkFormatString("Allocating %lu bytes on the heap (%08lX).",
                             static_cast<unsigned long>(n), static_cast<unsigned long>(uWouldBe)));
        DkLog(DkFormatString("*** %lu bytes of the heap have been used.",
                             static_cast<unsigned long>(guHeapBytesUsed)));
        DkLog(DkFormatString("Free space: %lu bytes     Space needed: %lu bytes",
                             static_cast<unsigned long>(uFree), WithHeader(n)));
        DKREPORT(DkFormatString("Cannot allocate %lu bytes on the heap.",
                                static_cast<unsigned long>(n)));
        return nullptr;
    }

    auto* pHeader = reinterpret_cast<DK_HEAP_HEADER*>(gpHeapBase + guHeapBytesUsed);
    pHeader->uAllocationNumber = guHeapBlockCount;
    pHeader->uSize = static_cast<uint32_t>(n);
    guHeapBytesUsed += static_cast<uint32_t>(n + sizeof(DK_HEAP_HEADER));
    gapHeapBlocks[guHeapBlockCount] = pHeader;
    if (guHeapBytesUsed > guHeapPeak)
        guHeapPeak = guHeapBytesUsed;

    void* pBlock = pHeader + 1;
    std::memset(pBlock, 0, n);
    ++guHeapBlockCount;
    return pBlock;
}

void* DkTempHeapAlloc(size_t uBytes)
{
    if (!gboTempHeapInitialised)
        DKREPORT("ERROR - TEMP HEAP NOT INTIIALISED!");

    size_t n = RoundUp(uBytes);
    size_t uSize = TempHeapSize();
    // The heap must be greater than the request and its 8 unused bytes, not merely as large.
    if (n >= uSize || uSize - n <= sizeof(DK_HEAP_HEADER))
    {
        DKREPORT(DkFormatString("Cannot allocate %lu bytes on the temporary heap.",
                                static_cast<unsigned long>(n)));
        return nullptr;
    }
    uint32_t uNeeded = static_cast<uint32_t>(n + sizeof(DK_HEAP_HEADER));
    if (guTempHeapPeak < uNeeded)
        guTempHeapPeak = uNeeded;
    void* pBlock = gpTempHeapBase + sizeof(DK_HEAP_HEADER);
    std::memset(pBlock, 0, n);
    return pBlock;
}

BOOL DkHeapFree(void*)
{
    if (!gboHeapInitialised)
        DKREPORT("ERROR - HEAP NOT INTIIALISED!");
    return TRUE;
}

BOOL DkHeapRealloc(void* pMemory, size_t)
{
    if (pMemory == nullptr)
        DKREPORT("DkHeapRealloc() : NULL pointer");
    return TRUE;
}

void DkHeapReset(void)
{
    if (!gboHeapInitialised)
        DKREPORT("ERROR - HEAP NOT INTIIALISED!");
    if (gpHeapBase != nullptr)
        std::memset(gpHeapBase, 0, HeapSize());
    guHeapBytesUsed = 0;
    guHeapPeak = 0;
    guHeapWaveBytes = 0;
    guHeapBlockCount = 0;
}

void DkTempHeapReset(void)
{
    if (!gboTempHeapInitialised)
        DKREPORT("ERROR - TEMPORARY HEAP NOT INTIIALISED!");
    if (gpTempHeapBase != nullptr)
        std::memset(gpTempHeapBase, 0, TempHeapSize());
    guTempHeapPeak = 0;
}

void DkResetAllHeaps(void)
{
    // The display's callbacks release objects that live on the heap, so they run first.
    DkMarkDirectDrawForRelease();
    DkDestroyDisplay();
    DkHeapReset();
    DkTempHeapReset();
}

BOOL DkHeapDestroy(void)
{
    if (gboHeapInitialised)
    {
        DkLog(DkFormatString("*** %lu KB RAM usage on the heap",
                             static_cast<unsigned long>(guHeapPeak / 1024)));
        DkLog(DkFormatString("plus %lu KB RAM usage for wavs (not in the heap)",
                             static_cast<unsigned long>(guHeapWaveBytes / 1024)));
        std::free(gpHeapBase);
        gpHeapBase = nullptr;
        gpHeapEnd = nullptr;
    }
    gboHeapInitialised = FALSE;
    DkLog("Heap Destructor done");
    return TRUE;
}

BOOL DkTempHeapDestroy(void)
{
    if (gboTempHeapInitialised)
    {
        DkLog(DkFormatString("*** %lu KB RAM usage on the temporary heap",
                             static_cast<unsigned long>(guTempHeapPeak / 1024)));
        std::free(gpTempHeapBase);
        gpTempHeapBase = nullptr;
        gpTempHeapEnd = nullptr;
    }
    gboTempHeapInitialised = FALSE;
    DkLog("Temporary Heap Destructor done");
    return TRUE;
}

BOOL DkHeapResize(uint32_t uBytes)
{
    if (!gboHeapInitialised)
    {
        DKREPORT("ERROR - HEAP NOT INTIIALISED!");
        return FALSE;
    }
    // The new block is taken before the old one goes, so a failure leaves the heap usable.
    auto* pNew = static_cast<unsigned char*>(std::calloc(uBytes, 1));
    if (pNew == nullptr)
    {
        DKREPORT("ERROR - HEAP NOT INITIALISED!");
        return FALSE;
    }
    // The counters stay; the table follows the blocks to the new base.
    for (uint32_t i = 0; i < guHeapBlockCount; ++i)
    {
        size_t uOffset = reinterpret_cast<unsigned char*>(gapHeapBlocks[i]) - gpHeapBase;
        gapHeapBlocks[i] = reinterpret_cast<DK_HEAP_HEADER*>(pNew + uOffset);
    }
    std::free(gpHeapBase);
    gpHeapBase = pNew;
    gpHeapEnd = pNew + uBytes;
    return TRUE;
}

void DkHeapReportUsage(void)
{
    DkLog(kHeapLine);
    DkLog(DkFormatString("*** %lu bytes of the heap have been used.",
                         static_cast<unsigned long>(guHeapBytesUsed)));
    DkLog(kHeapLine);
}

void DkHeapCheckLeaks(void)
{
    if (guHeapBytesUsed != 0)
        DkLog(DkFormatString(
            "The heap is not empty -  MEMORY LEAK ALERT !!! There are %lu bytes in the heap",
            static_cast<unsigned long>(guHeapBytesUsed)));
}

void DkHeapAddWaveBytes(uint32_t uBytes)
{
    guHeapPeak += uBytes;
}

uint32_t DkHeapGetBytesUsed(void)
{
    return guHeapBytesUsed;
}

uint32_t DkHeapGetPeak(void)
{
    return guHeapPeak;
}

const void* DkHeapGetBase(void)
{
    return gpHeapBase;
}

uint32_t DkHeapGetBlockCount(void)
{
    return guHeapBlockCount;
}
