#pragma once

#include <cstdint>
#include <string>

namespace vesk::bench {

// A game server's log, made up: time-stamped lines of a few dozen bytes, and a marker line
// followed by a finding for roughly every hundredth line, or for every line when findingsPer100
// is 100.
std::string makeLog(std::size_t bytes, int findingsPer100, const std::string& lineEnd,
                    std::uint64_t seed);

}  // namespace vesk::bench
