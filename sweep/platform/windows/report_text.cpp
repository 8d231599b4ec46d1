#include <windows.h>

#include "text/report_text.h"

namespace vesk {

std::size_t encodeReportText(char32_t c, char* out) {
    wchar_t units[2];
    int count = 1;
    if (c >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(c);
    }
    // A UTF-8 code page lacks no character and takes no stand-in.
    static const bool utf8 = GetACP() == CP_UTF8;
    const int n =
        WideCharToMultiByte(CP_ACP, 0, units, count, out, 4, utf8 ? nullptr : "?", nullptr);
    if (n <= 0) {
        out[0] = '?';
        return 1;
    }
    return static_cast<std::size_t>(n);
}

}  // namespace vesk
