#pragma once

namespace vesk {

// First carriage return or line feed in [first, last), or last.
const char* findLineEnd(const char* first, const char* last);

// First p in [first, last) where p[-1] ends a line (CR or LF) and p[0..15) is the marker, or last.
// The caller guarantees that [first - 1, last + 14) is readable.
const char* findMarkerLine(const char* first, const char* last);

}  // namespace vesk
