#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// How a log's bytes are text, told at a line's start. Most logs are 8-bit text, passed on byte for
// byte. A byte-order mark at a log's start is no text: EF BB BF before 8-bit text, FF FE before
// UTF-16LE. Without a mark, UTF-16LE text is known by its first four characters, each a code unit
// below 256 other than NUL (its second byte a NUL): at an 8-bit line's start, after FF FE there,
// or after the NUL that ends a UTF-16LE line end (CR or LF, then NUL) that 8-bit reading took for
// a line end of its own. A run of NULs or binary junk is none of these.
struct TextForm {
    enum class Kind : std::uint8_t { needMore, bytes, utf8Mark, utf16 };
    Kind kind;
    std::size_t skip = 0;  // bytes before the text: a mark, or a UTF-16LE line end's NUL

    // The most bytes at() looks at.
    static constexpr std::size_t kMostNeeded = 10;

    // Looks at the n bytes at a line's start (a log's start when logStart); complete when no more
    // bytes follow them.
    static TextForm at(const char* p, std::size_t n, bool logStart, bool complete) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(p[i]); };
        if (logStart) {
            struct Mark {
                unsigned char bytes[3];
                std::size_t size;
                Kind kind;
            };
            constexpr Mark kMarks[] = {{{0xFF, 0xFE}, 2, Kind::utf16},
                                       {{0xEF, 0xBB, 0xBF}, 3, Kind::utf8Mark}};
            for (const Mark& mark : kMarks) {
                std::size_t seen = 0;
                while (seen < n && seen < mark.size && byte(seen) == mark.bytes[seen]) {
                    ++seen;
                }
                if (seen == mark.size) {
                    return {mark.kind, mark.size};
                }
                if (seen == n && !complete) {
                    return {Kind::needMore};
                }
            }
        }
        // Where the characters may begin: right here, past a UTF-16LE line end's NUL, or past a
        // byte-order mark.
        std::size_t skip = 0;
        if (n >= 1 && byte(0) == 0) {
            skip = 1;
        } else if (n >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
            skip = 2;
        } else if (n == 1 && byte(0) == 0xFF && !complete) {
            return {Kind::needMore};
        }
        for (std::size_t i = 0; i < 8; ++i) {
            if (skip + i == n) {
                return {complete ? Kind::bytes : Kind::needMore};
            }
            const bool fits = i % 2 == 0 ? byte(skip + i) != 0 : byte(skip + i) == 0;
            if (!fits) {
                return {Kind::bytes};
            }
        }
        return {Kind::utf16, skip};
    }

    // Whether a line starting with the n bytes at p must be looked at by at(), since it may begin
    // UTF-16LE text; any other line is 8-bit text. Fewer than two bytes tell nothing yet.
    static bool mayChange(const char* p, std::size_t n) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(p[i]); };
        return n < 2 || byte(0) == 0 || byte(1) == 0 || (byte(0) == 0xFF && byte(1) == 0xFE);
    }
};

}  // namespace vesk
