#pragma once

#include <string_view>
#include <vector>

namespace vesk {

// First carriage return or line feed in [first, last), or last.
const char* findLineEnd(const char* first, const char* last);

// The first place in [first, last + 14) where a scanner skipping quiet lines must look again, or
// null: the start of a marker line whose marker lies wholly in [first, last + 14), and, when
// watchNul, a NUL byte, where UTF-16 text may begin. A marker line starts right after a line
// end at or after first - 1. The caller guarantees that [first - 1, last + 14) is readable.
const char* findMarkerLine(const char* first, const char* last, bool watchNul);

// The searches use the processor's widest vector instructions (AVX-512 or AVX2 on x86-64, NEON on
// 64-bit ARM) and a portable path elsewhere. All give the same answers; tests and benchmarks
// take each path this machine has.
enum class SearchUnit { avx512, avx2, neon, portable };
const std::vector<SearchUnit>& searchUnits();  // fastest first; the fastest is taken
void useSearchUnit(SearchUnit path);
std::string_view nameOf(SearchUnit path);

}  // namespace vesk
