#include "engine/common/destruct.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace
{

std::vector<int> gCalls;

template <int N> BOOL Callback()
{
    gCalls.push_back(N);
    return TRUE;
}

BOOL Failing()
{
    gCalls.push_back(-1);
    return FALSE;
}

// 64 distinct callbacks.
template <int... N>
constexpr std::array<DK_DESTRUCTOR_FN, sizeof...(N)> Table(std::integer_sequence<int, N...>)
{
    return {&Callback<N>...};
}
const auto kCallbacks = Table(std::make_integer_sequence<int, 65>{});

class DestructTest : public testing::Test
{
protected:
    void SetUp() override
    {
        testing::internal::CaptureStderr();
        DkCallAllDestructors();
        gCalls.clear();
        testing::internal::GetCapturedStderr();
    }
};

TEST_F(DestructTest, RegistrationsReturnTheirIndexAndExitCallsThemInReverse)
{
    EXPECT_EQ(DkAddDestructor(kCallbacks[0], "first"), 0);
    EXPECT_EQ(DkAddDestructor(kCallbacks[1], "second"), 1);
    EXPECT_EQ(DkAddDestructor(kCallbacks[2], "third"), 2);
    EXPECT_TRUE(DkIsDestructorAdded(kCallbacks[1]));
    EXPECT_FALSE(DkIsDestructorAdded(kCallbacks[3]));

    testing::internal::CaptureStderr();
    DkCallAllDestructors();
    std::string out = testing::internal::GetCapturedStderr();

    EXPECT_EQ(gCalls, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(gnNumDestructors, 0);
    EXPECT_FALSE(DkIsDestructorAdded(kCallbacks[1]));
    EXPECT_EQ(out, "~:-- Calling destructor 2 (third)\n"
                   "~:-- Calling destructor 1 (second)\n"
                   "~:-- Calling destructor 0 (first)\n");
}

TEST_F(DestructTest, TeardownToAMarkIncludesTheMark)
{
    DkAddDestructor(kCallbacks[0], "program");
    int mark = DkAddDestructor(kCallbacks[1], "display");
    DkAddDestructor(kCallbacks[2], "timer");
    DkAddDestructor(kCallbacks[3], "sound");

    testing::internal::CaptureStderr();
    DkCallDestructors(gnNumDestructors); // a mark at the count calls nothing
    EXPECT_TRUE(gCalls.empty());
    DkCallDestructors(mark);
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(gCalls, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(gnNumDestructors, mark);
    // The phase can register again from the mark.
    EXPECT_EQ(DkAddDestructor(kCallbacks[2], "timer"), mark);
}

TEST_F(DestructTest, AMarkAboveTheCountMakesNothingLiveAgain)
{
    DkAddDestructor(kCallbacks[0], "a");
    DkAddDestructor(kCallbacks[1], "b");
    testing::internal::CaptureStderr();
    DkCallDestructors(0);
    DkCallDestructors(2); // a stale display mark
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(gnNumDestructors, 0);
    gCalls.clear();
    DkCallAllDestructors();
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(DestructTest, SameCallbackTwiceKeepsTheFirstIndexAndReportsTheNewName)
{
    DkAddDestructor(kCallbacks[0], "a");
    EXPECT_EQ(DkAddDestructor(kCallbacks[1], "original"), 1);

    testing::internal::CaptureStderr();
    EXPECT_EQ(DkAddDestructor(kCallbacks[1], "again"), 1);
    std::string out = testing::internal::GetCapturedStderr();

    EXPECT_NE(out.find("Error : Destructor function (again) has been previously added!"),
              std::string::npos);
    EXPECT_EQ(gnNumDestructors, 2);
    EXPECT_STREQ(gaDestructors[1].szName, "original");
}

TEST_F(DestructTest, The65thRegistrationFailsAndTheFirst64StayIntact)
{
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(DkAddDestructor(kCallbacks[i], ("d" + std::to_string(i)).c_str()), i);

    testing::internal::CaptureStderr();
    EXPECT_EQ(DkAddDestructor(kCallbacks[64], "one too many"), -1);
    EXPECT_EQ(DkAddDestructor(nullptr, "null"), -1);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Too many destructors added to the destructor-list!!!"), std::string::npos);
    EXPECT_NE(out.find("NULL function pointer"), std::string::npos);

    EXPECT_EQ(gnNumDestructors, 64);
    EXPECT_STREQ(gaDestructors[63].szName, "d63");
    testing::internal::CaptureStderr();
    DkCallAllDestructors();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(gCalls.size(), 64u);
    EXPECT_EQ(gCalls.front(), 63);
    EXPECT_EQ(gCalls.back(), 0);
}

TEST_F(DestructTest, LongNamesAreCutTo31Characters)
{
    DkAddDestructor(kCallbacks[0], "0123456789012345678901234567890123456789");
    EXPECT_STREQ(gaDestructors[0].szName, "0123456789012345678901234567890");
}

TEST_F(DestructTest, ACallbackReturningFalseIsReportedAndTeardownGoesOn)
{
    DkAddDestructor(kCallbacks[0], "fine");
    DkAddDestructor(Failing, "broken");
    DkAddDestructor(kCallbacks[2], "also fine");

    testing::internal::CaptureStderr();
    DkCallAllDestructors();
    std::string out = testing::internal::GetCapturedStderr();

    EXPECT_EQ(gCalls, (std::vector<int>{2, -1, 0}));
    EXPECT_NE(
        out.find("Destructor function 'broken' returned FALSE,\nwhich may indicate an error!"),
        std::string::npos);
}

} // namespace
