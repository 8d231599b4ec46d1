#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vesk {

// How a log's bytes are text. Most logs are 8-bit text, passed on byte for byte. A byte-order
// mark at a log's start is no text: EF BB BF before 8-bit text, FF FE before UTF-16LE. Without a
// mark, UTF-16LE text is known by its first characters at a line's start: four ASCII characters
// (CR and LF among them), each followed by a NUL. A run of NULs or binary junk is not that.
struct TextForm {
    enum class Kind : std::uint8_t { needMore, bytes, utf8Mark, utf16 };
    Kind kind;
    std::size_t skip = 0;  // the byte-order mark's length

    // Looks at the first n bytes at a line's start (a log's start when logStart); complete when
    // no more bytes follow them.
    static constexpr std::size_t kMostNeeded = 8;
    static TextForm at(const char* p, std::size_t n, bool logStart, bool complete) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(p[i]); };
        struct Mark {
            unsigned char bytes[3];
            std::size_t size;
            Kind kind;
        };
        constexpr Mark kMarks[] = {{{0xFF, 0xFE}, 2, Kind::utf16},
                                   {{0xEF, 0xBB, 0xBF}, 3, Kind::utf8Mark}};
        for (const Mark& mark : logStart ? std::span(kMarks) : std::span<const Mark>()) {
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
        for (std::size_t i = 0; i < kMostNeeded; ++i) {
            if (i == n) {
                return {complete ? Kind::bytes : Kind::needMore};
            }
            const bool fits = i % 2 == 0 ? byte(i) >= 0x01 && byte(i) <= 0x7F : byte(i) == 0;
            if (!fits) {
                return {Kind::bytes};
            }
        }
        return {Kind::utf16};
    }
};

}  // namespace vesk
