#pragma once

#include <string>
#include <string_view>

namespace vesk {

// Text that is safe to show anywhere: bytes that are not valid UTF-8 and control characters
// appear as \xNN, so that they can neither garble a terminal nor vanish from a message.
std::string printableText(std::string_view text);

// value, as the format (such as "\\x%02X") writes it, at the end of out.
void appendEscaped(std::string& out, unsigned value, const char* format);

}  // namespace vesk
