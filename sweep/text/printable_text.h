#pragma once

#include <string>

#include "sweep/printable.h"

namespace vesk {

// value, as the format (such as "\\x%02X") writes it, at the end of out.
void appendEscaped(std::string& out, unsigned value, const char* format);

}  // namespace vesk
