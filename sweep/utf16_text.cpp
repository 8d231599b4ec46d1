#include "utf16_text.h"

#include <bit>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vesk {
namespace {

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// One character, whole (an ASCII or other unit, or a surrogate pair), in the report's text.
#ifdef _WIN32
std::size_t encode(const wchar_t* units, int count, char* out) {
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

std::size_t encode(char16_t unit, char* out) {
    const wchar_t units[] = {static_cast<wchar_t>(unit)};
    return encode(units, 1, out);
}

std::size_t encode(char16_t high, char16_t low, char* out) {
    const wchar_t units[] = {static_cast<wchar_t>(high), static_cast<wchar_t>(low)};
    return encode(units, 2, out);
}
#else
std::size_t encodeUtf8(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

std::size_t encode(char16_t unit, char* out) {
    return encodeUtf8(unit, out);
}

std::size_t encode(char16_t high, char16_t low, char* out) {
    return encodeUtf8(0x10000 + ((char32_t{high} - 0xD800) << 10) + (low - 0xDC00), out);
}
#endif

}  // namespace

std::size_t Utf16Decoder::put(char16_t unit, char* out) {
    if (high_ != 0) {
        const char16_t high = high_;
        high_ = 0;
        if (isLowSurrogate(unit)) {
            return encode(high, unit, out);
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
    return encode(unit, out);
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
