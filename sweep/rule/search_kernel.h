#pragma once

// The pieces that every search shares: the portable searches, and the checks of the candidates
// that the vector searches find.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "rule/byte_search.h"
#include "rule/marker_filter.h"

namespace vesk::search {

constexpr std::size_t kMarkerSize = MarkerFilter::marker.size();
constexpr std::size_t kTail = kMarkerSize - 1;  // from a marker's start to its last byte
constexpr char kMarkerLast = MarkerFilter::marker.back();

constexpr auto isLineEnd = MarkerFilter::isLineEnd;
constexpr char kCr = MarkerFilter::cr;
constexpr char kLf = MarkerFilter::lf;

inline const char* findLineEndScalar(const char* first, const char* last) {
    for (; first != last; ++first) {
        if (isLineEnd(*first)) {
            return first;
        }
    }
    return last;
}

// Eight bytes at a time in an ordinary register: a byte of the word equals b when the word
// xor b in every byte has a zero byte, which the classic borrow trick detects.
inline bool holdsByte(std::uint64_t word, unsigned char b) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    const std::uint64_t x = word ^ (kOnes * b);
    return ((x - kOnes) & ~x & kHighs) != 0;
}

inline const char* findLineEndPortable(const char* first, const char* last) {
    for (; last - first >= 8; first += 8) {
        std::uint64_t word;
        std::memcpy(&word, first, sizeof word);
        if (holdsByte(word, kCr) || holdsByte(word, kLf)) {
            return findLineEndScalar(first, first + 8);
        }
    }
    return findLineEndScalar(first, last);
}

// A search of [from, last) for the scanner: the lowest place a marker line may start, and
// whether NULs are watched.
struct Search {
    const char* floor;
    const char* last;
    bool watchNul;

    // The start of the marker line whose marker this is, or null.
    const char* lineOf(const char* candidate) const {
        if (std::string_view(candidate, kMarkerSize) != MarkerFilter::marker) {
            return nullptr;
        }
        return MarkerFilter::markerLineStart(floor, candidate);
    }
};

// The marker's last byte alone filters the candidates: a number sign is rare in game logs, and
// the C library's memchr finds it with whatever vector unit the machine has. A marker line holds
// no NUL, so only a NUL before the marker line found can come first.
inline const char* findMarkerLinePortable(const Search& search, const char* from) {
    const char* line = nullptr;
    const char* tail = from + kTail;
    const char* const tailsEnd = search.last + kTail;
    while (tail < tailsEnd && line == nullptr) {
        const void* hit = std::memchr(tail, kMarkerLast, static_cast<std::size_t>(tailsEnd - tail));
        if (hit == nullptr) {
            break;
        }
        line = search.lineOf(static_cast<const char*>(hit) - kTail);
        tail = static_cast<const char*>(hit) + 1;
    }
    if (search.watchNul) {
        // A stamped line found here may begin before from, where NULs were looked for already.
        const char* const nulsEnd = line != nullptr ? std::max(line, from) : tailsEnd;
        if (const void* nul = std::memchr(from, 0, static_cast<std::size_t>(nulsEnd - from))) {
            return static_cast<const char*>(nul);
        }
    }
    return line;
}

// The first place to look again among the candidates of one stretch at p: each marker candidate
// by its bit in marks, each NUL at p + kTail by its bit in nuls.
template <typename Mask, typename FirstBit>
inline const char* checkStretch(const Search& search, const char* p, Mask marks, Mask nuls,
                                FirstBit firstBit) {
    const char* nul = nuls != 0 ? p + kTail + firstBit(nuls) : nullptr;
    for (; marks != 0; marks &= marks - 1) {
        const char* candidate = p + firstBit(marks);
        if (nul != nullptr && candidate > nul) {
            break;
        }
        if (const char* line = search.lineOf(candidate)) {
            return line;
        }
    }
    return nul;
}

// NULs in the first bytes, before the stretches' tails reach them.
inline const char* leadingNul(const Search& search, const char* from) {
    if (!search.watchNul) {
        return nullptr;
    }
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, from, sizeof low);
    std::memcpy(&high, from + kTail - sizeof high, sizeof high);
    if (!holdsByte(low, 0) && !holdsByte(high, 0)) {
        return nullptr;
    }
    return static_cast<const char*>(std::memchr(from, 0, kTail));
}

}  // namespace vesk::search
