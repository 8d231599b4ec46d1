#include "text/utf16_decoder.h"

#include <bit>
#include <cstring>

#include "text/report_text.h"

namespace vesk {
namespace {

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::size_t Utf16Decoder::put(char16_t unit, char* out) {
    if (high_ != 0) {
        const char16_t high = high_;
        high_ = 0;
        if (isLowSurrogate(unit)) {
            return encodeReportText(0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00),
                                    out);
        }
        out[0] = '?';  // a high surrogate without its pair
        return 1 + put(unit, out + 1);
    }
    if (isHighSurrogate(unit)) {
        high_ = unit;
        return 0;
    }
    if (isLowSurrogate(unit)) {
        out[0] = '?';
        return 1;
    }
    if (unit < 0x80) {  // the same in every code page
        out[0] = static_cast<char>(unit);
        return 1;
    }
    return encodeReportText(unit, out);
}

std::size_t Utf16Decoder::decode(const char* in, std::size_t n, char* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    const auto* const end = p + n;
    char* o = out;
    if (odd_ && p != end) {
        odd_ = false;
        o += put(static_cast<char16_t>(oddByte_ | (*p++ << 8)), o);
    }
    while (end - p >= 2) {
        // Four ASCII units at a time, the common case in server logs.
        if constexpr (std::endian::native == std::endian::little) {
            std::uint64_t word;
            if (high_ == 0 && end - p >= 8 &&
                (std::memcpy(&word, p, sizeof word), (word & 0xFF80FF80FF80FF80u) == 0)) {
                o[0] = static_cast<char>(word);
                o[1] = static_cast<char>(word >> 16);
                o[2] = static_cast<char>(word >> 32);
                o[3] = static_cast<char>(word >> 48);
                o += 4;
                p += 8;
                continue;
            }
        }
        o += put(static_cast<char16_t>(p[0] | (p[1] << 8)), o);
        p += 2;
    }
    if (p != end) {
        odd_ = true;
        oddByte_ = *p;
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t Utf16Decoder::finish(char* out) {
    const bool lone = high_ != 0;
    *this = {};
    if (lone) {
        out[0] = '?';
        return 1;
    }
    return 0;
}

}  // namespace vesk
