#include "sweep/printable.h"

#include "text/printable_text.h"
#include "text/utf8.h"

namespace vesk {

std::string printable(const std::filesystem::path& path) {
    // Wide names may hold unpaired surrogates, which no UTF-8 can carry.
    std::string out;
    const std::wstring& s = path.native();
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned value = s[i];
        if (value >= 0xD800 && value <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            value = 0x10000 + ((value - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (value >= 0xD800 && value <= 0xDFFF) {
            appendEscaped(out, value, "\\u%04X");
            continue;
        }
        if (value < 0x20 || value == 0x7F) {
            appendEscaped(out, value, "\\x%02X");
        } else if (value >= 0x80 && value <= 0x9F) {
            appendEscaped(out, value, "\\u%04X");  // a C1 control
        } else {
            char utf8[4];
            out.append(utf8, encodeUtf8(value, utf8));
        }
    }
    return out;
}

}  // namespace vesk
