// The network-car recorder: what it samples and when, the sample's coding, the remote cars
// placed and blended on playback, the jumps, the end of the samples and the resets. The local
// replay records and plays through the replay module's own calls.
#include "game/race/netreplay.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "game/race/gamedata.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "game/race/replay.h"
#include "tests/game/car_fixture.h"

// The engine's vectors and matrices compared and printed, found by lookup on their types.
static bool operator==(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

static std::ostream& operator<<(std::ostream& os, const DK_VECTOR& v)
{
    return os << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}

// Matrices as the row operations move them: column 3 is left alone.
static bool operator==(const DK_MATRIX& a, const DK_MATRIX& b)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (a.m[r][c] != b.m[r][c])
                return false;
    return true;
}

namespace
{

// A car matrix facing +z at the position.
DK_MATRIX At(int32_t x, int32_t y, int32_t z)
{
    DK_MATRIX m;
    DkIdentityMatrix(&m);
    const DK_VECTOR p = {x, y, z};
    FfMatSetPosition(&p, &m);
    return m;
}

DK_VECTOR Position(const DK_MATRIX& m)
{
    DK_VECTOR v;
    FfMatGetPosition(&v, &m);
    return v;
}

DK_VECTOR Row(const DK_MATRIX& m, int nRow)
{
    DK_VECTOR v;
    FfMatGetRow(&v, &m, nRow);
    return v;
}

DK_MATRIX& Previous(int nRecord)
{
    return gaSnapCarMatrix[nRecord][SNAP_PREVIOUS];
}

DK_MATRIX& Current(int nRecord)
{
    return gaSnapCarMatrix[nRecord][SNAP_CURRENT];
}

class NetReplayTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        Interp_ClearAll();
        output += CaptureOutput([] { Replay_Init(); });
        gboNetworkGame = TRUE;
        NetReplay_ResetRecording();
    }
    void TearDown() override
    {
        output += CaptureOutput([] { Replay_Destructor(); });
        gboNetworkGame = FALSE;
        CarTest::TearDown();
    }

    // Every replay freed and the counters cleared, as at a new stage.
    void FreshReplays()
    {
        output += CaptureOutput(
            []
            {
                Replay_Destructor();
                Replay_Init();
            });
        NetReplay_ResetRecording();
    }
    static void SetRemoteActive(int nSlot)
    {
        gaTestGameData[GD_REMOTE_PLAYERS + nSlot * GAME_DATA_PLAYER_SIZE + PI_IN_GAME] = 1;
    }

    // The local car's recorder, recording.
    void StartRecording()
    {
        recorder = Replay_Create(1, 100);
        ASSERT_NE(recorder, nullptr);
        ASSERT_EQ(Replay_StartRecording(recorder, 0, 0), 1);
    }
    // The recording stopped and played from its start.
    void StartPlayback()
    {
        ASSERT_EQ(Replay_StopRecording(recorder), 1);
        int nStarted = 0;
        output += CaptureOutput([&] { nStarted = Replay_StartPlayback(recorder, 0, 0, 0); });
        ASSERT_EQ(nStarted, 1) << output;
    }
    // One sample a placement of remote record 1 (four ticks each), then playing.
    void RecordAndPlay(const std::vector<DK_MATRIX>& placements)
    {
        SetRemoteActive(0);
        StartRecording();
        for (const DK_MATRIX& m : placements)
            for (int t = 0; t < 4; ++t)
            {
                Current(1) = m;
                NetReplay_Record();
            }
        StartPlayback();
    }

    ReplayHeader* recorder = nullptr;
};

// --- Recording

TEST_F(NetReplayTest, SamplesAreTakenEveryFourthTickFromPresentCarsUntilTheStoreIsFull)
{
    SetRemoteActive(0);
    SetRemoteActive(6);
    StartRecording();
    constexpr int32_t kAbsent = 0x123456;
    struct Check
    {
        int ticks, samples, phase;
    };
    // Samples on ticks 0, 4, 8...: 2,250 samples by tick 8,996, none after.
    const Check checks[] = {{1, 1, 1},       {4, 1, 0},       {5, 2, 1},      {8996, 2249, 0},
                            {8997, 2250, 1}, {9000, 2250, 0}, {9401, 2250, 1}};
    int t = 0;
    for (const Check& c : checks)
    {
        SCOPED_TRACE(c.ticks);
        for (; t < c.ticks; ++t)
        {
            Current(1) = At(t, -t, 7);
            Current(2) = At(kAbsent, kAbsent, kAbsent); // remote slot 1: not in the game
            Current(7) = At(2 * t, 0, 0);
            NetReplay_Record();
        }
        EXPECT_EQ(NetReplay_GetSampleCount(), c.samples);
        EXPECT_EQ(NetReplay_GetPhase(), c.phase);
    }
    for (int k : {0, 1, 2249})
    {
        SCOPED_TRACE(k);
        const NetCarSample* p = NetReplay_GetSample(0, k);
        EXPECT_EQ(p->x, 4 * k);
        EXPECT_EQ(p->y, -4 * k);
        EXPECT_EQ(p->z, 7);
        EXPECT_EQ(NetReplay_GetSample(6, k)->x, 8 * k) << "remote slot 6 is record 7";
        EXPECT_NE(NetReplay_GetSample(1, k)->x, kAbsent);
    }
    EXPECT_EQ(NetReplay_GetSample(0, NETREPLAY_SAMPLES), nullptr);
}

TEST_F(NetReplayTest, RecordingNeedsANetworkGameAndARecordingReplay)
{
    struct Case
    {
        const char* name;
        BOOL network;
        bool recording;
        int samples, phase;
    };
    // Seven ticks: samples on the first and the fifth.
    const Case cases[] = {
        {"network game, recording", TRUE, true, 2, 3},
        {"local game, recording", FALSE, true, 0, 0},
        {"network game, not recording", TRUE, false, 0, 0},
    };
    SetRemoteActive(0);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FreshReplays();
        StartRecording();
        if (!c.recording)
        {
            ASSERT_EQ(Replay_StopRecording(recorder), 1);
        }
        gboNetworkGame = c.network;
        for (int t = 0; t < 7; ++t)
            NetReplay_Record();
        EXPECT_EQ(NetReplay_GetSampleCount(), c.samples);
        EXPECT_EQ(NetReplay_GetPhase(), c.phase);
        gboNetworkGame = TRUE;
    }
}

// --- The sample

TEST_F(NetReplayTest, RowsAreStoredHalvedAndClampedAndThePositionAsItIs)
{
    struct Case
    {
        int32_t value;
        int16_t stored;
    };
    const Case cases[] = {
        {0x10000, 32761},   // 1.0 halves to 32,768, over the bound
        {0x8000, 16384},    // 0.5
        {-0x10000, -32761}, // -1.0
        {0x7FFFFFFF, 32761},
        {-3, -1}, // halves toward zero
        {3, 1},
        {-1, 0},
        {0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.value);
        DK_MATRIX m = At(-0x7FFFFFFF, 5, c.value);
        m.m[1][0] = m.m[1][1] = m.m[1][2] = c.value;
        m.m[2][0] = m.m[2][1] = m.m[2][2] = c.value;
        const NetCarSample s = NetReplay_EncodeSample(&m);
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_EQ(s.anUp[i], c.stored);
            EXPECT_EQ(s.anForward[i], c.stored);
        }
        EXPECT_EQ(s.x, -0x7FFFFFFF);
        EXPECT_EQ(s.y, 5);
        EXPECT_EQ(s.z, c.value);
    }
}

TEST_F(NetReplayTest, DecodingDoublesTheRowsAndRebuildsTheSideRowAsUpCrossForward)
{
    // 32,761 decodes as 65,522; 65,522 x 65,522 >> 16 is 65,508.
    constexpr int16_t kOne = 32761;
    constexpr int32_t kProduct = 65508;
    struct Case
    {
        const char* name;
        int16_t up[3], forward[3];
        DK_VECTOR side;
    };
    const Case cases[] = {
        {"upright, facing +z", {0, kOne, 0}, {0, 0, kOne}, {kProduct, 0, 0}},
        {"upright, facing +x", {0, kOne, 0}, {kOne, 0, 0}, {0, 0, -kProduct}},
        {"on its side", {kOne, 0, 0}, {0, 0, kOne}, {0, -kProduct, 0}},
        {"half rows", {0, 16384, 0}, {0, 0, 16384}, {0x4000, 0, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const NetCarSample s = {-3,
                                0x7FFFFFFF,
                                40,
                                {c.up[0], c.up[1], c.up[2]},
                                {c.forward[0], c.forward[1], c.forward[2]}};
        DK_MATRIX m;
        NetReplay_DecodeSample(&m, &s);
        EXPECT_EQ(Row(m, 0), c.side);
        EXPECT_EQ(Row(m, 1), (DK_VECTOR{2 * c.up[0], 2 * c.up[1], 2 * c.up[2]}));
        EXPECT_EQ(Row(m, 2), (DK_VECTOR{2 * c.forward[0], 2 * c.forward[1], 2 * c.forward[2]}));
        EXPECT_EQ(Position(m), (DK_VECTOR{-3, 0x7FFFFFFF, 40}));
    }
}

// --- Playback

TEST_F(NetReplayTest, PlaybackPlacesEachSampleAndBlendsTheTicksBetweenByQuarters)
{
    // A car moving 1.0 a tick along x: samples at x = 0, 4, 8.
    RecordAndPlay(
        {At(0, 2 * ONE, -5 * ONE), At(4 * ONE, 2 * ONE, -5 * ONE), At(8 * ONE, 2 * ONE, -5 * ONE)});
    const DK_MATRIX standing = At(3 * ONE, 2 * ONE, -5 * ONE);
    Previous(1) = Current(1) = standing;
    const DK_MATRIX absent = At(9 * ONE, 9 * ONE, 9 * ONE); // remote slot 1, not in the game
    Previous(2) = Current(2) = absent;
    // Per tick: the x of the previous and current matrices after it.
    struct Tick
    {
        int previousX, currentX;
    };
    // Four ticks a row: phase 0 on the sample, then three quarters of the way on.
    const Tick ticks[] = {
        {0, 3}, {0, 1}, {0, 2}, {0, 3}, // the current matrix left as it stands on sample 0
        {4, 3}, {4, 5}, {4, 6}, {4, 7}, // sample 1 near where the car stands
        {8, 7}, {8, 7}, {8, 7}, {8, 7}, // the last sample: nothing to blend towards
        {8, 7}, {8, 7},                 // and nothing after it
    };
    for (size_t t = 0; t < std::size(ticks); ++t)
    {
        SCOPED_TRACE(t);
        NetReplay_Play();
        EXPECT_EQ(Position(Previous(1)), (DK_VECTOR{ticks[t].previousX * ONE, 2 * ONE, -5 * ONE}));
        EXPECT_EQ(Position(Current(1)), (DK_VECTOR{ticks[t].currentX * ONE, 2 * ONE, -5 * ONE}));
    }
    EXPECT_EQ(NetReplay_GetPlaybackIndex(), 3);
    EXPECT_EQ(Previous(2), absent);
    EXPECT_EQ(Current(2), absent);
    EXPECT_EQ(NetReplay_GetSampleCount(), 3) << "playing takes no samples";
}

TEST_F(NetReplayTest, TheBlendTurnsTheRowsAsWellAsThePosition)
{
    // Facing +z, then +x after a quarter turn about the vertical.
    DK_MATRIX turned = At(0, 0, 0);
    const DK_VECTOR side = {0, 0, -ONE}, forward = {ONE, 0, 0};
    FfMatSetRow0(&side, &turned);
    FfMatSetRow2(&forward, &turned);
    RecordAndPlay({At(0, 0, 0), turned});
    for (int t = 0; t < 3; ++t)
        NetReplay_Play();
    // Halfway: forward along the diagonal of x and z, up still up.
    const DK_VECTOR f = Row(Current(1), 2), u = Row(Current(1), 1);
    EXPECT_NEAR(f.x, 46341, 64);
    EXPECT_NEAR(f.z, 46341, 64);
    EXPECT_EQ(f.y, 0);
    EXPECT_EQ(u.x, 0);
    EXPECT_EQ(u.z, 0);
    EXPECT_NEAR(u.y, ONE, 64);
}

TEST_F(NetReplayTest, ACarThatMovedMoreThanTwentyOnAnAxisJumpsInsteadOfSliding)
{
    constexpr int32_t kTwenty = 20 * ONE;
    struct Case
    {
        const char* name;
        DK_VECTOR from, to;
        bool jumps;
    };
    const Case cases[] = {
        {"4.0 along x", {0, 0, 0}, {4 * ONE, 0, 0}, false},
        {"20.0 exactly", {0, 0, 0}, {kTwenty, -kTwenty, kTwenty}, false},
        {"25.0 along x", {0, 0, 0}, {25 * ONE, 0, 0}, true},
        {"25.0 down", {0, 0, 0}, {0, -25 * ONE, 0}, true},
        {"just over 20.0 along z", {0, 0, 0}, {0, 0, kTwenty + 1}, true},
        // The 32-bit difference wraps round to -2.0.
        {"opposite ends of the range", {0x7FFF0000, 0, 0}, {-0x7FFF0000, 0, 0}, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FreshReplays();
        const DK_MATRIX from = At(c.from.x, c.from.y, c.from.z);
        const DK_MATRIX to = At(c.to.x, c.to.y, c.to.z);
        RecordAndPlay({from, to});
        Previous(1) = Current(1) = from;
        NetReplay_Play(); // sample 0
        ASSERT_EQ(Position(Previous(1)), c.from);
        NetReplay_Play(); // a quarter of the way to sample 1
        if (c.jumps)
        {
            EXPECT_EQ(Position(Previous(1)), c.to);
            EXPECT_EQ(Position(Current(1)), c.to);
            EXPECT_EQ(Previous(1), Current(1));
        }
        else
        {
            EXPECT_EQ(Position(Previous(1)), c.from);
            const DK_VECTOR quarter = {c.from.x + (c.to.x - c.from.x) / 4,
                                       c.from.y + (c.to.y - c.from.y) / 4,
                                       c.from.z + (c.to.z - c.from.z) / 4};
            EXPECT_EQ(Position(Current(1)), quarter);
        }
    }
}

TEST_F(NetReplayTest, OnASampleTheCurrentMatrixIsPlacedTooWhenItStandsAJumpAway)
{
    // Samples at the origin and at (4, 0, 0); the car stands off sample 1 by the offset.
    struct Case
    {
        const char* name;
        DK_VECTOR offset;
        bool placed;
    };
    const Case cases[] = {
        {"near", {ONE, ONE, ONE}, false},
        {"20.0 away on every axis", {20 * ONE, -20 * ONE, 20 * ONE}, false},
        {"25.0 away on y", {0, 25 * ONE, 0}, true},
        {"just over 20.0 behind on x", {-20 * ONE - 1, 0, 0}, true},
        {"wrapping in 32 bits", {0x7FFF0000, 0, 0}, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FreshReplays();
        const DK_MATRIX sample1 = At(4 * ONE, 0, 0);
        RecordAndPlay({At(0, 0, 0), sample1});
        // On sample 0 the current matrix stays wherever it stands.
        const DK_MATRIX away = At(0x7FFF0000, 0, 0);
        Current(1) = away;
        NetReplay_Play();
        EXPECT_EQ(Current(1), away) << "never on the first sample";
        for (int t = 1; t < 4; ++t)
            NetReplay_Play();
        const DK_MATRIX standing = At(FfAdd(4 * ONE, c.offset.x), c.offset.y, c.offset.z);
        Current(1) = standing;
        NetReplay_Play(); // sample 1
        DK_MATRIX decoded;
        const NetCarSample s = NetReplay_EncodeSample(&sample1);
        NetReplay_DecodeSample(&decoded, &s);
        EXPECT_EQ(Previous(1), decoded);
        EXPECT_EQ(Current(1), c.placed ? decoded : standing);
    }
}

TEST_F(NetReplayTest, AFullStorePlaysToItsLastSampleAndStops)
{
    std::vector<DK_MATRIX> placements;
    for (int k = 0; k < NETREPLAY_SAMPLES; ++k)
        placements.push_back(At(k * ONE, 0, 0));
    RecordAndPlay(placements);
    ASSERT_EQ(NetReplay_GetSampleCount(), NETREPLAY_SAMPLES);
    for (int t = 0; t < 4 * NETREPLAY_SAMPLES + 12; ++t)
        NetReplay_Play();
    EXPECT_EQ(NetReplay_GetPlaybackIndex(), NETREPLAY_SAMPLES);
    EXPECT_EQ(Position(Previous(1)).x, (NETREPLAY_SAMPLES - 1) * ONE);
    EXPECT_EQ(Position(Current(1)).x, (NETREPLAY_SAMPLES - 2) * ONE + 3 * ONE / 4)
        << "last moved three quarters of the way to the last sample";
}

TEST_F(NetReplayTest, PlaybackNeedsANetworkGameAndAPlayingReplay)
{
    struct Case
    {
        const char* name;
        BOOL network;
        bool playing;
        bool moves;
    };
    const Case cases[] = {
        {"network game, playing", TRUE, true, true},
        {"local game, playing", FALSE, true, false},
        {"network game, not playing", TRUE, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FreshReplays();
        RecordAndPlay({At(0, 0, 0), At(4 * ONE, 0, 0)});
        if (!c.playing)
        {
            ASSERT_EQ(Replay_StopPlayback(recorder), 1);
        }
        gboNetworkGame = c.network;
        const DK_MATRIX standing = At(ONE, ONE, ONE);
        Previous(1) = Current(1) = standing;
        for (int t = 0; t < 3; ++t)
            NetReplay_Play();
        EXPECT_EQ(Previous(1) == standing, !c.moves);
        EXPECT_EQ(Current(1) == standing, !c.moves);
        EXPECT_EQ(NetReplay_GetPlaybackIndex(), c.moves ? 1 : 0);
        gboNetworkGame = TRUE;
    }
}

// --- The resets

TEST_F(NetReplayTest, StartingToRecordClearsAllThreeCountersAndStartingToPlayTheLastTwo)
{
    RecordAndPlay({At(0, 0, 0), At(ONE, 0, 0), At(2 * ONE, 0, 0)});
    for (int t = 0; t < 6; ++t)
        NetReplay_Play();
    ASSERT_EQ(NetReplay_GetPlaybackIndex(), 2);
    ASSERT_EQ(NetReplay_GetPhase(), 2);

    NetReplay_ResetPlayback();
    EXPECT_EQ(NetReplay_GetSampleCount(), 3);
    EXPECT_EQ(NetReplay_GetPlaybackIndex(), 0);
    EXPECT_EQ(NetReplay_GetPhase(), 0);

    NetReplay_Play();
    NetReplay_ResetRecording();
    EXPECT_EQ(NetReplay_GetSampleCount(), 0);
    EXPECT_EQ(NetReplay_GetPlaybackIndex(), 0);
    EXPECT_EQ(NetReplay_GetPhase(), 0);
}

TEST_F(NetReplayTest, TheReplayResetsTheCountersWhenItStartsRecordingInANetworkGameOrPlaying)
{
    struct Case
    {
        const char* name;
        BOOL network;
        int samples, index; // the phase is the index: one tick played, or none
    };
    // Two samples recorded, one tick played, then the replay records again.
    const Case cases[] = {
        {"recording, network game", TRUE, 0, 0},
        {"recording, local game", FALSE, 2, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FreshReplays();
        RecordAndPlay({At(0, 0, 0), At(ONE, 0, 0)});
        NetReplay_Play();
        ASSERT_EQ(Replay_StopPlayback(recorder), 1);
        gboNetworkGame = c.network;
        ASSERT_EQ(Replay_StartRecording(recorder, 0, 0), 1);
        EXPECT_EQ(NetReplay_GetSampleCount(), c.samples);
        EXPECT_EQ(NetReplay_GetPlaybackIndex(), c.index);
        EXPECT_EQ(NetReplay_GetPhase(), c.index);
        gboNetworkGame = TRUE;
    }
    // Playing restarts from the first sample whatever the game.
    FreshReplays();
    RecordAndPlay({At(0, 0, 0), At(ONE, 0, 0)});
    for (int t = 0; t < 5; ++t)
        NetReplay_Play();
    ASSERT_EQ(Replay_StopPlayback(recorder), 1);
    gboNetworkGame = FALSE;
    int nStarted = 0;
    output += CaptureOutput([&] { nStarted = Replay_StartPlayback(recorder, 0, 0, 0); });
    ASSERT_EQ(nStarted, 1);
    EXPECT_EQ(NetReplay_GetSampleCount(), 2);
    EXPECT_EQ(NetReplay_GetPlaybackIndex(), 0);
    EXPECT_EQ(NetReplay_GetPhase(), 0);
}

} // namespace
