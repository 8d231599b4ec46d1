#include "rule/log_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vesk {
namespace {

constexpr auto isLineEnd = MarkerFilter::isLineEnd;
constexpr std::size_t kMarkerSize = MarkerFilter::marker.size();
// UTF-16 is converted this many bytes at a time.
constexpr std::size_t kUtf16Piece = 16 * 1024;

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

}  // namespace

void LogScanner::beginLog() {
    lineOpen_ = false;
    pass_ = false;
    pendingCr_ = false;
    utf16_ = false;
    logStart_ = true;
    formKnown_ = false;
    heldSize_ = 0;
    decoder_ = {};
}

void LogScanner::scan(const char* data, std::size_t size) {
    // Bytes held back at a line's start are read again with those that follow them.
    while (heldSize_ > 0 && size > 0) {
        char bytes[sizeof held_];
        const std::size_t taken = std::min(size, sizeof held_ - heldSize_);
        std::memcpy(bytes, held_, heldSize_);
        std::memcpy(bytes + heldSize_, data, taken);
        const std::size_t count = heldSize_ + taken;
        heldSize_ = 0;
        data += taken;
        size -= taken;
        feed(bytes, count);
    }
    feed(data, size);
}

void LogScanner::endLog() {
    // No more bytes will tell the held ones' form: they are what they are.
    while (heldSize_ > 0) {
        char bytes[sizeof held_];
        std::size_t count = heldSize_;
        std::memcpy(bytes, held_, count);
        heldSize_ = 0;
        const TextForm form = TextForm::at(bytes, count, logStart_, true);
        logStart_ = false;
        count -= form.skip;
        std::memmove(bytes, bytes + form.skip, count);
        if (form.kind == TextForm::Kind::utf8Mark) {
            std::memcpy(held_, bytes, count);  // the line after the mark, looked at again
            heldSize_ = count;
            continue;
        }
        utf16_ = form.kind == TextForm::Kind::utf16;
        formKnown_ = !utf16_;
        feed(bytes, count);
    }
    if (utf16_) {
        char tail[4];
        scanText(tail, tail + decoder_.finish(tail), false);
    }
    if (lineOpen_) {
        endLine();
    }
    pendingCr_ = false;
}

void LogScanner::abandonLog() {
    if (lineOpen_ && pass_) {
        sink_->endLine();
    }
    beginLog();
}

void LogScanner::feed(const char* data, std::size_t size) {
    const char* const end = data + size;
    while (data != end) {
        if (utf16_) {
            feedUtf16(data, static_cast<std::size_t>(end - data));
            return;
        }
        data = scanText(data, end, true);
    }
}

void LogScanner::feedUtf16(const char* data, std::size_t size) {
    text_.resize(Utf16Decoder::maxOutput(kUtf16Piece));
    for (std::size_t at = 0; at < size; at += kUtf16Piece) {
        const std::size_t n =
            decoder_.decode(data + at, std::min(kUtf16Piece, size - at), text_.data());
        scanText(text_.data(), text_.data() + n, false);
    }
}

const char* LogScanner::scanText(const char* p, const char* end, bool raw) {
    pieceStart_ = p;
    nextMarkerLine_ = nullptr;
    while (p != end) {
        if (pendingCr_) {
            pendingCr_ = false;
            if (*p == MarkerFilter::lf) {
                ++p;
                continue;
            }
        }
        // A line's start tells its form; 8-bit text mostly by its second byte, which is no NUL.
        if (raw && !lineOpen_ && !formKnown_ && (logStart_ || end - p < 2 || p[1] == '\0')) {
            const TextForm form =
                TextForm::at(p, static_cast<std::size_t>(end - p), logStart_, false);
            switch (form.kind) {
                case TextForm::Kind::needMore:
                    std::memcpy(held_, p, static_cast<std::size_t>(end - p));
                    heldSize_ = static_cast<std::size_t>(end - p);
                    return end;
                case TextForm::Kind::utf8Mark:
                    logStart_ = false;
                    p += form.skip;
                    continue;
                case TextForm::Kind::utf16:
                    logStart_ = false;
                    utf16_ = true;
                    return p + form.skip;
                case TextForm::Kind::bytes:
                    logStart_ = false;
                    break;
            }
        }
        formKnown_ = true;
        if (isLineEnd(*p)) {
            pendingCr_ = *p == MarkerFilter::cr;
            endLine();
            ++p;
        } else if (!lineOpen_ || start_.verdict() == Verdict::open) {
            p = matchLineStart(p, end, raw);
        } else if (!pass_ && start_.verdict() == Verdict::other) {
            p = skipQuietLines(p, end, raw);
        } else {
            p = toLineEnd(p, end);
        }
    }
    return end;
}

void LogScanner::endLine() {
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

const char* LogScanner::matchLineStart(const char* p, const char* end, bool raw) {
    if (!lineOpen_) {
        lineOpen_ = true;
        pass_ = filter_->armed();
        start_ = {};
        // A stamped line is settled by the search that skips quiet lines, without reading its
        // stamp: it is a marker line only if the next marker line begins right here. What the
        // search finds serves the lines up to there as well.
        if (*p == MarkerFilter::stampOpen && p != pieceStart_ && isLineEnd(p[-1]) &&
            end - p > static_cast<std::ptrdiff_t>(kMarkerSize)) {
            const char* next = p < nextMarkerLine_
                                   ? nextMarkerLine_
                                   : search_->findMarkerLine(p, end - (kMarkerSize - 1), raw);
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
// reaches the report: jump straight to the line end in front of it. In 8-bit text a NUL may
// follow the first character of a line where UTF-16 text begins: stop in front of that line too.
const char* LogScanner::skipQuietLines(const char* p, const char* end, bool raw) {
    if (p < nextMarkerLine_) {
        return nextMarkerLine_ - 1;
    }
    const char* hit = nullptr;
    if (end - p > static_cast<std::ptrdiff_t>(kMarkerSize)) {
        hit = search_->findMarkerLine(p + 1, end - (kMarkerSize - 1), raw);
    } else if (raw) {
        hit =
            static_cast<const char*>(std::memchr(p + 1, 0, static_cast<std::size_t>(end - p - 1)));
    }
    if (hit == nullptr) {
        return resumePoint(p, end);
    }
    if (*hit != '\0') {
        return hit - 1;
    }
    const char* line = hit - 1;
    if (line - 1 > p && startsLine(line)) {
        return line - 1;
    }
    return search_->findLineEnd(hit, end);  // a NUL within a line of 8-bit text
}

// Whether a line starts at p, right after a line end: not between the CR and LF of one.
bool LogScanner::startsLine(const char* p) {
    return isLineEnd(p[-1]) && !(p[-1] == MarkerFilter::cr && p[0] == MarkerFilter::lf);
}

// A line that begins near the end may be told apart only by what comes next: resume at the line
// end in front of the first such line. Only the last line may be open for its marker; for its
// form, any line that begins within the last few bytes.
const char* LogScanner::resumePoint(const char* p, const char* end) const {
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
                    TextForm::at(line, size, false, false).kind == TextForm::Kind::needMore;
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

const char* LogScanner::toLineEnd(const char* p, const char* end) {
    const char* lineEnd = search_->findLineEnd(p, end);
    if (pass_) {
        sink_->write({p, static_cast<std::size_t>(lineEnd - p)});
    }
    return lineEnd;
}

}  // namespace vesk
