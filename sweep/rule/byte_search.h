#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace vesk {

// The two searches the line scanner spends its time in. Each machine has them with the widest
// vector instructions its processor has (AVX-512 or AVX2 on x86-64, NEON on 64-bit ARM) and a
// portable path; all give the same answers.
struct ByteSearch {
    std::string_view name;
    // First carriage return or line feed in [first, last), or last.
    const char* (*findLineEnd)(const char* first, const char* last);
    // The first place in [first, last + 14) where a scanner skipping quiet lines must look again,
    // or null: the start of a marker line whose marker lies wholly in [first, last + 14), and,
    // when watchNul, a NUL byte, where UTF-16 text may begin. A marker line starts right after a
    // line end at or after first - 1. The caller guarantees that [first - 1, last + 14) is
    // readable.
    const char* (*findMarkerLine)(const char* first, const char* last, bool watchNul);
};

// The searches this machine has, fastest first; the last is the portable one.
std::span<const ByteSearch> byteSearches();
inline const ByteSearch& fastestSearch() {
    return byteSearches().front();
}

// The vector searches of this machine's processor, fastest first.
std::vector<ByteSearch> vectorSearches();

}  // namespace vesk
