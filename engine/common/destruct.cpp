#include "engine/common/destruct.h"

#include <cstdio>

#include "engine/include/dk_services.h"

DK_DESTRUCTOR gaDestructors[DK_MAX_DESTRUCTORS];
int gnNumDestructors = 0;

int DkAddDestructor(DK_DESTRUCTOR_FN pfnCallback, const char* pszName)
{
    const char* name = pszName != nullptr ? pszName : "";
    if (pfnCallback == nullptr)
    {
        DKREPORT("NULL function pointer");
        return -1;
    }
    for (int i = 0; i < gnNumDestructors; ++i)
    {
        if (gaDestructors[i].pfnCallback == pfnCallback)
        {
            DKREPORT(DkFormatString("Error : Destructor function (%s) has been previously added!",
                                    name));
            return i;
        }
    }
    if (gnNumDestructors >= DK_MAX_DESTRUCTORS)
    {
        DKREPORT("Too many destructors added to the destructor-list!!!");
        return -1;
    }

    DK_DESTRUCTOR& entry = gaDestructors[gnNumDestructors];
    entry.pfnCallback = pfnCallback;
    DkLog(DkFormatString("\n*** Destructor %d = \"%s\" ***", gnNumDestructors, name));
    std::snprintf(entry.szName, sizeof entry.szName, "%s", name);
    return gnNumDestructors++;
}

BOOL DkIsDestructorAdded(DK_DESTRUCTOR_FN pfnCallback)
{
    for (int i = 0; i < gnNumDestructors && i < DK_MAX_DESTRUCTORS; ++i)
        if (gaDestructors[i].pfnCallback == pfnCallback)
            return TRUE;
    return FALSE;
}

int DkCallDestructors(int nMark)
{
    DkDebugPrint(DkFormatString("\nNOW CALLING ALL DESTRUCTORS UP TO %d \n", gnNumDestructors));
    // A mark outside the live entries must not make stale entries live again.
    if (nMark < 0)
        nMark = 0;
    if (nMark > gnNumDestructors)
        nMark = gnNumDestructors;
    for (;;)
    {
        int nOld = gnNumDestructors--;
        if (nOld <= nMark)
            break;
        const DK_DESTRUCTOR entry = gaDestructors[gnNumDestructors];
        const char* trace =
            DkFormatString("~:-- Calling destructor %d (%s)\n", gnNumDestructors, entry.szName);
        DkDebugOutput(trace);
        DkDebugPrint(trace);
        if (!entry.pfnCallback())
            DKREPORT(DkFormatString(
                "Destructor function '%s' returned FALSE,\nwhich may indicate an error!",
                entry.szName));
    }
    gnNumDestructors = nMark;
    return nMark;
}

int DkCallAllDestructors(void)
{
    return DkCallDestructors(0);
}

int DkDumpDestructors(void)
{
    DkLog(DkFormatString("\nDumping %d destructors.", gnNumDestructors));
    for (int i = gnNumDestructors - 1; i >= 0; --i)
        DkDebugOutput(
            DkFormatString("*Dumping* Destructor %d = (%s)\n", i, gaDestructors[i].szName));
    return gnNumDestructors;
}
