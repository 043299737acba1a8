// The network game's messages: every type written and read back, the fields where the wire puts
// them, and what the readers refuse (short messages, types outside the catalogue, countries and
// stages outside the tables), with names and chat lines always terminated inside their fields.
#include "game/race/netmsg.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace
{

using Bytes = std::vector<uint8_t>;

uint32_t Le32(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// A car state whose every word differs, negative ones included.
NetCarState SomeState(uint32_t uType)
{
    NetCarState s{};
    s.uType = uType;
    for (int i = 0; i < 3; ++i)
    {
        s.aPosition[i] = 0x10000 * (i + 1) + 0x1234;
        s.aDisplacement[i] = -0x800 * (i + 1);
        s.aAxisA[i] = i == 0 ? 0x10000 : -(i * 7);
        s.aAxisB[i] = i == 1 ? 0xFFFF : i * 11;
    }
    s.anCarValue[0] = static_cast<int32_t>(0x8001FFFEu);
    s.anCarValue[1] = -3;
    if (uType == NETMSG_CAR_STATE_FULL)
    {
        s.nStageClock = 12345;
        s.nTickTime = -77;
    }
    return s;
}

bool SameState(const NetCarState& a, const NetCarState& b)
{
    return a.uType == b.uType && std::memcmp(a.aPosition, b.aPosition, sizeof a.aPosition) == 0 &&
           std::memcmp(a.aDisplacement, b.aDisplacement, sizeof a.aDisplacement) == 0 &&
           std::memcmp(a.anCarValue, b.anCarValue, sizeof a.anCarValue) == 0 &&
           std::memcmp(a.aAxisA, b.aAxisA, sizeof a.aAxisA) == 0 &&
           std::memcmp(a.aAxisB, b.aAxisB, sizeof a.aAxisB) == 0 &&
           a.nStageClock == b.nStageClock && a.nTickTime == b.nTickTime;
}

// 1,440 bytes of settings naming country 3, stage 2, with every other byte distinct.
Bytes SomeSettings()
{
    Bytes s(NETMSG_SETTINGS_BYTES);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<uint8_t>(i * 29 + 1);
    s[NETMSG_SETTINGS_COUNTRY_STAGE - 4] = 0x23;
    return s;
}

Bytes SomeRecord()
{
    Bytes r(NETMSG_PLAYER_RECORD_SIZE);
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<uint8_t>(200 - i);
    std::memcpy(r.data(), "ANNE", 5);
    r[NETMSG_NAME_LENGTH - 1] = 0;
    return r;
}

// One type of the catalogue: its size, how to write one, and whether its reader gives back what
// was written (for the empty messages: whether the message counts as whole).
struct TypeCase
{
    uint32_t uType;
    size_t uSize;
    std::function<size_t(uint8_t*)> write;
    std::function<bool(const uint8_t*, size_t)> readBack;
};

bool WholeOnly(const uint8_t* p, size_t n)
{
    return NetMsg_IsWhole(p, n) != FALSE;
}

std::vector<TypeCase> Catalogue()
{
    std::vector<TypeCase> cases;
    cases.push_back({NETMSG_PLAYER_INFO, 160,
                     [](uint8_t* p) { return NetMsg_WritePlayerInfo(SomeRecord().data(), p); },
                     [](const uint8_t* p, size_t n)
                     {
                         Bytes got(NETMSG_PLAYER_RECORD_SIZE, 0xEE);
                         return NetMsg_ReadPlayerInfo(p, n, got.data()) && got == SomeRecord();
                     }});
    cases.push_back({NETMSG_GAME_SETTINGS, 1444,
                     [](uint8_t* p) { return NetMsg_WriteGameSettings(SomeSettings().data(), p); },
                     [](const uint8_t* p, size_t n)
                     {
                         NetGameSettings s{};
                         const Bytes in = SomeSettings();
                         return NetMsg_ReadGameSettings(p, n, &s) && s.uCountryStage == 0x23 &&
                                s.uGameType == in[NETMSG_SETTINGS_GAME_TYPE - 4] &&
                                s.uStageFlags == in[NETMSG_SETTINGS_STAGE_FLAGS - 4] &&
                                s.uProgress == (in[NETMSG_SETTINGS_PROGRESS + 6 - 4] |
                                                in[NETMSG_SETTINGS_PROGRESS + 7 - 4] << 8) &&
                                s.uNetworkOption == in[NETMSG_SETTINGS_NETWORK - 4] &&
                                s.uCarStateRate == in[NETMSG_SETTINGS_RATE - 4];
                     }});
    cases.push_back({NETMSG_CHAT, 280, [](uint8_t* p) { return NetMsg_WriteChat("ANNE: HI", p); },
                     [](const uint8_t* p, size_t n)
                     {
                         char sz[NETMSG_CHAT_TEXT];
                         return NetMsg_ReadChat(p, n, sz) && std::string(sz) == "ANNE: HI";
                     }});
    for (uint32_t uType : {NETMSG_CAR_STATE, NETMSG_CAR_STATE_PAUSED, NETMSG_CAR_STATE_FULL})
        cases.push_back({uType,
                         uType == 7u   ? 60u
                         : uType == 8u ? 64u
                                       : 68u,
                         [uType](uint8_t* p) { return NetMsg_WriteCarState(SomeState(uType), p); },
                         [uType](const uint8_t* p, size_t n)
                         {
                             NetCarState got{};
                             return NetMsg_ReadCarState(p, n, &got) &&
                                    SameState(got, SomeState(uType));
                         }});
    cases.push_back({NETMSG_SPLIT_TIME, 12,
                     [](uint8_t* p) { return NetMsg_WriteSplitTime(8, 0xA1B2C3D4u, p); },
                     [](const uint8_t* p, size_t n)
                     {
                         int nCount = -1;
                         uint32_t uTime = 0;
                         return NetMsg_ReadSplitTime(p, n, &nCount, &uTime) && nCount == 8 &&
                                uTime == 0xA1B2C3D4u;
                     }});
    cases.push_back({NETMSG_FINISHED, 20, [](uint8_t* p) { return NetMsg_WriteFinished(98765, p); },
                     [](const uint8_t* p, size_t n)
                     {
                         uint32_t uTime = 0;
                         return NetMsg_ReadFinished(p, n, &uTime) && uTime == 98765;
                     }});
    cases.push_back({NETMSG_STAGE_CHOICE, 12,
                     [](uint8_t* p) { return NetMsg_WriteStageChoice(9, 6, p); },
                     [](const uint8_t* p, size_t n)
                     {
                         int32_t nCountry = -1, nStage = -1;
                         return NetMsg_ReadStageChoice(p, n, &nCountry, &nStage) && nCountry == 9 &&
                                nStage == 6;
                     }});
    for (uint32_t uType : {4u, 5u, 10u, 11u, 12u, 13u, 14u, 18u, 19u, 20u, 22u})
        cases.push_back(
            {uType, 16, [uType](uint8_t* p) { return NetMsg_WriteEmpty(uType, p); }, WholeOnly});
    return cases;
}

// Every type: written at its size with its type word first, read back whole, refused one byte
// short, and accepted with bytes to spare (a longer message is read up to its type's size).
TEST(NetMsgTest, EveryTypeIsWrittenAndReadBack)
{
    const std::vector<TypeCase> cases = Catalogue();
    ASSERT_EQ(cases.size(), 20u) << "types 1, 2, 4-14 and 16-22";
    for (const TypeCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "type " << c.uType);
        EXPECT_EQ(NetMsg_GetSize(c.uType), c.uSize);
        Bytes message(NETMSG_MAX_SIZE + 8, 0xCC);
        ASSERT_EQ(c.write(message.data()), c.uSize);
        EXPECT_EQ(Le32(message, 0), c.uType);
        EXPECT_EQ(NetMsg_GetType(message.data(), c.uSize), c.uType);
        EXPECT_EQ(message[c.uSize], 0xCC) << "nothing written past the message";
        EXPECT_TRUE(c.readBack(message.data(), c.uSize));
        EXPECT_TRUE(c.readBack(message.data(), c.uSize + 8));
        EXPECT_FALSE(c.readBack(message.data(), c.uSize - 1));
        EXPECT_FALSE(NetMsg_IsWhole(message.data(), c.uSize - 1));
    }
    // The empty messages carry nothing: their twelve bytes after the type are zero.
    Bytes empty(16, 0xCC);
    NetMsg_WriteEmpty(NETMSG_START, empty.data());
    EXPECT_EQ(empty, Bytes({14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// Readers refuse a message of another type than theirs, even when it is long enough.
TEST(NetMsgTest, ReadersTakeOnlyTheirOwnType)
{
    Bytes message(NETMSG_MAX_SIZE, 0);
    NetMsg_WriteGameSettings(SomeSettings().data(), message.data());
    NetCarState state{};
    uint32_t uTime = 0;
    int nCount = 0;
    int32_t nCountry = 0, nStage = 0;
    char sz[NETMSG_CHAT_TEXT];
    Bytes record(NETMSG_PLAYER_RECORD_SIZE);
    EXPECT_FALSE(NetMsg_ReadCarState(message.data(), message.size(), &state));
    EXPECT_FALSE(NetMsg_ReadFinished(message.data(), message.size(), &uTime));
    EXPECT_FALSE(NetMsg_ReadSplitTime(message.data(), message.size(), &nCount, &uTime));
    EXPECT_FALSE(NetMsg_ReadStageChoice(message.data(), message.size(), &nCountry, &nStage));
    EXPECT_FALSE(NetMsg_ReadChat(message.data(), message.size(), sz));
    EXPECT_FALSE(NetMsg_ReadPlayerInfo(message.data(), message.size(), record.data()));
    NetGameSettings settings{};
    NetMsg_WriteFinished(1, message.data());
    EXPECT_FALSE(NetMsg_ReadGameSettings(message.data(), message.size(), &settings));
}

// The wire layout: little-endian words at the offsets the other machines read.
TEST(NetMsgTest, FieldsLieAtTheirOffsets)
{
    Bytes m(NETMSG_MAX_SIZE, 0);
    NetCarState s = SomeState(NETMSG_CAR_STATE);
    s.aPosition[0] = 0x11223344;
    NetMsg_WriteCarState(s, m.data());
    EXPECT_EQ(m[4], 0x44);
    EXPECT_EQ(m[7], 0x11);
    EXPECT_EQ(Le32(m, 16), static_cast<uint32_t>(s.aDisplacement[0]));
    EXPECT_EQ(Le32(m, 28), static_cast<uint32_t>(s.anCarValue[0]));
    EXPECT_EQ(Le32(m, 36), static_cast<uint32_t>(s.aAxisA[0]));
    EXPECT_EQ(Le32(m, 48), static_cast<uint32_t>(s.aAxisB[0]));

    // The paused state has a zero word before the body.
    s.uType = NETMSG_CAR_STATE_PAUSED;
    std::fill(m.begin(), m.end(), 0xCC);
    NetMsg_WriteCarState(s, m.data());
    EXPECT_EQ(Le32(m, 4), 0u);
    EXPECT_EQ(Le32(m, 8), 0x11223344u);
    EXPECT_EQ(Le32(m, 60), static_cast<uint32_t>(s.aAxisB[2]));

    // The full state carries the sender's two clocks after the body.
    s = SomeState(NETMSG_CAR_STATE_FULL);
    NetMsg_WriteCarState(s, m.data());
    EXPECT_EQ(Le32(m, 60), 12345u);
    EXPECT_EQ(Le32(m, 64), static_cast<uint32_t>(-77));

    // The split's 16-bit count, then two bytes of nothing, then the time.
    std::fill(m.begin(), m.end(), 0xCC);
    NetMsg_WriteSplitTime(0x0102, 0x0A0B0C0D, m.data());
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 12),
              Bytes({16, 0, 0, 0, 0x02, 0x01, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A}));

    // The finishing time, then twelve zero bytes.
    std::fill(m.begin(), m.end(), 0xCC);
    NetMsg_WriteFinished(0x01020304, m.data());
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 20),
              Bytes({17, 0, 0, 0, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    NetMsg_WriteStageChoice(7, 3, m.data());
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 12), Bytes({21, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0}));

    // The player record follows the type whole; the settings' fields are read at their own
    // message offsets.
    NetMsg_WritePlayerInfo(SomeRecord().data(), m.data());
    EXPECT_EQ(Bytes(m.begin() + 4, m.begin() + 160), SomeRecord());
    Bytes settings = SomeSettings();
    settings[NETMSG_SETTINGS_GAME_TYPE - 4] = 0x41;
    settings[NETMSG_SETTINGS_STAGE_FLAGS - 4] = 0x18;
    settings[NETMSG_SETTINGS_PROGRESS + 2 * 3 - 4] = 0x34;
    settings[NETMSG_SETTINGS_PROGRESS + 2 * 3 + 1 - 4] = 0x12;
    settings[NETMSG_SETTINGS_NETWORK - 4] = 2;
    settings[NETMSG_SETTINGS_RATE - 4] = 9;
    NetMsg_WriteGameSettings(settings.data(), m.data());
    EXPECT_EQ(m[337], 0x23);
    NetGameSettings got{};
    ASSERT_TRUE(NetMsg_ReadGameSettings(m.data(), NETMSG_SIZE_GAME_SETTINGS, &got));
    EXPECT_EQ(got.uGameType, 0x41);
    EXPECT_EQ(got.uStageFlags, 0x18);
    EXPECT_EQ(got.uProgress, 0x1234);
    EXPECT_EQ(got.uNetworkOption, 2);
    EXPECT_EQ(got.uCarStateRate, 9);
}

// Types outside the catalogue have no size, count as no message however long, and have no
// writer; a message too short for its type word has no type.
TEST(NetMsgTest, TypesOutsideTheCatalogueAreRefused)
{
    for (uint32_t uType : {0u, 3u, 15u, 23u, 0xFFFFFFFFu})
    {
        SCOPED_TRACE(uType);
        EXPECT_EQ(NetMsg_GetSize(uType), 0u);
        Bytes m(NETMSG_MAX_SIZE, 0);
        std::memcpy(m.data(), &uType, 4);
        EXPECT_FALSE(NetMsg_IsWhole(m.data(), m.size()));
        Bytes out(NETMSG_MAX_SIZE, 0xCC);
        EXPECT_EQ(NetMsg_WriteEmpty(uType, out.data()), 0u);
        EXPECT_EQ(out[0], 0xCC);
    }
    // Only the empty types have an empty writer.
    Bytes out(NETMSG_MAX_SIZE, 0xCC);
    EXPECT_EQ(NetMsg_WriteEmpty(NETMSG_CAR_STATE, out.data()), 0u);
    NetCarState s = SomeState(NETMSG_READY);
    EXPECT_EQ(NetMsg_WriteCarState(s, out.data()), 0u);
    EXPECT_EQ(out[0], 0xCC);

    const uint8_t three[3] = {14, 0, 0};
    EXPECT_EQ(NetMsg_GetType(three, 3), 0u);
    EXPECT_FALSE(NetMsg_IsWhole(three, 3));
    EXPECT_FALSE(NetMsg_IsWhole(nullptr, 16));
}

// A name or chat line that fills its field without a terminator comes back terminated inside
// it; a chat line longer than the field is cut when written.
TEST(NetMsgTest, NamesAndChatLinesAreTerminatedInsideTheirFields)
{
    Bytes record(NETMSG_PLAYER_RECORD_SIZE, 'N');
    Bytes m(NETMSG_MAX_SIZE, 0);
    NetMsg_WritePlayerInfo(record.data(), m.data());
    Bytes got(NETMSG_PLAYER_RECORD_SIZE, 0);
    ASSERT_TRUE(NetMsg_ReadPlayerInfo(m.data(), NETMSG_SIZE_PLAYER_INFO, got.data()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.data())), std::string(11, 'N'));
    EXPECT_EQ(got[12], 'N') << "the rest of the record as sent";

    // A chat message whose text field is full to its last byte.
    std::fill(m.begin(), m.end(), 'C');
    const uint32_t uChat = NETMSG_CHAT;
    std::memcpy(m.data(), &uChat, 4);
    std::vector<char> text(NETMSG_CHAT_TEXT + 16, 'x');
    ASSERT_TRUE(NetMsg_ReadChat(m.data(), NETMSG_SIZE_CHAT, text.data()));
    EXPECT_EQ(std::string(text.data()), std::string(NETMSG_CHAT_TEXT - 1, 'C'));
    EXPECT_EQ(text[NETMSG_CHAT_TEXT], 'x') << "nothing written past the field";

    const std::string longLine(400, 'L');
    std::fill(m.begin(), m.end(), 0xCC);
    ASSERT_EQ(NetMsg_WriteChat(longLine.c_str(), m.data()), 280u);
    EXPECT_EQ(m[4 + NETMSG_CHAT_TEXT - 2], 'L');
    EXPECT_EQ(m[4 + NETMSG_CHAT_TEXT - 1], 0);
    EXPECT_EQ(m[280], 0xCC);
    ASSERT_TRUE(NetMsg_ReadChat(m.data(), NETMSG_SIZE_CHAT, text.data()));
    EXPECT_EQ(std::string(text.data()), longLine.substr(0, NETMSG_CHAT_TEXT - 1));
    ASSERT_EQ(NetMsg_WriteChat(nullptr, m.data()), 280u);
    ASSERT_TRUE(NetMsg_ReadChat(m.data(), NETMSG_SIZE_CHAT, text.data()));
    EXPECT_EQ(text[0], '\0');
}

// The settings name a country in the low nibble and a stage in the high one (stage 15: the next
// rally's first); the stage choice names them as words. Either outside the tables is refused.
TEST(NetMsgTest, CountriesAndStagesOutsideTheTablesAreRefused)
{
    struct Case
    {
        int32_t nCountry, nStage;
        bool boSettings, boChoice;
    };
    const Case cases[] = {
        {0, 0, true, true},
        {9, 6, true, true},
        {10, 0, false, false},
        {15, 0, false, false},
        {0, 7, false, false},
        {3, 14, false, false},
        {0, 15, true, false},
        {9, 15, true, false},
        {-1, 0, false, false},
        {0, -1, false, false},
        {0, 0x7FFFFFFF, false, false},
        {static_cast<int32_t>(0x80000000), 0, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "country " << c.nCountry << ", stage " << c.nStage);
        Bytes m(NETMSG_MAX_SIZE, 0);
        if (c.nCountry >= 0 && c.nCountry < 16 && c.nStage >= 0 && c.nStage < 16)
        {
            Bytes settings = SomeSettings();
            settings[NETMSG_SETTINGS_COUNTRY_STAGE - 4] =
                static_cast<uint8_t>(c.nCountry | c.nStage << 4);
            NetMsg_WriteGameSettings(settings.data(), m.data());
            NetGameSettings got{};
            got.uCountryStage = 0xEE;
            EXPECT_EQ(NetMsg_ReadGameSettings(m.data(), NETMSG_SIZE_GAME_SETTINGS, &got) != FALSE,
                      c.boSettings);
            EXPECT_EQ(got.uCountryStage,
                      c.boSettings ? settings[NETMSG_SETTINGS_COUNTRY_STAGE - 4] : 0xEE);
        }
        NetMsg_WriteStageChoice(c.nCountry, c.nStage, m.data());
        int32_t nCountry = -5, nStage = -5;
        EXPECT_EQ(NetMsg_ReadStageChoice(m.data(), NETMSG_SIZE_STAGE_CHOICE, &nCountry, &nStage) !=
                      FALSE,
                  c.boChoice);
        EXPECT_EQ(nCountry, c.boChoice ? c.nCountry : -5);
        EXPECT_EQ(nStage, c.boChoice ? c.nStage : -5);
    }
}

// A system message's player id at byte 8, when the message holds it.
TEST(NetMsgTest, TheSystemMessagePlayerIdIsReadWhenPresent)
{
    const uint8_t destroyed[16] = {5, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 9, 9, 9, 9};
    uint32_t uId = 0;
    ASSERT_TRUE(NetMsg_ReadSystemPlayerId(destroyed, sizeof destroyed, &uId));
    EXPECT_EQ(uId, 0x12345678u);
    EXPECT_EQ(NetMsg_GetType(destroyed, sizeof destroyed), NETSYS_DESTROY_PLAYER);
    uId = 7;
    EXPECT_TRUE(NetMsg_ReadSystemPlayerId(destroyed, 12, &uId));
    uId = 7;
    EXPECT_FALSE(NetMsg_ReadSystemPlayerId(destroyed, 11, &uId));
    EXPECT_FALSE(NetMsg_ReadSystemPlayerId(nullptr, 16, &uId));
    EXPECT_EQ(uId, 7u);
}

} // namespace
