#include "engine/common/checkmem.h"

#include <cstdio>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/include/dk_services.h"

uint32_t guTotalMemUsed = 0;

namespace
{

struct DK_MEM_BLOCK
{
    void* pMemory;
    uint32_t uSize;
    char szName[32];
    BOOL boInUse;
    int32_t nLine;
    char szFile[48];
};
static_assert(DK_MEM_BLOCK_NAME_LENGTH < sizeof(DK_MEM_BLOCK::szName));
static_assert(DK_MEM_BLOCK_FILE_LENGTH < sizeof(DK_MEM_BLOCK::szFile));

DK_MEM_BLOCK gaMemBlocks[DK_MAX_MEM_BLOCKS];
int gnMemBlocksAdded = 0;
int gnMemBlocksFreed = 0;
uint32_t guPeakMemUsed = 0;
// The log gets the first few leftover blocks only; the debugger output gets them all.
int gnDumpLinesLogged = 0;
const int kMaxDumpLinesLogged = 10;
BOOL gboMemCheckerDestroyed = FALSE;
BOOL gboNotFoundReported = FALSE;
BOOL gboMemCheckerInitialised = FALSE;

const char kStars[] = "\n*********************************************\n";

} // namespace

void InitMemChecker(void)
{
    if (gboMemCheckerInitialised)
    {
        DKREPORT("Error : Multiple attempts to initialise the memory checker");
        return;
    }
    guTotalMemUsed = 0;
    gnMemBlocksAdded = 0;
    gnMemBlocksFreed = 0;
    guPeakMemUsed = 0;
    std::memset(gaMemBlocks, 0, sizeof gaMemBlocks);
    DkDebugOutput(DkFormatString("\nInitMemChecker() : Can track up to %d memory blocks\n",
                                 DK_MAX_MEM_BLOCKS));
    DkAddDestructor(MemCheckerDestructor, "MemCheckerDestructor");
    gboMemCheckerInitialised = TRUE;
}

void AddMemBlock(void* pMemory, uint32_t uSize, const char* pszName, int nLine, const char* pszFile)
{
    const char* file = pszFile != nullptr ? pszFile : "";
    if (!gboMemCheckerInitialised)
    {
        DKREPORT("AddMemBlock() : Memory checker has not been initialised");
        return;
    }
    if (pMemory == nullptr)
    {
        DKREPORT(DkFormatString("AddMemBlock() : NULL pointer passed\n\nThe call to add this "
                                "block was made on line %d, in %s",
                                nLine, file));
        return;
    }
    if (uSize == 0)
    {
        DKREPORT(DkFormatString("AddMemBlock() : BlockSize cannot be zero\n\nThe call to add "
                                "this block was made on line %d, in %s",
                                nLine, file));
        return;
    }
    if (pszName == nullptr || pszName[0] == '\0')
    {
        DKREPORT(DkFormatString("AddMemBlock() : Please specify a name for the blockThe call to "
                                "add this block was made on line %d, in %s",
                                nLine, file));
        return;
    }
    for (int i = 0; i < DK_MAX_MEM_BLOCKS; ++i)
    {
        const DK_MEM_BLOCK& block = gaMemBlocks[i];
        if (block.boInUse && block.pMemory == pMemory)
        {
            DKREPORT(DkFormatString(
                "AddMemBlock() : You have tried to add a block of memory\n'%s' on line %d in "
                "%s\nwhich is already in the list as :\nBlock #%d ('%s', added in file %s, line "
                "%d).\nCheck that you have done FREE_MEM_BLOCK on this object\nif the object is "
                "allocated and freed, several times.",
                pszName, nLine, file, i, block.szName, block.szFile, block.nLine));
            return;
        }
    }
    for (DK_MEM_BLOCK& block : gaMemBlocks)
    {
        if (block.boInUse)
            continue;
        block.pMemory = pMemory;
        block.uSize = uSize;
        std::snprintf(block.szName, DK_MEM_BLOCK_NAME_LENGTH + 1, "%s", pszName);
        block.boInUse = TRUE;
        block.nLine = nLine;
        std::snprintf(block.szFile, DK_MEM_BLOCK_FILE_LENGTH + 1, "%s", file);
        guTotalMemUsed += uSize;
        ++gnMemBlocksAdded;
        if (guTotalMemUsed > guPeakMemUsed)
            guPeakMemUsed = guTotalMemUsed;
        return;
    }
    // A full table: the block goes unrecorded.
    DKREPORT("AddMemBlock() : Too many memory blocks added to memory checker\nPlease re-compile "
             "memory checker to allow more memory blocks\n\nYou *MUST* press ABORT, to quit");
}

void FreeMemBlock(void* pMemory, int nLine, const char* pszFile)
{
    const char* file = pszFile != nullptr ? pszFile : "";
    if (!gboMemCheckerInitialised)
    {
        DKREPORT("FreeMemBlock() : Memory checker has not been initialised");
        return;
    }
    if (pMemory == nullptr)
    {
        DKREPORT(DkFormatString("FreeMemBlock() : Pointer to NULL\n\nThe call to free this block "
                                "was made on line %d, in %s",
                                nLine, file));
        return;
    }
    int nFound = 0;
    uint32_t uSize = 0;
    for (DK_MEM_BLOCK& block : gaMemBlocks)
    {
        if (block.boInUse && block.pMemory == pMemory)
        {
            uSize = block.uSize;
            block.boInUse = FALSE;
            ++nFound;
        }
    }
    if (nFound == 0)
    {
        // Once only: a program that frees untracked memory would otherwise report on every call.
        if (!gboNotFoundReported)
        {
            gboNotFoundReported = TRUE;
            DKREPORT(DkFormatString(
                "FreeMemBlock() : Pointer not found in memory check list.\nEither this memory has "
                "not been added to the memory checker\nor you are trying to free a memory block "
                "more than once.\n\nThe call to free this block was made on line %d, in %s",
                nLine, file));
        }
    }
    else if (nFound > 1)
    {
        DKREPORT("FreeMemBlock() : *** INTERNAL ERROR ***\nPLEASE FIX MEMORY TRACKER CODE!!!");
    }
    else
    {
        guTotalMemUsed -= uSize;
        ++gnMemBlocksFreed;
    }
}

int DumpUsedMemoryBlocks(void)
{
    if (!gboMemCheckerInitialised)
    {
        DKREPORT("DumpUsedMemoryBlocks() : Memory checker has not been initialised");
        return 0;
    }
    DkDebugOutput(kStars);
    DkDebugOutput("USED MEMORY BLOCK DUMP\n");
    int nUsed = 0;
    for (int i = 0; i < DK_MAX_MEM_BLOCKS; ++i)
    {
        const DK_MEM_BLOCK& block = gaMemBlocks[i];
        if (!block.boInUse)
            continue;
        char szLine[DK_FORMAT_BUFFER_SIZE];
        std::snprintf(szLine, sizeof szLine,
                      "Block %d ('%s', added in file %s, line %d), is using %d bytes of memory", i,
                      block.szName, block.szFile, block.nLine, static_cast<int>(block.uSize));
        if (gnDumpLinesLogged < kMaxDumpLinesLogged)
        {
            DkLog(szLine);
            ++gnDumpLinesLogged;
        }
        DkDebugOutput(DkFormatString("%s\n", szLine));
        ++nUsed;
    }
    DkDebugOutput(DkFormatString("\n%d memory blocks are **currently** tracked\n", nUsed));
    DkDebugOutput(
        DkFormatString("Current memory in use : %d bytes\n", static_cast<int>(guTotalMemUsed)));
    DkDebugOutput(DkFormatString("ADD_MEM_BLOCK has been called %d times\n", gnMemBlocksAdded));
    DkDebugOutput(DkFormatString("FREE_MEM_BLOCK has been called %d times\n", gnMemBlocksFreed));
    DkDebugOutput(
        DkFormatString("Peak memory usage : %d bytes\n", static_cast<int>(guPeakMemUsed)));
    if (nUsed == 0)
    {
        DkDebugOutput("\n***************************\n");
        DkDebugOutput("ALL MEMORY BLOCKS ARE FREE!\n");
        DkDebugOutput("***************************\n\n");
        if (guTotalMemUsed != 0)
            DKREPORT("All memory blocks are registered free, but guTotalMemUsed is not zero!");
    }
    DkDebugOutput(kStars);
    return nUsed;
}

int DkDumpMemoryBlocksMatching(const char*)
{
    if (!gboMemCheckerInitialised)
        DKREPORT("DumpUsedMemoryBlocks() : Memory checker has not been initialised");
    return 0;
}

BOOL MemCheckerDestructor(void)
{
    if (gboMemCheckerDestroyed)
        return TRUE;
    gboMemCheckerDestroyed = TRUE;
    DkDebugOutput("MemCheckerDestructor()\n");
    int nUsed = DumpUsedMemoryBlocks();
    if (nUsed != 0)
        DKREPORT(DkFormatString("\nMemCheckerDestructor() : %d memory blocks remain used\nCheck "
                                "the output file to see which blocks have not been freed",
                                nUsed));
    return TRUE;
}

void DkResetMemCheckerForTests(void)
{
    std::memset(gaMemBlocks, 0, sizeof gaMemBlocks);
    guTotalMemUsed = 0;
    gnMemBlocksAdded = 0;
    gnMemBlocksFreed = 0;
    guPeakMemUsed = 0;
    gnDumpLinesLogged = 0;
    gboMemCheckerDestroyed = FALSE;
    gboNotFoundReported = FALSE;
    gboMemCheckerInitialised = FALSE;
}
