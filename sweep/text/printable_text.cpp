#include "text/printable_text.h"

#include <cstdio>

namespace vesk {

void appendEscaped(std::string& out, unsigned value, const char* format) {
    char escaped[12];
    std::snprintf(escaped, sizeof escaped, format, value);
    out += escaped;
}

namespace {

// Length of the valid UTF-8 sequence at the start of s, or 0.
std::size_t validSequence(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    unsigned minimum = 0;
    unsigned value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (s.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    return value >= minimum && value <= 0x10FFFF && !surrogate ? length : 0;
}

}  // namespace

std::string printableText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    while (!s.empty()) {
        const auto c = static_cast<unsigned char>(s.front());
        std::size_t length = 1;
        if (c < 0x20 || c == 0x7F) {
            appendEscaped(out, c, "\\x%02X");
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((length = validSequence(s)) == 2 && c == 0xC2 &&
                   static_cast<unsigned char>(s[1]) < 0xA0) {
            // A C1 control (U+009B is a terminal's CSI), shown as the character it is.
            appendEscaped(out, static_cast<unsigned char>(s[1]), "\\u%04X");
        } else if (length != 0) {
            out.append(s.substr(0, length));
        } else {
            length = 1;
            appendEscaped(out, c, "\\x%02X");
        }
        s.remove_prefix(length);
    }
    return out;
}

}  // namespace vesk
