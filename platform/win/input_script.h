// The input script: a test hook that plays timed key events into the message queue, as if a
// player pressed them. DEZOR_INPUT names the file; its clock starts when the window is first
// shown. One event a line, blank lines and lines starting with '#' ignored:
//
//   # ms   event  argument
//   500    down   RETURN        key goes down (a virtual-key name, see keys.h, or a number)
//   540    up     RETURN        key comes up
//   600    tap    ESCAPE        down now, up 40 ms later
//   3000   end                  the script ends here (else after its last event)
//   0      from   go            the lines below count from the moment the game reports "go"
//
// A `from` line starts a section whose times count from its own milliseconds after the game
// reports the name (WinInputScriptMark, win.h); the events of a section not yet reported wait, and so
// does everything after them. A test times its keys from a moment of the game (the start lights
// going out) that way, whatever the loading before it took.
//
// Lines must be in time order within a section. A bad line is reported on standard error and skipped; a file
// that cannot be read is reported and counts as an ended script, so a run never waits on it.
#pragma once

#include <string>

#include "platform/win/wintypes.h"

// Loads a script from text (tests) or from the file DEZOR_INPUT names; FALSE when the text
// has no usable line.
BOOL WinInputScriptLoadText(const std::string& text);
void WinInputScriptLoadFromEnvironment(void);
void WinInputScriptClear(void);
