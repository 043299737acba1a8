// Datagrams at a host: a session hosted on the loopback provider, and a machine that sends
// the input's frames to it, first before it has joined, then again once joined.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dplay/dplay_internal.h"
#include "tests/fuzz/fuzz_dplay.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Root();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IDirectPlay3A* dp = fuzz::MakeLoopbackPlay();
    if (dp == nullptr)
        __builtin_trap();
    DPSESSIONDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.guidApplication = fuzz::kFuzzApp;
    desc.dwMaxPlayers = 4;
    std::string name = "Fuzz";
    desc.lpszSessionNameA = name.data();
    if (dp->Open(&desc, DPOPEN_CREATE) != DP_OK)
        __builtin_trap();
    std::string shortName = "Host";
    std::string longName = "Host player";
    DPNAME player{sizeof(DPNAME), 0, shortName.data(), longName.data()};
    DPID id = 0;
    dp->CreatePlayer(&id, &player, nullptr, nullptr, 0, 0);

    std::vector<DpFoundSession> found;
    DpQuerySessions(DpProvider::Loopback, fuzz::kFuzzApp, 0, found);
    if (found.size() != 1)
        __builtin_trap(); // the session just made is the only one
    HRESULT hr = DP_OK;
    std::unique_ptr<DpLink> machine =
        DpConnectLink(DpProvider::Loopback, found[0].address, 100, &hr);
    if (machine == nullptr)
        __builtin_trap();
    const uint32_t host = found[0].address.endpoint;
    const std::vector<std::vector<uint8_t>> frames = fuzz::SplitFrames(data, size);

    for (const auto& frame : frames)
        machine->Send(host, frame, true);
    fuzz::DrainMessages(dp);

    // Joined with the instance the session record names (at byte 8 of its description).
    dpwire::Reader record(found[0].record.data(), found[0].record.size());
    record.Take(8);
    dpwire::Writer join(dpwire::kJoin);
    join.Guid(record.Guid());
    machine->Send(host, join.Frame(), true);
    fuzz::DrainMessages(dp);
    for (const auto& frame : frames)
        machine->Send(host, frame, true);
    fuzz::DrainMessages(dp);

    machine->Shutdown();
    fuzz::DrainMessages(dp);
    dp->Close();
    dp->Release();
    return 0;
}
