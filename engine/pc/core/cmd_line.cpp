#include "engine/pc/core/cmd_line.h"

#include <cstdlib>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"

int gnNumCommandLineParams = 0;

namespace
{
// The words live outside the game's heaps, so that they survive every heap reset.
char* gapParams[MAX_PARAMS];
BOOL gboParsed = FALSE;
} // namespace

int DkParseCommandLine(const char* pszCommandLine)
{
    if (gboParsed)
    {
        // The program parses once; a second parse keeps the words it has.
        DKREPORT("Command line already parsed");
        return gnNumCommandLineParams;
    }
    for (char*& param : gapParams)
        param = nullptr;
    gnNumCommandLineParams = 0;

    if (pszCommandLine == nullptr || pszCommandLine[0] == '\0')
    {
        DkDisableLog();
        return 0;
    }

    const char* p = pszCommandLine;
    BOOL boTooMany = FALSE;
    for (;;)
    {
        while (*p == ' ')
            ++p;
        char word[DK_MAX_PARAM_LENGTH + 1];
        size_t length = 0;
        while (*p != '\0' && *p != ' ')
        {
            if (length < DK_MAX_PARAM_LENGTH)
                word[length++] = *p;
            ++p;
        }
        word[length] = '\0';

        if (gnNumCommandLineParams < MAX_PARAMS)
        {
            char* copy = static_cast<char*>(std::malloc(length + 2));
            if (copy == nullptr)
                DKREPORT("Mem alloc failed");
            else
            {
                std::memcpy(copy, word, length + 1);
                gapParams[gnNumCommandLineParams++] = copy;
            }
        }
        else
        {
            boTooMany = TRUE;
        }
        // Only the end of the text ends the loop, so trailing spaces make one more, empty word.
        if (*p == '\0')
            break;
    }
    if (boTooMany)
        DKREPORT("DkParseCommandLine() : More than MAX_PARAMS parameters, the rest are ignored");

    gboParsed = TRUE;
    DkAddDestructor(DkFreeCommandLine, "Command line string destructor");
    return gnNumCommandLineParams;
}

char* GetCommandLineParameter(unsigned int uIndex)
{
    if (!gboParsed)
        DKREPORT("Command line has not been parsed");
    if (uIndex > MAX_PARAMS - 1)
    {
        DKREPORT("GetCommandLineParameter() : Parameter number is > MAX_PARAMS");
        return nullptr;
    }
    if (uIndex >= static_cast<unsigned int>(gnNumCommandLineParams))
    {
        DKREPORT("GetCommandLineParameter() : Parameter number is > gnNumCommandLineParams");
        return nullptr;
    }
    return gapParams[uIndex];
}

BOOL DkFreeCommandLine(void)
{
    // Back to the unparsed state, so that nothing can hand out a freed word.
    for (int i = 0; i < gnNumCommandLineParams; ++i)
    {
        std::free(gapParams[i]);
        gapParams[i] = nullptr;
    }
    gnNumCommandLineParams = 0;
    gboParsed = FALSE;
    return TRUE;
}
