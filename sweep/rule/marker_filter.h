#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sweep/marker.h"

namespace vesk {

namespace detail {
constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool isStampChar(char c) {
    return isDigit(c) || c == '.' || c == ':' || c == '-' || c == '/' || c == ' ';
}
// The same, looked up: a stamp's characters are read in a tight loop.
constexpr auto kStampChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[static_cast<std::size_t>(c)] = isStampChar(static_cast<char>(c));
    }
    return table;
}();
}  // namespace detail

// The rule that decides which log lines reach the report: exactly the lines that follow a marker
// line. Everything the rule says is here; the scanner and the byte search take it from here.
// The flag carries from one log to the next within a run; each run has a filter of its own, so a
// run starts with the flag down.
//
// A marker line begins with the marker, or with one bracketed time stamp, one blank and the
// marker, as engines that stamp every line write it: "[0031.64] ScriptLog: ####". A stamp holds
// digits and the separators . : - / and blank, at least one digit among them.
class MarkerFilter {
public:
    static constexpr std::string_view marker = kMarker;

    // A line ends at CR LF, at CR alone or at LF alone; the line end is not part of the line.
    static constexpr char cr = '\r';
    static constexpr char lf = '\n';
    static constexpr bool isLineEnd(char c) { return c == cr || c == lf; }

    static constexpr char stampOpen = '[';
    static constexpr char stampClose = ']';
    static constexpr bool isDigit(char c) { return detail::isDigit(c); }
    static constexpr bool isStampChar(char c) { return detail::isStampChar(c); }

    // Reads a line's first characters one at a time until it knows whether the line is a marker
    // line; a line that ends first is not one.
    class LineStart {
    public:
        enum class Verdict : std::uint8_t { open, marker, other };

        constexpr Verdict feed(char c) {
            switch (phase_) {
                case Phase::begin:
                    if (c == stampOpen) {
                        phase_ = Phase::stamp;
                        return Verdict::open;
                    }
                    phase_ = Phase::marker;
                    return matchMarker(c);
                case Phase::stamp:
                    if (isStampChar(c)) {
                        digit_ = digit_ || isDigit(c);
                        return Verdict::open;
                    }
                    phase_ = c == stampClose && digit_ ? Phase::blank : Phase::decided;
                    return phase_ == Phase::blank ? Verdict::open : decide(Verdict::other);
                case Phase::blank:
                    phase_ = Phase::marker;
                    return c == ' ' ? Verdict::open : decide(Verdict::other);
                case Phase::marker:
                    return matchMarker(c);
                case Phase::decided:
                    break;
            }
            return verdict_;
        }
        constexpr Verdict verdict() const { return verdict_; }
        // When the line is known otherwise to be a marker line or not.
        constexpr void settle(bool markerLine) {
            decide(markerLine ? Verdict::marker : Verdict::other);
        }
        // As feed() for each character from p on, until the verdict is known or a line ends;
        // returns where it stopped. A stamp, and a marker wholly at hand, take one step each.
        constexpr const char* feed(const char* p, const char* end) {
            if (phase_ == Phase::begin && p != end && *p == stampOpen) {
                if (const char* settled = settleStamped(p, end)) {
                    return settled;
                }
            }
            while (p != end && verdict_ == Verdict::open && !isLineEnd(*p)) {
                if (phase_ == Phase::stamp && isStampChar(*p)) {
                    p = skipStampChars(p, end, digit_);
                } else if ((phase_ == Phase::marker ||
                            (phase_ == Phase::begin && *p != stampOpen)) &&
                           matched_ == 0 && static_cast<std::size_t>(end - p) >= marker.size()) {
                    // Whatever follows a mismatch is read on as the rest of the line.
                    phase_ = Phase::marker;
                    const bool match = std::string_view(p, marker.size()) == marker;
                    decide(match ? Verdict::marker : Verdict::other);
                    return match ? p + marker.size() : p;
                } else if (phase_ == Phase::blank && *p == ' ') {
                    phase_ = Phase::marker;
                    ++p;
                } else {
                    feed(*p++);
                }
            }
            return p;
        }
        constexpr Verdict feed(std::string_view chars) {
            feed(chars.data(), chars.data() + chars.size());
            return verdict_;
        }

    private:
        enum class Phase : std::uint8_t { begin, stamp, blank, marker, decided };

        // Past the stamp's characters from p on, in a tight loop; digit is raised where they
        // held one.
        static constexpr const char* skipStampChars(const char* p, const char* end, bool& digit) {
            bool any = false;
            for (; p != end && detail::kStampChars[static_cast<unsigned char>(*p)]; ++p) {
                any |= static_cast<unsigned char>(*p - '0') < 10;
            }
            digit = digit || any;
            return p;
        }

        // A stamped line wholly at hand, in one go: its stamp in a tight loop, then the marker.
        // Null when the line's start is not wholly at hand.
        constexpr const char* settleStamped(const char* p, const char* end) {
            bool digit = false;
            const char* close = skipStampChars(p + 1, end, digit);
            if (static_cast<std::size_t>(end - close) < 2 + marker.size()) {
                return nullptr;
            }
            const bool stamp = *close == stampClose && digit && close[1] == ' ' &&
                               std::string_view(close + 2, marker.size()) == marker;
            decide(stamp ? Verdict::marker : Verdict::other);
            return stamp ? close + 2 + marker.size() : close;  // nothing past a line end
        }

        constexpr Verdict matchMarker(char c) {
            if (c != marker[matched_]) {
                return decide(Verdict::other);
            }
            return ++matched_ == marker.size() ? decide(Verdict::marker) : Verdict::open;
        }
        constexpr Verdict decide(Verdict verdict) {
            phase_ = Phase::decided;
            verdict_ = verdict;
            return verdict;
        }

        Phase phase_ = Phase::begin;
        Verdict verdict_ = Verdict::open;
        bool digit_ = false;
        std::uint8_t matched_ = 0;
    };

    // Where the line that holds the marker found at `at` begins, when that line is a marker line
    // stamped or not: a line end must stand right before it, at or after first - 1. Else null.
    static const char* markerLineStart(const char* first, const char* at) {
        return markerLineStart(first, at, [](const char* line) { return isLineEnd(line[-1]); });
    }
    // The same, where startsLine(line) tells whether a line may start at line, looking back no
    // further than first - 1.
    template <typename StartsLine>
    static const char* markerLineStart(const char* first, const char* at, StartsLine startsLine) {
        if (startsLine(at)) {
            return at;
        }
        if (at - first < 3 || at[-1] != ' ' || at[-2] != stampClose) {
            return nullptr;
        }
        bool digit = false;
        const char* p = at - 3;
        for (; p >= first && isStampChar(*p); --p) {
            digit = digit || isDigit(*p);
        }
        const bool stamp = p >= first && p < at - 3 && *p == stampOpen && digit;
        return stamp && startsLine(p) ? p : nullptr;
    }

    // Whether the line now beginning is to be reported.
    bool armed() const { return flag_; }
    // At each line's end: whether that line was a marker line.
    void lineEnded(bool wasMarkerLine) { flag_ = wasMarkerLine; }

private:
    bool flag_ = false;
};

// What the scanner and the byte search rely on. Neither the marker nor a stamp holds a line end,
// so whatever is found lies within one line, and a line that ends first is no marker line.
static_assert(MarkerFilter::marker.find(MarkerFilter::cr) == std::string_view::npos &&
              MarkerFilter::marker.find(MarkerFilter::lf) == std::string_view::npos &&
              !MarkerFilter::isStampChar(MarkerFilter::cr) &&
              !MarkerFilter::isStampChar(MarkerFilter::lf));
// The search takes the marker's last byte as its first filter: it must be rare in logs. It then
// looks back from the marker over a stamp, which must not look like the marker's start.
static_assert(MarkerFilter::marker.back() == '#');
static_assert(MarkerFilter::marker.front() != MarkerFilter::stampOpen &&
              !MarkerFilter::isStampChar(MarkerFilter::marker.front()));
// No NUL in the marker or a stamp: a NUL in a line's first bytes is where UTF-16 text may begin.
static_assert(MarkerFilter::marker.find('\0') == std::string_view::npos &&
              !MarkerFilter::isStampChar('\0'));

}  // namespace vesk
