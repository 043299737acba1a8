#include "platform/win/input_script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
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
    DWORD time; // from its section's start
    int vKey;
    bool down;
    size_t section;
};

// Section 0 counts from the window's first showing; each `from` line opens another that counts
// from a moment the game reports.
struct Section
{
    std::string name;
    DWORD offset = 0;
    bool marked = false;
    DWORD markTime = 0;
};

struct Script
{
    bool loaded = false;  // the environment has been looked at, or a text was given
    bool active = false;  // a script was given
    bool started = false; // its clock runs
    DWORD startTime = 0;
    DWORD endTime = 0;
    size_t endSection = 0;
    size_t next = 0;
    std::vector<ScriptEvent> events;
    std::vector<Section> sections{Section{}};
};

Script gScript;
// The game reports its moments from the tick thread while the main thread plays the script.
std::mutex gScriptLock;

void Report(int line, const char* what)
{
    std::fprintf(stderr, "DEZOR_INPUT: line %d: %s\n", line, what);
}

void Parse(const std::string& text)
{
    gScript.events.clear();
    gScript.sections.assign(1, Section{});
    gScript.endTime = 0;
    gScript.endSection = 0;
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
            gScript.endSection = gScript.sections.size() - 1;
            explicitEnd = true;
            break;
        }
        if (event == "from")
        {
            if (argument.empty())
            {
                Report(lineNo, "a section needs the name of the moment it counts from");
                continue;
            }
            gScript.sections.push_back({argument, static_cast<DWORD>(time)});
            lastTime = 0;
            continue;
        }
        if (event != "down" && event != "up" && event != "tap")
        {
            Report(lineNo, "unknown event (down, up, tap, from or end)");
            continue;
        }
        int vKey = WinVirtualKeyFromName(argument.c_str());
        if (vKey == 0)
        {
            Report(lineNo, "unknown key");
            continue;
        }
        DWORD t = static_cast<DWORD>(time);
        const size_t section = gScript.sections.size() - 1;
        if (event == "tap")
        {
            gScript.events.push_back({t, vKey, true, section});
            gScript.events.push_back({t + kTapLength, vKey, false, section});
        }
        else
            gScript.events.push_back({t, vKey, event == "down", section});
        lastTime = t;
    }
    // A tap may leave its key-up after a later line: play in time order within each section.
    std::stable_sort(gScript.events.begin(), gScript.events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b)
                     { return a.section != b.section ? a.section < b.section : a.time < b.time; });
    if (!explicitEnd && !gScript.events.empty())
    {
        gScript.endSection = gScript.events.back().section;
        gScript.endTime = gScript.events.back().time;
    }
}

// Whether time `t` of `section` has come; FALSE while the section's moment is unreported.
bool Due(size_t section, DWORD t, DWORD now)
{
    const Section& s = gScript.sections[section];
    DWORD start = gScript.startTime;
    if (section != 0)
    {
        if (!s.marked)
            return false;
        start = s.markTime + s.offset;
    }
    return static_cast<int32_t>(now - (start + t)) >= 0;
}

void LoadFromEnvironment()
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

// Under the lock.
void LoadOnce()
{
    if (!gScript.loaded)
        LoadFromEnvironment();
}

} // namespace

BOOL WinInputScriptLoadText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(gScriptLock);
    gScript = Script{};
    gScript.loaded = true;
    gScript.active = true;
    Parse(text);
    return gScript.events.empty() && gScript.endTime == 0 ? FALSE : TRUE;
}

void WinInputScriptLoadFromEnvironment(void)
{
    std::lock_guard<std::mutex> lock(gScriptLock);
    LoadFromEnvironment();
}

void WinInputScriptClear(void)
{
    std::lock_guard<std::mutex> lock(gScriptLock);
    gScript = Script{};
    gScript.loaded = true;
}

void WinInputScriptStart(void)
{
    std::lock_guard<std::mutex> lock(gScriptLock);
    LoadOnce();
    if (!gScript.active || gScript.started)
        return;
    gScript.started = true;
    gScript.startTime = timeGetTime();
}

void WinInputScriptPump(void)
{
    // The events are played under the lock, so that two threads pumping at once keep their
    // order; the key events take the queue's lock, which never waits on this one.
    std::lock_guard<std::mutex> lock(gScriptLock);
    LoadOnce();
    if (!gScript.started)
        return;
    const DWORD now = timeGetTime();
    while (gScript.next < gScript.events.size())
    {
        const ScriptEvent& e = gScript.events[gScript.next];
        if (!Due(e.section, e.time, now))
            break;
        ++gScript.next;
        WinKeyEvent(e.vKey, e.down ? TRUE : FALSE);
    }
}

BOOL WinInputScriptActive(void)
{
    std::lock_guard<std::mutex> lock(gScriptLock);
    LoadOnce();
    return gScript.active ? TRUE : FALSE;
}

BOOL WinInputScriptEnded(void)
{
    std::lock_guard<std::mutex> lock(gScriptLock);
    LoadOnce();
    if (!gScript.active || !gScript.started)
        return FALSE;
    return gScript.next >= gScript.events.size() &&
                   Due(gScript.endSection, gScript.endTime, timeGetTime())
               ? TRUE
               : FALSE;
}

void WinInputScriptMark(const char* pszName)
{
    if (pszName == nullptr)
        return;
    std::lock_guard<std::mutex> lock(gScriptLock);
    const DWORD now = timeGetTime();
    for (Section& s : gScript.sections)
        if (!s.marked && !s.name.empty() && s.name == pszName)
        {
            s.marked = true;
            s.markTime = now;
        }
}
