#include "log_scanner.h"

#include <algorithm>

#include "byte_search.h"

namespace vesk {
namespace {

constexpr auto isLineEnd = MarkerFilter::isLineEnd;

}  // namespace

void LogScanner::beginLog() {
    lineOpen_ = false;
    pass_ = false;
    pendingCr_ = false;
    matched_ = 0;
}

void LogScanner::scan(const char* data, std::size_t size) {
    const char* p = data;
    const char* const end = data + size;
    while (p != end) {
        if (pendingCr_) {
            pendingCr_ = false;
            if (*p == MarkerFilter::lf) {
                ++p;
                continue;
            }
        }
        if (isLineEnd(*p)) {
            pendingCr_ = *p == MarkerFilter::cr;
            endLine();
            ++p;
        } else if (!lineOpen_ || (matched_ != kNoMatch && matched_ < kMarkerSize)) {
            p = matchLineStart(p, end);
        } else if (!pass_ && matched_ == kNoMatch) {
            p = skipQuietLines(p, end);
        } else {
            p = toLineEnd(p, end);
        }
    }
}

void LogScanner::endLog() {
    if (lineOpen_) {
        endLine();
    }
    pendingCr_ = false;
}

void LogScanner::abandonLog() {
    if (lineOpen_ && pass_) {
        sink_.endLine();
    }
    beginLog();
}

void LogScanner::endLine() {
    if (!lineOpen_) {  // an empty line
        pass_ = filter_.armed();
        matched_ = 0;
    }
    if (pass_) {
        sink_.endLine();
    }
    filter_.lineEnded(matched_ == kMarkerSize);
    lineOpen_ = false;
    pass_ = false;
    matched_ = 0;
}

const char* LogScanner::matchLineStart(const char* p, const char* end) {
    if (!lineOpen_) {
        lineOpen_ = true;
        pass_ = filter_.armed();
        matched_ = 0;
    }
    if (matched_ == 0 && end - p >= kMarkerSize) {
        // The whole prefix is at hand. The marker holds no line end, so a mismatch means the line
        // is no marker line whatever comes after the first byte.
        const bool marker = MarkerFilter::isMarkerLine({p, kMarkerSize});
        matched_ = marker ? kMarkerSize : kNoMatch;
        const char* q = marker ? p + kMarkerSize : p + 1;
        if (pass_) {
            sink_.write({p, static_cast<std::size_t>(q - p)});
        }
        return q;
    }
    const char* q = p;
    while (q != end && matched_ != kNoMatch && matched_ < kMarkerSize && !isLineEnd(*q)) {
        matched_ = *q == MarkerFilter::marker[static_cast<std::size_t>(matched_)] ? matched_ + 1
                                                                                  : kNoMatch;
        ++q;
    }
    if (pass_) {
        sink_.write({p, static_cast<std::size_t>(q - p)});
    }
    return q;
}

// The open line is neither passed nor a marker line, so nothing up to the next marker line
// reaches the report: jump straight to the line end in front of it.
const char* LogScanner::skipQuietLines(const char* p, const char* end) {
    if (end - p > kMarkerSize) {
        const char* last = end - (kMarkerSize - 1);
        const char* hit = findMarkerLine(p + 1, last);
        if (hit != last) {
            return hit - 1;
        }
    }
    // A marker line may begin in the last bytes and go on in the next block; lines that both
    // begin and end there are too short to be marker lines. Resume at the last line end.
    const char* tail = std::max(p, end - kMarkerSize);
    for (const char* q = end; q != tail;) {
        --q;
        if (isLineEnd(*q)) {
            return q;
        }
    }
    return end;
}

const char* LogScanner::toLineEnd(const char* p, const char* end) {
    const char* lineEnd = findLineEnd(p, end);
    if (pass_) {
        sink_.write({p, static_cast<std::size_t>(lineEnd - p)});
    }
    return lineEnd;
}

}  // namespace vesk
