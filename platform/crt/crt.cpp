#include "platform/crt/crt.h"

#include <cstdlib>
#include <ctime>

namespace
{

int64_t MonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Taken while the program starts, so crt_clock() counts from there.
const int64_t s_startNs = MonotonicNs();

} // namespace

long crt_clock(void)
{
    return static_cast<long>((MonotonicNs() - s_startNs) / 1000000);
}

void crt_ftime(crt_timeb* tp)
{
    if (tp == nullptr)
        return;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    tp->time = static_cast<int64_t>(now.tv_sec);
    tp->millitm = static_cast<unsigned short>(now.tv_nsec / 1000000);
    // The zone is the standard-time offset; daylight saving shows only in the flag.
    tp->timezone = static_cast<short>(::timezone / 60);
    tp->dstflag = local.tm_isdst > 0 ? 1 : 0;
}
