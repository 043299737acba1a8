#include "platform/crt/crt.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/time/time.h"

namespace
{

const int kSeedOneSequence[] = {41, 18467, 6334, 26500, 19169};

std::vector<int> Draw(size_t count)
{
    std::vector<int> values;
    for (size_t i = 0; i < count; ++i)
        values.push_back(std::rand());
    return values;
}

const std::vector<int> kSeedOne(std::begin(kSeedOneSequence), std::end(kSeedOneSequence));

TEST(CrtRandTest, FollowsTheClassicSequence)
{
    srand(1);
    EXPECT_EQ(Draw(5), kSeedOne);
    Draw(100);
    srand(1);
    EXPECT_EQ(Draw(5), kSeedOne);

    srand(12345);
    std::vector<int> other = Draw(5);
    EXPECT_NE(other, kSeedOne);
    srand(12345);
    EXPECT_EQ(Draw(5), other);
}

TEST(CrtRandTest, StaysWithinRange)
{
    srand(static_cast<unsigned>(time(nullptr)));
    int seenHigh = 0;
    for (int i = 0; i < 100000; ++i)
    {
        int value = rand();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, CRT_RAND_MAX);
        seenHigh |= value;
    }
    EXPECT_EQ(seenHigh, CRT_RAND_MAX); // every bit of the range is used
}

TEST(CrtRandTest, EachThreadHasItsOwnSequence)
{
    srand(777);
    Draw(3);
    std::vector<int> threadValues;
    std::thread other([&threadValues] { threadValues = Draw(5); });
    other.join();
    EXPECT_EQ(threadValues, kSeedOne); // a fresh thread starts as seed 1 does

    std::vector<int> mainNext = Draw(3);
    srand(777);
    Draw(3);
    EXPECT_EQ(Draw(3), mainNext); // the other thread did not move this one's state
}

TEST(CrtClockTest, CountsMillisecondsOfElapsedTime)
{
    long start = crt_clock();
    EXPECT_GE(start, 0);
    Sleep(50);
    EXPECT_GE(crt_clock() - start, 50);
}

class ScopedTz
{
public:
    explicit ScopedTz(const char* tz)
    {
        if (const char* old = getenv("TZ"))
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz()
    {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST(CrtFtimeTest, GivesTheTimeAndTheZone)
{
    struct Case
    {
        const char* tz;
        short minutesWest;
    };
    const Case cases[] = {{"UTC0", 0}, {"EAT-3", -180}, {"EST5", 300}, {"NPT-5:45", -345}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.tz);
        ScopedTz tz(c.tz);
        // The same clock as crt_ftime: time() reads a coarser one that can still show the
        // previous second.
        auto seconds = []
        {
            timespec ts;
            clock_gettime(CLOCK_REALTIME, &ts);
            return static_cast<int64_t>(ts.tv_sec);
        };
        crt_timeb now = {};
        int64_t before = seconds();
        crt_ftime(&now);
        int64_t after = seconds();
        EXPECT_GE(now.time, before);
        EXPECT_LE(now.time, after);
        EXPECT_LT(now.millitm, 1000);
        EXPECT_EQ(now.timezone, c.minutesWest);
        EXPECT_EQ(now.dstflag, 0);
    }
}

} // namespace
