// System messages as the engine's network layer takes them from the transport.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/pc/network/dk_play.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> message(data, data + size);
    DkHandleSystemMessage(message.data(), static_cast<DWORD>(message.size()));
    return 0;
}
