#pragma once

#include <string>

#include "sweep/sweep.h"

namespace vesk {

inline constexpr const char* kMessageTitle = "VESK Parser";
inline constexpr const char* kCompletedMessage = "Operation completed!";

// The window's completion text: the bare success message only when every log was read, else the
// logs that could not be read; or what became of the report when it could not be written.
std::string completionText(const SweepOutcome& outcome);

}  // namespace vesk
