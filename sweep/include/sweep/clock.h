#pragma once

namespace vesk {

struct LocalDate {
    int year = 1970;
    int month = 1;
    int day = 1;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDate today() const = 0;
};

// The machine's local date.
class SystemClock final : public Clock {
public:
    LocalDate today() const override;
};

}  // namespace vesk
