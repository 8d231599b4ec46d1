#pragma once

#include <chrono>

namespace vesk {

struct LocalDate {
    int year = 1970;
    int month = 1;
    int day = 1;
};

// The two times the sweep reads: the local date, which names the report, and a steady clock for
// the delays of following, which a test moves as it likes.
class Clock {
public:
    using Steady = std::chrono::steady_clock;

    virtual ~Clock() = default;
    virtual LocalDate today() const = 0;
    // How long until the next local midnight, when today() moves on.
    virtual std::chrono::milliseconds untilTomorrow() const = 0;
    virtual Steady::time_point now() const = 0;
};

inline bool operator==(const LocalDate& a, const LocalDate& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

// The machine's local date.
class SystemClock final : public Clock {
public:
    LocalDate today() const override;
    std::chrono::milliseconds untilTomorrow() const override;
    Steady::time_point now() const override { return Steady::now(); }
};

}  // namespace vesk
