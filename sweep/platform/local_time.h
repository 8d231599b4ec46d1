#pragma once

#include <ctime>

namespace vesk {

// The local calendar time at a moment, as the system's time zone has it.
std::tm localTime(std::time_t at);

}  // namespace vesk
