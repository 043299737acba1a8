#include "tools/datakit/replay_writer.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "tools/datakit/file_io.h"

// The golden files, compiled in by the build (embed_file.cmake).
namespace datakit::embedded
{
extern const uint8_t kDemoDriveSnapshot[];
extern const size_t kDemoDriveSnapshotSize;
extern const uint8_t kDemoDriveRuns[];
extern const size_t kDemoDriveRunsSize;
} // namespace datakit::embedded

namespace datakit
{

namespace
{

constexpr uint8_t kTicksMask = 0x3F;
constexpr uint8_t kSecondButtonBit = 0x40;
constexpr uint8_t kFirstButtonBit = 0x80;
constexpr uint8_t kAcceleratorBit = 0x40;
constexpr uint8_t kAnaloguePedalBit = 0x80;
constexpr int kAmountShift = 10;
constexpr int kRunFields = 9;
// The frame count and M are 16-bit.
constexpr size_t kReplayMaxFrames = 32767;
constexpr int kAnalogueLeft = 1, kAnalogueRight = 2, kAnaloguePedal = 4;

// The 6-bit value of one control. 1.0 (65,536) shifts to 64, which six bits would keep as 0:
// it is held at 63, the most a frame stores.
uint8_t Value(int32_t amount, bool analogue, const char* what)
{
    if (amount < 0)
        throw Error(std::string(what) + " is negative (" + std::to_string(amount) + ")");
    if (!analogue)
        return amount != 0 ? 1 : 0;
    return static_cast<uint8_t>(std::min(amount >> kAmountShift, 63));
}

uint8_t Bit(int value, uint8_t bit, const char* what)
{
    if (value != 0 && value != 1)
        throw Error(std::string(what) + " is not 0 or 1 (" + std::to_string(value) + ")");
    return value ? bit : 0;
}

int Ticks(const ReplayFrame& frame)
{
    return frame[2] & kTicksMask;
}

void SetTicks(ReplayFrame& frame, int ticks)
{
    frame[2] = static_cast<uint8_t>((frame[2] & ~kTicksMask) | ticks);
}

// Whether two frames hold the same controls, whatever their lengths: the recorder's test for
// carrying a run on.
bool SameControls(ReplayFrame a, ReplayFrame b)
{
    SetTicks(a, 0);
    SetTicks(b, 0);
    return a == b;
}

void AppendInt16(std::vector<uint8_t>& out, int value)
{
    AppendLittleEndian(out, static_cast<uint32_t>(value), 2);
}

// One integer field of a runs line; advances `at` past it and the blanks after it.
bool NextInteger(std::string_view line, size_t& at, long long& value)
{
    const char* begin = line.data() + at;
    const char* end = line.data() + line.size();
    const auto [next, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || next == begin || (next != end && *next != ' ' && *next != '\t'))
        return false;
    at = static_cast<size_t>(next - line.data());
    at = std::min(line.find_first_not_of(" \t", at), line.size());
    return true;
}

int32_t InRange(long long value, long long low, long long high, const char* what)
{
    if (value < low || value > high)
        throw Error(std::string(what) + " " + std::to_string(value) + " is not " +
                    std::to_string(low) + " to " + std::to_string(high));
    return static_cast<int32_t>(value);
}

ReplayRun ParseRunLine(std::string_view line)
{
    static constexpr const char* kNames[kRunFields] = {
        "TICKS", "ACCEL", "BRAKE", "LEFT", "RIGHT", "BUTTON1", "BUTTON2", "GEAR", "ANALOGUE"};
    long long v[kRunFields];
    size_t at = line.find_first_not_of(" \t");
    for (int i = 0; i < kRunFields; ++i)
    {
        if (at >= line.size())
            throw Error(std::string("expected nine integers, ") + kNames[i] + " is missing");
        if (!NextInteger(line, at, v[i]))
            throw Error(std::string(kNames[i]) + " is not an integer");
    }
    if (at < line.size())
        throw Error("expected nine integers, more follow");
    ReplayRun run;
    run.ticks = InRange(v[0], 1, INT32_MAX, kNames[0]);
    run.accel = InRange(v[1], 0, INT32_MAX, kNames[1]);
    run.brake = InRange(v[2], 0, INT32_MAX, kNames[2]);
    run.steerLeft = InRange(v[3], 0, INT32_MAX, kNames[3]);
    run.steerRight = InRange(v[4], 0, INT32_MAX, kNames[4]);
    run.firstButton = InRange(v[5], 0, 1, kNames[5]);
    run.secondButton = InRange(v[6], 0, 1, kNames[6]);
    run.gear = InRange(v[7], -1, 1, kNames[7]);
    const int analogue = InRange(v[8], 0, 7, kNames[8]);
    run.analogueLeft = analogue & kAnalogueLeft;
    run.analogueRight = analogue & kAnalogueRight;
    run.analoguePedal = analogue & kAnaloguePedal;
    return run;
}

} // namespace

ReplayFrame EncodeReplayFrame(const ReplayRun& run, int ticks)
{
    if (ticks < 1 || ticks > kReplayMaxTicks)
        throw Error("a frame lasts 1 to 63 ticks, not " + std::to_string(ticks));
    if (run.gear < -1 || run.gear > 1)
        throw Error("the gear request is not -1, 0 or 1 (" + std::to_string(run.gear) + ")");
    const uint8_t left = Value(run.steerLeft, run.analogueLeft, "steer left");
    const uint8_t right = Value(run.steerRight, run.analogueRight, "steer right");
    // One pedal is kept: the accelerator while it is pressed, else the brake.
    const uint8_t accel = Value(run.accel, run.analoguePedal, "the accelerator");
    const uint8_t brake = Value(run.brake, run.analoguePedal, "the brake");
    const bool accelerating = run.accel > 0;
    ReplayFrame frame;
    frame[0] =
        static_cast<uint8_t>(left << 2 | (run.analogueRight ? 2 : 0) | (run.analogueLeft ? 1 : 0));
    frame[1] = static_cast<uint8_t>(right << 2 | ((run.gear + 1) & 3));
    frame[2] = static_cast<uint8_t>(ticks | Bit(run.secondButton, kSecondButtonBit, "button 2") |
                                    Bit(run.firstButton, kFirstButtonBit, "button 1"));
    frame[3] =
        static_cast<uint8_t>((accelerating ? accel : brake) | (accelerating ? kAcceleratorBit : 0) |
                             (run.analoguePedal ? kAnaloguePedalBit : 0));
    return frame;
}

std::vector<ReplayFrame> ReplayFrames(const std::vector<ReplayRun>& runs)
{
    std::vector<ReplayFrame> frames;
    for (size_t i = 0; i < runs.size(); ++i)
    {
        const ReplayRun& run = runs[i];
        ReplayFrame frame;
        try
        {
            if (run.ticks < 1)
                throw Error("a run lasts at least 1 tick, not " + std::to_string(run.ticks));
            frame = EncodeReplayFrame(run, 1);
        }
        catch (const Error& e)
        {
            throw Error("replay run " + std::to_string(i + 1) + ": " + e.what());
        }
        int left = run.ticks;
        if (!frames.empty() && SameControls(frames.back(), frame))
        {
            const int more = std::min(left, kReplayMaxTicks - Ticks(frames.back()));
            SetTicks(frames.back(), Ticks(frames.back()) + more);
            left -= more;
        }
        for (; left > 0; left -= kReplayMaxTicks)
        {
            if (frames.size() == kReplayMaxFrames)
                throw Error("replay run " + std::to_string(i + 1) +
                            ": a replay scene holds at most 32767 frames");
            SetTicks(frame, std::min(left, kReplayMaxTicks));
            frames.push_back(frame);
        }
    }
    return frames;
}

std::vector<uint8_t> FormatReplay(const std::vector<uint8_t>& snapshot,
                                  const std::vector<ReplayRun>& runs, int carIndex)
{
    if (snapshot.size() != kReplaySnapshotSize)
        throw Error("a replay snapshot is 86508 bytes, not " + std::to_string(snapshot.size()));
    if (carIndex < 0 || carIndex > 255)
        throw Error("the replay's car index " + std::to_string(carIndex) + " is not 0 to 255");
    std::vector<ReplayFrame> frames = ReplayFrames(runs);
    const int count = static_cast<int>(frames.size());
    if (frames.empty())
        frames.push_back({}); // the scene's one slot, never played
    const int scenes = 1;

    std::vector<uint8_t> out(28, 0); // camera-cut mode 0 and the run-time words
    out.push_back(static_cast<uint8_t>(carIndex));
    out.resize(48, 0); // repeat counter, padding and the array addresses
    AppendInt16(out, scenes);
    AppendInt16(out, static_cast<int>(frames.size()));
    AppendInt16(out, scenes); // scenes used: the one scene is closed
    out.resize(kReplayHeaderSize, 0);
    out.insert(out.end(), snapshot.begin(), snapshot.end());
    for (const ReplayFrame& frame : frames)
        out.insert(out.end(), frame.begin(), frame.end());
    AppendInt16(out, count);
    return out;
}

std::vector<ReplayRun> ParseReplayRuns(std::string_view text)
{
    std::vector<ReplayRun> runs;
    int number = 0;
    while (!text.empty())
    {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        try
        {
            runs.push_back(ParseRunLine(line));
        }
        catch (const Error& e)
        {
            throw Error("replay runs, line " + std::to_string(number) + ": " + e.what());
        }
    }
    return runs;
}

std::span<const uint8_t> DemoDriveSnapshot()
{
    return {embedded::kDemoDriveSnapshot, embedded::kDemoDriveSnapshotSize};
}

std::string_view DemoDriveRuns()
{
    return {reinterpret_cast<const char*>(embedded::kDemoDriveRuns), embedded::kDemoDriveRunsSize};
}

std::vector<uint8_t> DemoReplay()
{
    const std::span<const uint8_t> snapshot = DemoDriveSnapshot();
    return FormatReplay({snapshot.begin(), snapshot.end()}, ParseReplayRuns(DemoDriveRuns()));
}

} // namespace datakit
