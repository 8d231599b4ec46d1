#pragma once

#include <optional>
#include <string>

namespace vesk {

// The cores this process may run on.
unsigned usableCores();

// The system's /proc/loadavg line, where it has one.
std::optional<std::string> loadAverageLine();

}  // namespace vesk
