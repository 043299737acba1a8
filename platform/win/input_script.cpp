#include "platform/win/input_script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/time/time.h"
#include "platform/win/keys.h"
#include "platform/win/win_internal.h"

namespace
{

constexpr DWORD kTapLength = 40;

struct ScriptEvent
{
    DWORD time;
    int vKey;
    bool down;
};

struct Script
{
    bool loaded = false;  // the environment has been looked at, or a text was given
    bool active = false;  // a script was given
    bool started = false; // its clock runs
    DWORD startTime = 0;
    DWORD endTime = 0;
    size_t next = 0;
    std::vector<ScriptEvent> events;
};

Script gScript;

void Report(int line, const char* what)
{
    std::fprintf(stderr, "DEZOR_INPUT: line %d: %s\n", line, what);
}

void Parse(const std::string& text)
{
    gScript.events.clear();
    gScript.endTime = 0;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    DWORD lastTime = 0;
    bool explicitEnd = false;
    while (std::getline(in, line))
    {
        ++lineNo;
        std::istringstream words(line);
        std::string timeWord, event, argument;
        if (!(words >> timeWord) || timeWord[0] == '#')
            continue;
        words >> event >> argument;
        char* end = nullptr;
        unsigned long time = std::strtoul(timeWord.c_str(), &end, 10);
        if (*end != '\0' || time > 0x7FFFFFFFul)
        {
            Report(lineNo, "the time is not a number of milliseconds");
            continue;
        }
        if (time < lastTime)
        {
            Report(lineNo, "the time goes backwards");
            continue;
        }
        if (event == "end")
        {
            gScript.endTime = static_cast<DWORD>(time);
            explicitEnd = true;
            break;
        }
        if (event != "down" && event != "up" && event != "tap")
        {
            Report(lineNo, "unknown event (down, up, tap or end)");
            continue;
        }
        int vKey = WinVirtualKeyFromName(argument.c_str());
        if (vKey == 0)
        {
            Report(lineNo, "unknown key");
            continue;
        }
        DWORD t = static_cast<DWORD>(time);
        if (event == "tap")
        {
            gScript.events.push_back({t, vKey, true});
            gScript.events.push_back({t + kTapLength, vKey, false});
        }
        else
            gScript.events.push_back({t, vKey, event == "down"});
        lastTime = t;
    }
    if (!explicitEnd)
        for (const ScriptEvent& e : gScript.events)
            gScript.endTime = std::max(gScript.endTime, e.time);
    // A tap may leave its key-up after a later line: play in time order.
    std::stable_sort(gScript.events.begin(), gScript.events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.time < b.time; });
}

void LoadOnce()
{
    if (!gScript.loaded)
        WinInputScriptLoadFromEnvironment();
}

} // namespace

BOOL WinInputScriptLoadText(const std::string& text)
{
    gScript = Script{};
    gScript.loaded = true;
    gScript.active = true;
    Parse(text);
    return gScript.events.empty() && gScript.endTime == 0 ? FALSE : TRUE;
}

void WinInputScriptLoadFromEnvironment(void)
{
    gScript = Script{};
    gScript.loaded = true;
    const char* path = std::getenv("DEZOR_INPUT");
    if (path == nullptr || *path == '\0')
        return;
    gScript.active = true;
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "DEZOR_INPUT: cannot read %s; the script counts as ended\n", path);
        return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str());
}

void WinInputScriptClear(void)
{
    gScript = Script{};
    gScript.loaded = true;
}

void WinInputScriptStart(void)
{
    LoadOnce();
    if (!gScript.active || gScript.started)
        return;
    gScript.started = true;
    gScript.startTime = timeGetTime();
}

void WinInputScriptPump(void)
{
    LoadOnce();
    if (!gScript.started)
        return;
    DWORD now = timeGetTime() - gScript.startTime;
    while (gScript.next < gScript.events.size() && gScript.events[gScript.next].time <= now)
    {
        const ScriptEvent& e = gScript.events[gScript.next++];
        WinKeyEvent(e.vKey, e.down ? TRUE : FALSE);
    }
}

BOOL WinInputScriptActive(void)
{
    LoadOnce();
    return gScript.active ? TRUE : FALSE;
}

BOOL WinInputScriptEnded(void)
{
    LoadOnce();
    if (!gScript.active || !gScript.started)
        return FALSE;
    DWORD now = timeGetTime() - gScript.startTime;
    return gScript.next >= gScript.events.size() && now >= gScript.endTime ? TRUE : FALSE;
}
