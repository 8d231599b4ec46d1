#include <algorithm>
#include <ctime>

#include "platform/local_time.h"
#include "sweep/clock.h"

namespace vesk {

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
