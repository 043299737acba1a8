// The command line, split once at start-up into at most MAX_PARAMS words.
#pragma once

#include "engine/include/dk_types.h"

#define MAX_PARAMS 5
#define DK_MAX_PARAM_LENGTH 259

extern int gnNumCommandLineParams;

int DkParseCommandLine(const char* pszCommandLine);
// The word, or NULL.
char* GetCommandLineParameter(unsigned int uIndex);
// The destroy callback "Command line string destructor".
BOOL DkFreeCommandLine(void);
