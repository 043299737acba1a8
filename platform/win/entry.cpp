// The C runtime's entry: hands the command line (the words after the program's name, joined
// by single spaces) to WinMain, as the original platform's runtime does.

#include <string>

#include "platform/win/win.h"

namespace
{
char gInstance;
}

int WinRunMain(int argc, char** argv, WINMAIN_FN pfnWinMain)
{
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
    {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    return pfnWinMain(reinterpret_cast<HINSTANCE>(&gInstance), nullptr, commandLine.data(),
                      SW_SHOWNORMAL);
}
