// The memory checker: a debugging tracker of named blocks allocated outside the engine heaps.
// Every block still recorded at exit is listed.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define DK_MAX_MEM_BLOCKS 16384
#define DK_MEM_BLOCK_NAME_LENGTH 29
#define DK_MEM_BLOCK_FILE_LENGTH 45

// Bytes recorded now.
extern uint32_t guTotalMemUsed;

void InitMemChecker(void);
void AddMemBlock(void* pMemory, uint32_t uSize, const char* pszName, int nLine,
                 const char* pszFile);
void FreeMemBlock(void* pMemory, int nLine, const char* pszFile);
// The number of blocks recorded.
int DumpUsedMemoryBlocks(void);
// Lists nothing; it only checks that the checker is running.
int DkDumpMemoryBlocksMatching(const char* pszText);
// Destroy callback; runs once.
BOOL MemCheckerDestructor(void);

#define ADD_MEM_BLOCK(p, size, name) AddMemBlock((p), (size), (name), __LINE__, __FILE__)
#define FREE_MEM_BLOCK(p) FreeMemBlock((p), __LINE__, __FILE__)

// Test hook: forgets every record, counter and flag, as at program start.
void DkResetMemCheckerForTests(void);
