#include "platform/crt/crt.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <cstdlib>
#include <ctime>

#include "platform/time/time.h"

namespace
{

// The monotonic clock, or the fake one while tests hold it (time.h).
int64_t MonotonicNs()
{
    return static_cast<int64_t>(TimeNowNs());
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

uint64_t crt_env_number(const char* pszName, uint64_t uMin, uint64_t uMax, uint64_t uFallback,
                        const char* pszWhat)
{
    const char* text = std::getenv(pszName);
    if (text == nullptr)
        return uFallback;
    // The whole value must be digits: strtoul would take "-1" as a huge number, " 4" and "+4"
    // as 4, and "4M" as 4.
    uint64_t value = 0;
    bool valid = *text != '\0';
    for (const char* c = text; valid && *c != '\0'; ++c)
    {
        valid = *c >= '0' && *c <= '9';
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(*c - '0'), uint64_t{1} << 60);
    }
    if (valid && value >= uMin && value <= uMax)
        return value;
    // Values are asked for again and again; one line for each bad value is enough.
    static std::mutex lock;
    static std::map<std::string, std::string> lastWarned;
    std::lock_guard<std::mutex> guard(lock);
    std::string& last = lastWarned[pszName];
    if (last != text)
    {
        last = text;
        std::fprintf(stderr, "dezor: %s=\"%s\" is not %s from %llu to %llu; using %llu\n", pszName,
                     text, pszWhat, static_cast<unsigned long long>(uMin),
                     static_cast<unsigned long long>(uMax),
                     static_cast<unsigned long long>(uFallback));
    }
    return uFallback;
}
