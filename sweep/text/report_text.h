#pragma once

#include <cstddef>

namespace vesk {

// One character beyond ASCII in the report's 8-bit text: UTF-8, or on Windows the ANSI code page,
// where a character it lacks becomes '?'. Writes at most 4 bytes at out; returns their count.
std::size_t encodeReportText(char32_t c, char* out);

}  // namespace vesk
