// A headless display for the image and font targets, set up and torn down around each input
// the way a phase of the game does, so every surface, texture and heap block an input made is
// gone before the next.
#pragma once

namespace fuzz
{
// An 8-bit display (software device) or a 16-bit one (hardware-like device), 320x240, with
// Direct3D set up when `with3D`. False when it could not be set up.
bool OpenDisplay(int bits, bool with3D);
void CloseDisplay();
} // namespace fuzz
