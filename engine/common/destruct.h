// The destroy-callback registry. Every module that holds a resource registers one named
// callback when it initialises; teardown runs the registry backwards. The index a
// registration returns is a mark: calling down to it destroys what was built since.
#pragma once

#include "engine/include/dk_types.h"

#define DK_MAX_DESTRUCTORS 64
#define DK_DESTRUCTOR_NAME_LENGTH 32

typedef BOOL (*DK_DESTRUCTOR_FN)(void);

struct DK_DESTRUCTOR
{
    DK_DESTRUCTOR_FN pfnCallback;
    char szName[DK_DESTRUCTOR_NAME_LENGTH];
};

extern DK_DESTRUCTOR gaDestructors[DK_MAX_DESTRUCTORS];
extern int gnNumDestructors;

// The entry's index, or -1 on failure.
int DkAddDestructor(DK_DESTRUCTOR_FN pfnCallback, const char* pszName);
// Whether the callback is in the registry now (a module that may be set up again after its
// callback ran registers it only then).
BOOL DkIsDestructorAdded(DK_DESTRUCTOR_FN pfnCallback);
// Calls entries count-1 down to nMark, inclusive, and leaves the count at nMark.
int DkCallDestructors(int nMark);
int DkCallAllDestructors(void);
int DkDumpDestructors(void);
