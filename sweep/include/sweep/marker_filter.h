#pragma once

#include <string_view>

namespace vesk {

// The rule that decides which log lines reach the report: exactly the lines that follow a marker
// line. Everything the rule says is here; the scanner and the byte search take it from here.
// The flag carries from one log to the next within a run; each run has a filter of its own, so a
// run starts with the flag down.
class MarkerFilter {
public:
    static constexpr std::string_view marker = "ScriptLog: ####";

    // A line ends at CR LF, at CR alone or at LF alone; the line end is not part of the line.
    static constexpr char cr = '\r';
    static constexpr char lf = '\n';
    static constexpr bool isLineEnd(char c) { return c == cr || c == lf; }

    // Whether a line, without its line end, is a marker line: it begins with the marker.
    static constexpr bool isMarkerLine(std::string_view line) { return line.starts_with(marker); }

    // Whether the line now beginning is to be reported.
    bool armed() const { return flag_; }
    // At each line's end: whether that line was a marker line.
    void lineEnded(bool wasMarkerLine) { flag_ = wasMarkerLine; }

private:
    bool flag_ = false;
};

// What the scanner and the byte search rely on. The marker holds no line end, so a marker found
// anywhere lies within one line, and a mismatch at a line's start settles that line.
static_assert(MarkerFilter::marker.find(MarkerFilter::cr) == std::string_view::npos &&
              MarkerFilter::marker.find(MarkerFilter::lf) == std::string_view::npos);
// The search takes the marker's last byte as its first filter: it must be rare in logs.
static_assert(MarkerFilter::marker.back() == '#');

}  // namespace vesk
