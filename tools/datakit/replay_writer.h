// Replay files (".REP"): one car's drive as the game plays it back, a memory image of its
// replay block, little-endian:
//
//   bytes 0-63     header: camera-cut mode (u32, 0 here: recorded continuously), the run-time
//                  flags and signal words (0), the car index (byte 28), the playback repeat
//                  counter (byte 29, 0), the four array addresses (bytes 32-47, 0; the game
//                  points them into the image when it loads it), the number of scenes N
//                  (i16 at 48), frames per scene M (i16 at 50), scenes used (i16 at 52), the
//                  frame-count array's address (bytes 56-59, 0), the scene and cursor of
//                  playback (i16 at 60 and 62, 0)
//   then           N car snapshots of 86,508 bytes, the state the car is put in when a scene
//                  starts playing
//   then           N x M frames of 4 bytes, scene by scene: each a run of 1 to 63 ticks of
//                  unchanged controls
//   then           N i16 frame counts, the frames each scene plays
//
// A frame:
//   byte 0   bit 0 steer-left is analogue, bit 1 steer-right is analogue, bits 2-7 steer left
//   byte 1   bits 0-1 the gear request + 1 (0 down, 1 none, 2 up), bits 2-7 steer right
//   byte 2   bits 0-5 the run's ticks, bit 6 the second button, bit 7 the first button
//   byte 3   bits 0-5 the pedal, bit 6 set: the pedal is the accelerator (clear: the brake),
//            bit 7 the pedal is analogue
// A 6-bit value is an analogue amount in 1/64ths (amount >> 10, at most 63), or 1 for a
// digital control that is on and 0 for one that is off.
//
// The runs text ("demo_drive.runs"): one run a line, nine integers apart by blanks,
//   TICKS ACCEL BRAKE LEFT RIGHT BUTTON1 BUTTON2 GEAR ANALOGUE
// amounts in 16.16 (65,536 = 1.0), buttons 0 or 1, gear -1 (down), 0 or 1 (up), ANALOGUE bit 0
// steer left, bit 1 steer right, bit 2 the pedals; blank lines and lines whose first character
// other than a blank is '#' are skipped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace datakit
{

inline constexpr size_t kReplayHeaderSize = 64;
inline constexpr size_t kReplaySnapshotSize = 86508;
inline constexpr size_t kReplayFrameSize = 4;
// The longest run one frame holds; a longer one takes several frames.
inline constexpr int kReplayMaxTicks = 63;

// Ticks of unchanged controls. Amounts are 16.16 (65,536 = 1.0); the gear request is +1 up,
// 0 none, -1 down.
struct ReplayRun
{
    int ticks = 0;
    int32_t accel = 0, brake = 0, steerLeft = 0, steerRight = 0;
    int firstButton = 0, secondButton = 0, gear = 0;
    bool analogueLeft = false, analogueRight = false, analoguePedal = false;
};

using ReplayFrame = std::array<uint8_t, kReplayFrameSize>;

// The frame of `ticks` (1 to 63) ticks of the run's controls; throws Error for a negative
// amount, a button other than 0 or 1, a gear other than -1, 0 or 1, or ticks out of range.
ReplayFrame EncodeReplayFrame(const ReplayRun& run, int ticks);

// The frames the game's recorder makes of these runs: a run of more than 63 ticks fills frames
// of 63 and a last one of the rest, and a run whose controls encode as the frame before it
// carries that frame on, up to 63 ticks. Throws Error for a run of fewer than 1 tick, more
// frames than a scene holds (32,767), or what EncodeReplayFrame refuses, naming the run.
std::vector<ReplayFrame> ReplayFrames(const std::vector<ReplayRun>& runs);

// A one-scene replay file of car `carIndex` (0 to 255) driving the runs from the snapshot
// (86,508 bytes): M is the number of frames (at least 1, the one slot all 0 when there are no
// runs) and the scene plays them all. Throws Error for a snapshot of another size, a car index
// out of range, or what ReplayFrames refuses.
std::vector<uint8_t> FormatReplay(const std::vector<uint8_t>& snapshot,
                                  const std::vector<ReplayRun>& runs, int carIndex = 0);

// The runs of a runs text; throws Error naming the line for a line that is not nine integers
// in their ranges.
std::vector<ReplayRun> ParseReplayRuns(std::string_view text);

// The demo drive built into the program from tools/datakit/golden: the car's snapshot at the
// start signal and its runs text.
std::span<const uint8_t> DemoDriveSnapshot();
std::string_view DemoDriveRuns();
// The demo stage's replay ("NZ1.REP"): the demo drive as a file, car 0.
std::vector<uint8_t> DemoReplay();

} // namespace datakit
