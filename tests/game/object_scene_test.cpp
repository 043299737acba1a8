// The objects' determinism scene (tools/bench/object_scene.h) at 25 and 50 ticks a second
// against the hashes stored beside it: the same inputs give the same cars, boxes and scripted
// objects on any machine. DEZOR_RENEW_DRIVE_HASHES=1 writes the hashes it computed.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "tests/game/objects_fixture.h"
#include "tools/bench/object_scene.h"

namespace
{

using ObjectSceneTest = ObjectsTest;

TEST_F(ObjectSceneTest, TheSceneRunsToTheStoredHashesWithContactsOfEveryKind)
{
    std::map<int, std::string> stored, computed;
    {
        std::ifstream in(DEZOR_OBJECT_HASHES);
        int nRate = 0;
        std::string hash;
        while (in >> nRate >> hash)
            stored[nRate] = hash;
    }
    for (const int nRate : {25, 50})
    {
        SCOPED_TRACE(nRate);
        ASSERT_TRUE(objects::SetUpScene(nRate));
        // The scene does what it is for: both kinds of object are struck and the cars meet.
        int nTicks = 0;
        bool boCars = false;
        bool boKnocked = false;
        while (nTicks < 12 * nRate && !(boCars && boKnocked))
        {
            objects::SceneTick();
            ++nTicks;
            boCars = boCars || gboCarsCollided;
            for (int i = 0; i < gnNumMovingObjects && !boKnocked; ++i)
                boKnocked = (gaHitObjects[0][i].uFlags & HIT_STATE_MASK) != 0;
        }
        EXPECT_TRUE(boCars);
        EXPECT_TRUE(boKnocked);
        objects::ClearScene();
        ASSERT_TRUE(objects::SetUpScene(nRate));
        char acHash[17];
        std::snprintf(acHash, sizeof(acHash), "%016llx",
                      static_cast<unsigned long long>(objects::RunScene(10 * nRate)));
        computed[nRate] = acHash;
        const auto it = stored.find(nRate);
        EXPECT_TRUE(it != stored.end() && it->second == acHash)
            << "the scene at " << nRate << " ticks a second hashes to " << acHash;
        objects::ClearScene();
    }
    if (std::getenv("DEZOR_RENEW_DRIVE_HASHES") != nullptr)
    {
        std::ofstream out(DEZOR_OBJECT_HASHES);
        for (const auto& [nRate, hash] : computed)
            out << nRate << " " << hash << "\n";
    }
}

} // namespace
