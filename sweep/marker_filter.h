#pragma once

#include <string_view>

namespace vesk {

// Decides which log lines reach the report: exactly the lines that follow a line beginning with
// the marker. The flag carries from one log to the next within a run; each run has a filter of
// its own, so a run starts with the flag down.
class MarkerFilter {
public:
    static constexpr std::string_view marker = "ScriptLog: ####";

    // Whether the line now beginning is to be reported.
    bool armed() const { return flag_; }
    // At each line's end: whether that line began with the marker.
    void lineEnded(bool wasMarkerLine) { flag_ = wasMarkerLine; }

private:
    bool flag_ = false;
};

}  // namespace vesk
