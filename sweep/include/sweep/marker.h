#pragma once

#include <string_view>

namespace vesk {

// A line that begins with the marker is followed by a line that records a cheater finding.
inline constexpr std::string_view kMarker = "ScriptLog: ####";

}  // namespace vesk
