#pragma once

namespace vesk {

// First carriage return or line feed in [first, last), or last.
const char* findLineEnd(const char* first, const char* last);

// First p in [first, last) where p[-1] ends a line (CR or LF) and p[0..15) is the marker, or last.
// The caller guarantees that [first - 1, last + 14) is readable.
const char* findMarkerLine(const char* first, const char* last);

// The searches use the processor's vector instructions where it has them (AVX2 on x86-64, NEON on
// 64-bit ARM) and a portable path elsewhere. Both give the same answers; tests and benchmarks
// switch to the portable path to exercise it on any machine.
bool hasVectorSearch();
void useVectorSearch(bool use);

}  // namespace vesk
