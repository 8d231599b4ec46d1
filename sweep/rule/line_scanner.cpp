#include "rule/line_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "text/text_form.h"

namespace vesk {
namespace {

constexpr auto isLineEnd = MarkerFilter::isLineEnd;
constexpr std::size_t kMarkerSize = MarkerFilter::marker.size();

// The bytes that can make up an undecided start of a marker line: a stamp and its brackets, and
// the marker's own.
constexpr auto kMayStartMarkerLine = [] {
    std::array<bool, 256> table{};
    for (const char c : MarkerFilter::marker) {
        table[static_cast<unsigned char>(c)] = true;
    }
    for (int c = 0; c < 256; ++c) {
        table[static_cast<std::size_t>(c)] |= MarkerFilter::isStampChar(static_cast<char>(c));
    }
    table[static_cast<unsigned char>(MarkerFilter::stampOpen)] = true;
    table[static_cast<unsigned char>(MarkerFilter::stampClose)] = true;
    return table;
}();

bool mayStartMarkerLine(char c) {
    return kMayStartMarkerLine[static_cast<unsigned char>(c)];
}

// At the end of what has arrived, an 8-bit marker line may begin within this many bytes of
// UTF-16LE text: the marker, and a stamp of up to this much less.
constexpr std::size_t kUtf16LookAhead = 64;

// Whether a line starts at p in UTF-16LE text, as an 8-bit line would: after an 8-bit CR or LF, or
// the NUL of a UTF-16LE one.
bool afterLineEndByte(const char* p) {
    return isLineEnd(p[-1]) || (p[-1] == '\0' && isLineEnd(p[-2]));
}

}  // namespace

void LineScanner::beginLog() {
    lineOpen_ = false;
    pass_ = false;
    pendingCr_ = false;
    formKnown_ = false;
}

const char* LineScanner::scan(const char* p, const char* end, bool watchForm) {
    pieceStart_ = p;
    nextMarkerLine_ = nullptr;
    while (p != end) {
        if (pendingCr_) {
            if (*p == MarkerFilter::lf) {
                pendingCr_ = false;
                ++p;
                continue;
            }
            // A NUL may be the second byte of a UTF-16LE CR, whose LF is still to come.
            pendingCr_ = watchForm && !formKnown_ && *p == '\0';
        }
        if (watchForm && !lineOpen_ && !formKnown_ &&
            TextForm::mayChange(p, static_cast<std::size_t>(end - p))) {
            return p;
        }
        formKnown_ = true;
        if (isLineEnd(*p)) {
            pendingCr_ = *p == MarkerFilter::cr;
            if (!lineOpen_ && filter_->armed()) {
                passedLineBegins(p);  // an empty line that passes
            }
            endLine();
            ++p;
        } else if (!lineOpen_ || start_.verdict() == Verdict::open) {
            p = matchLineStart(p, end, watchForm);
        } else if (!pass_ && start_.verdict() == Verdict::other) {
            p = skipQuietLines(p, end, watchForm);
        } else {
            p = toLineEnd(p, end);
        }
    }
    return end;
}

void LineScanner::formKnown() {
    formKnown_ = true;
    pendingCr_ = false;
}

void LineScanner::breakLine() {
    if (lineOpen_) {
        endLine();
    }
    pendingCr_ = false;
}

void LineScanner::endLog() {
    if (lineOpen_) {
        endLine();
    }
    pendingCr_ = false;
}

void LineScanner::abandonLog() {
    if (lineOpen_ && pass_) {
        sink_->endLine();
    }
    beginLog();
}

void LineScanner::endLine() {
    if (!lineOpen_) {  // an empty line
        pass_ = filter_->armed();
        start_ = {};
    }
    if (pass_) {
        sink_->endLine();
    }
    filter_->lineEnded(start_.verdict() == Verdict::marker);
    lineOpen_ = false;
    pass_ = false;
    formKnown_ = false;
}

const char* LineScanner::matchLineStart(const char* p, const char* end, bool watchForm) {
    if (!lineOpen_) {
        lineOpen_ = true;
        pass_ = filter_->armed();
        start_ = {};
        if (pass_) {
            passedLineBegins(p);
        }
        // A stamped line is settled by the search that skips quiet lines, without reading its
        // stamp: it is a marker line only if the next marker line begins right here. What the
        // search finds serves the lines up to there as well.
        if (*p == MarkerFilter::stampOpen && p != pieceStart_ && isLineEnd(p[-1]) &&
            end - p > static_cast<std::ptrdiff_t>(kMarkerSize)) {
            const char* next = p < nextMarkerLine_
                                   ? nextMarkerLine_
                                   : search_->findMarkerLine(p, end - (kMarkerSize - 1), watchForm);
            if (next != nullptr) {
                start_.settle(next == p);
                nextMarkerLine_ = *next != '\0' ? next : nullptr;
                return p;
            }
        } else if (*p != MarkerFilter::stampOpen &&
                   end - p >= static_cast<std::ptrdiff_t>(kMarkerSize)) {
            // The marker wholly at hand: one comparison settles the line.
            const bool marker = std::string_view(p, kMarkerSize) == MarkerFilter::marker;
            start_.settle(marker);
            const char* q = marker ? p + kMarkerSize : p;
            if (pass_) {
                sink_->write({p, static_cast<std::size_t>(q - p)});
            }
            return q;
        }
    }
    // The marker holds no line end, so a line end settles a line that is still open.
    const char* q = start_.feed(p, end);
    if (pass_) {
        sink_->write({p, static_cast<std::size_t>(q - p)});
    }
    return q;
}

// The open line is neither passed nor a marker line, so nothing up to the next marker line
// reaches the report: jump straight to the line end in front of it. While the form is watched,
// a NUL may belong to the start of a line where UTF-16 text begins: stop in front of that line
// too.
const char* LineScanner::skipQuietLines(const char* p, const char* end, bool watchForm) {
    if (p < nextMarkerLine_) {
        return nextMarkerLine_ - 1;
    }
    const char* hit = nullptr;
    if (end - p > static_cast<std::ptrdiff_t>(kMarkerSize)) {
        hit = search_->findMarkerLine(p + 1, end - (kMarkerSize - 1), watchForm);
    } else if (watchForm) {
        hit =
            static_cast<const char*>(std::memchr(p + 1, 0, static_cast<std::size_t>(end - p - 1)));
    }
    if (hit == nullptr) {
        return resumePoint(p, end, watchForm);
    }
    if (*hit != '\0') {
        return hit - 1;
    }
    if (const char* lineEnd = lineBeforeForm(p, hit)) {
        return lineEnd;
    }
    return search_->findLineEnd(hit, end);  // a NUL within a line of 8-bit text
}

// The line end in front of a line start after p that the NUL found may begin another form from:
// the NUL is the second byte of its first character, or of one after a byte-order mark, or the
// line's first byte (the rest of a UTF-16LE line end). Null when it is none of these.
const char* LineScanner::lineBeforeForm(const char* p, const char* nul) const {
    for (const char* line : {nul - 3, nul - 1, nul}) {
        if (line - 1 <= p) {
            continue;
        }
        const bool marked = static_cast<unsigned char>(line[0]) == 0xFF &&
                            static_cast<unsigned char>(line[1]) == 0xFE;
        if ((line != nul - 3 || marked) && startsLine(line)) {
            return line - 1;
        }
    }
    return nullptr;
}

// Whether a line starts at p, right after a line end: not between the CR and LF of one.
bool LineScanner::startsLine(const char* p) {
    return isLineEnd(p[-1]) && !(p[-1] == MarkerFilter::cr && p[0] == MarkerFilter::lf);
}

// A line that begins near the end may be told apart only by what comes next: resume at the line
// end in front of the first such line. Only the last line may be open for its marker; for its
// form, any line that begins within the last few bytes.
const char* LineScanner::resumePoint(const char* p, const char* end, bool watchForm) const {
    const char* resume = end;
    for (const char* q = end; q != p + 1;) {
        --q;
        const bool near = end - q <= static_cast<std::ptrdiff_t>(TextForm::kMostNeeded);
        if (isLineEnd(*q)) {
            const char* line = q + 1;
            if (line == end || startsLine(line)) {
                const auto size = static_cast<std::size_t>(end - line);
                const char* lineEnd = search_->findLineEnd(line, end);
                MarkerFilter::LineStart start;
                const bool open =
                    (lineEnd == end && start.feed(std::string_view(line, size)) == Verdict::open) ||
                    (watchForm &&
                     TextForm::at(line, size, false, false).kind == TextForm::Kind::needMore);
                resume = open ? q : resume;
            }
            if (!near) {
                break;
            }
        } else if (!near && !mayStartMarkerLine(*q)) {
            break;
        }
    }
    return resume;
}

const char* LineScanner::toLineEnd(const char* p, const char* end) {
    const char* lineEnd = search_->findLineEnd(p, end);
    if (pass_) {
        sink_->write({p, static_cast<std::size_t>(lineEnd - p)});
    }
    return lineEnd;
}

// The first 8-bit marker line in [first, last), standing after a line end byte: an 8-bit CR or LF,
// or the NUL of a UTF-16LE one. A line end before first + 2 is not looked at.
const char* LineScanner::find8BitMarkerLine(const char* first, const char* last) const {
    const std::string_view text(first, static_cast<std::size_t>(last - first));
    for (std::size_t at = text.find(MarkerFilter::marker, 2); at != std::string_view::npos;
         at = text.find(MarkerFilter::marker, at + 1)) {
        if (const char* line =
                MarkerFilter::markerLineStart(first + 2, first + at, afterLineEndByte)) {
            return line;
        }
    }
    return nullptr;
}

// How many bytes at the end of UTF-16LE text in [first, last) to hold back, as an 8-bit marker
// line may begin there that has not arrived whole: from two bytes before the first place where
// one may still begin (the bytes a line start is known by), else the last two. Lines that end
// before it are converted at once, so that what a growing log adds is told without waiting.
std::size_t LineScanner::heldForMarkerLine(const char* first, const char* last) const {
    const auto size = static_cast<std::size_t>(last - first);
    for (const char* line =
             first + std::max<std::size_t>(2, size - std::min(size, kUtf16LookAhead));
         line <= last; ++line) {
        MarkerFilter::LineStart start;
        // Undecided only where the bytes ran out: a line that ends first is no marker line.
        if (afterLineEndByte(line) && start.feed(line, last) == last &&
            start.verdict() == MarkerFilter::LineStart::Verdict::open) {
            return static_cast<std::size_t>(last - line) + 2;
        }
    }
    return std::min<std::size_t>(size, 2);
}

}  // namespace vesk
