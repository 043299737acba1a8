// The engine's network module on the in-process loopback provider, for tests that play the
// other machine with a transport object of their own.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "engine/pc/network/dk_play.h"
#include "platform/dplay/dplay.h"

// Initialised for the application, providers listed, the loopback provider in use.
inline void UseLoopbackProvider(const GUID& app)
{
    DkInitPlay();
    DkSetSessionGuid(&app);
    ASSERT_EQ(DkEnumServiceProviders(), DP_OK);
    int index = -1;
    for (int i = 0; i < DkGetNumServiceProviders(); ++i)
        if (std::string(DkGetServiceProviderName(i)) == "Loopback Connection")
            index = i;
    ASSERT_GE(index, 0);
    ASSERT_EQ(UseLinkDevice(index), 1);
}
