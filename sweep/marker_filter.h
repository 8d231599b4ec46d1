#pragma once

#include <string_view>

namespace vesk {

// Decides which log lines reach the report: exactly the lines that follow a line beginning with
// the marker. The flag carries from one log to the next within a run; each run has a filter of
// its own, so a run starts with the flag down.
class MarkerFilter {
public:
    static constexpr std::string_view marker = "ScriptLog: ####";

    // True when the line is to be reported; then remembers whether this line is a marker line.
    bool feed(std::string_view line) {
        const bool passes = flag_;
        flag_ = startsWithMarker(line);
        return passes;
    }

    // The streaming scanner sees a line in pieces, so it asks and updates the flag separately.
    bool armed() const { return flag_; }
    void lineEnded(bool wasMarkerLine) { flag_ = wasMarkerLine; }

    static bool startsWithMarker(std::string_view line) { return line.starts_with(marker); }

private:
    bool flag_ = false;
};

}  // namespace vesk
