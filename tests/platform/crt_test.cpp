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

TEST(CrtClockTest, CountsMillisecondsOfElapsedTime)
{
    long start = crt_clock();
    EXPECT_GE(start, 0);
    Sleep(50);
    EXPECT_GE(crt_clock() - start, 50);
}

TEST(CrtClockTest, FollowsTheFakeClockWhileATestHoldsIt)
{
    TimeFakeClock(TRUE);
    const uint64_t now = TimeNowNs();
    const long start = crt_clock();
    Sleep(20);
    EXPECT_EQ(crt_clock(), start);
    TimeFakeSetNs(now + 1500000000u);
    EXPECT_EQ(crt_clock(), start + 1500);
    TimeFakeClock(FALSE);
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
