// Datagrams at a joiner: a rogue host on the loopback provider answers the joiner's join with
// the input's frames and then a proper acceptance, so the frames meet both the join in
// progress and the joined session.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/dplay/dplay_internal.h"
#include "tests/fuzz/fuzz_dplay.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{
const GUID kInstance = {0x1A2B3C4D, 0x5E6F, 0x7081, {9, 8, 7, 6, 5, 4, 3, 2}};

void PutRecord(dpwire::Writer& w)
{
    DPSESSIONDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.guidInstance = kInstance;
    desc.guidApplication = fuzz::kFuzzApp;
    desc.dwMaxPlayers = 8;
    desc.dwCurrentPlayers = 1;
    dpwire::PutDesc(w, desc);
    w.Name("Rogue");
}

std::vector<uint8_t> Record()
{
    dpwire::Writer w(dpwire::kSessionDesc);
    PutRecord(w);
    std::vector<uint8_t> frame = w.Frame();
    return std::vector<uint8_t>(frame.begin() + dpwire::kHeaderSize, frame.end());
}

std::vector<uint8_t> Accept()
{
    dpwire::Writer w(dpwire::kJoinAccept);
    PutRecord(w);
    w.U32(1);
    w.U32(0x00010001u);
    w.U32(dpwire::kPlayerOnHost);
    w.Name("Host");
    w.Name("Host player");
    return w.Frame();
}

BOOL TakeFirst(LPCDPSESSIONDESC2 sd, LPDWORD, DWORD flags, LPVOID found)
{
    if (!(flags & DPESC_TIMEDOUT) && sd != nullptr)
        *static_cast<bool*>(found) = true;
    return FALSE;
}

// The rogue host: waits for a join, then sends the frames and the acceptance.
void Answer(DpLink& rogue, const std::vector<std::vector<uint8_t>>& frames)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline)
    {
        std::vector<DpLinkEvent> events;
        rogue.Poll(events);
        for (const DpLinkEvent& e : events)
        {
            dpwire::Kind kind;
            dpwire::Reader body;
            if (e.type != DpLinkEvent::Type::Receive ||
                !dpwire::OpenFrame(e.data.data(), e.data.size(), &kind, &body) ||
                kind != dpwire::kJoin)
                continue;
            for (const auto& frame : frames)
                rogue.Send(e.peer, frame, true);
            rogue.Send(e.peer, Accept(), true);
            for (const auto& frame : frames)
                rogue.Send(e.peer, frame, true);
            return;
        }
        rogue.Wait(10);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Root();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<DpLink> rogue = DpCreateHostLink(DpProvider::Loopback, 0);
    if (rogue == nullptr)
        __builtin_trap();
    rogue->Publish(Record());

    IDirectPlay3A* dp = fuzz::MakeLoopbackPlay();
    if (dp == nullptr)
        __builtin_trap();
    DPSESSIONDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.guidApplication = fuzz::kFuzzApp;
    bool found = false;
    dp->EnumSessions(&desc, 1, TakeFirst, &found, DPENUMSESSIONS_AVAILABLE);
    if (!found)
        __builtin_trap(); // the rogue host is always found

    const std::vector<std::vector<uint8_t>> frames = fuzz::SplitFrames(data, size);
    std::thread host([&] { Answer(*rogue, frames); });
    desc.guidInstance = kInstance;
    const HRESULT joined = dp->Open(&desc, DPOPEN_JOIN);
    host.join();
    // Joined or not, what arrived after the join is handled as the game's receive loop does.
    (void)joined;
    fuzz::DrainMessages(dp);
    rogue->Shutdown();
    fuzz::DrainMessages(dp);
    dp->Close();
    dp->Release();
    return 0;
}
