#include <algorithm>
#include <ctime>

#include "sweep/clock.h"

namespace vesk {

namespace {

std::tm localTime(std::time_t at) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &at);
#else
    localtime_r(&at, &local);
#endif
    return local;
}

}  // namespace

LocalDate SystemClock::today() const {
    const std::tm local = localTime(std::time(nullptr));
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::chrono::milliseconds SystemClock::untilTomorrow() const {
    const std::time_t now = std::time(nullptr);
    std::tm midnight = localTime(now);
    midnight.tm_mday += 1;
    midnight.tm_hour = midnight.tm_min = midnight.tm_sec = 0;
    midnight.tm_isdst = -1;  // whatever the clocks will say then
    const std::time_t next = std::mktime(&midnight);
    return std::chrono::seconds(std::max<std::time_t>(next - now, 1));
}

}  // namespace vesk
