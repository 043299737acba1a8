// Network play's handlers fed whatever arrives: the input is a network game's set-up byte, then
// a run of messages, each a selector byte, a 16-bit little-endian length and that many bytes
// (fewer at the input's end). The selector's low two bits say what the bytes are:
//   0  an application message from remote slot (selector >> 2) % 7's player: slots 0-3 race,
//      4 and 5 are joining, 6 is free (its id is a stranger's until a record takes the slot);
//   1  an application message from a player who holds no slot;
//   2  a session message;
//   3  no bytes: a tick, the car state sent (bit 2: the pause's) and the network polled (no
//      session, so nothing arrives) and the predictions put into the tick matrices.
// The set-up byte: bit 0 this machine hosts, bits 4-7 the car-state rate (above 9 as well).
// Each message lies in a buffer of its own size, so that a read past it is caught.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "game/hud/catseye.h"
#include "game/race/gamedata.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{

std::array<uint8_t, DK_GAME_DATA_SIZE> gaGameData;

constexpr DPID kFirstId = 0x100;
constexpr DPID kStranger = 0x1000;

void SetWord(int nSlot, int nOffset, uint32_t u)
{
    uint8_t* p = gaGameData.data() + GD_REMOTE_PLAYERS + nSlot * GAME_DATA_PLAYER_SIZE + nOffset;
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(u >> (8 * i));
}

void SetUpGame(uint8_t uSetUp)
{
    gaGameData.fill(0);
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS - 1; ++s)
    {
        SetWord(s, PI_PLAYER_ID, kFirstId + s);
        SetWord(s, s < 4 ? PI_IN_GAME : PI_JOINING, 1);
    }
    gaGameData[GD_CAR_STATE_RATE] = static_cast<uint8_t>(uSetUp >> 4);
    NetPlay_ResetForTests();
    gboNetworkGame = TRUE;
    gboSessionHost = (uSetUp & 1) != 0 ? TRUE : FALSE;
    for (uint32_t& uTime : gaBestSplitTimes)
        uTime = 0;
    for (auto& pair : gaSnapCarMatrix)
        for (DK_MATRIX& m : pair)
            DkIdentityMatrix(&m);
}

void Tick(bool boPause)
{
    NetPlay_SendCarState(boPause ? 1 : 0);
    NetPlay_Poll();
    NetPlay_PredictRemoteCars();
}

// What the handlers keep must stay inside its tables.
void Check()
{
    if (NetPlay_CountPlayers(FALSE) > NETPLAY_REMOTE_SLOTS || gnNetRaceState < 0 ||
        gnNetRaceState > NETPLAY_REMOTE_SLOTS)
        std::abort();
    for (const NetRemoteCar& car : gaNetRemoteCar)
        if (car.nMissed < 0 || car.nMostMissed < 0)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Set up on the first input, so that the replay test drives the target as libFuzzer does.
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(4 * 1024 * 1024, 256 * 1024);
        DkInitialiseTrigTables();
        DK_ENTRIES entries{};
        entries.GetGameData = [] { return static_cast<const uint8_t*>(gaGameData.data()); };
        entries.GetWritableGameData = [] { return gaGameData.data(); };
        DkRegisterEntries(&entries);
        return true;
    }();
    (void)boReady;
    if (size == 0)
        return 0;
    SetUpGame(data[0]);
    NetPlay_InitGame();
    size_t at = 1;
    while (at < size)
    {
        const uint8_t uSelector = data[at++];
        if ((uSelector & 3) == 3)
        {
            Tick((uSelector & 4) != 0);
            Check();
            continue;
        }
        size_t uLength = 0;
        for (int i = 0; i < 2 && at < size; ++i)
            uLength |= static_cast<size_t>(data[at++]) << (8 * i);
        if (uLength > size - at)
            uLength = size - at;
        const std::vector<uint8_t> message(data + at, data + at + uLength);
        at += uLength;
        const uint32_t uSize = static_cast<uint32_t>(message.size());
        switch (uSelector & 3)
        {
            case 0:
                NetPlay_HandleMessage(message.data(), uSize, kFirstId + (uSelector >> 2) % 7);
                break;
            case 1:
                NetPlay_HandleMessage(message.data(), uSize, kStranger + (uSelector >> 2));
                break;
            default:
                NetPlay_HandleSystemMessage(message.data(), uSize);
                break;
        }
        Check();
    }
    Tick(false);
    Check();
    gboNetworkGame = FALSE;
    return 0;
}
