#pragma once

#include <cstddef>
#include <cstdint>

#include "rule/byte_search.h"
#include "rule/line_scanner.h"
#include "rule/marker_filter.h"
#include "text/text_decoder.h"

namespace vesk {

// A log's bytes, as they arrive in blocks, into the lines that pass: the text decoder in front of
// the line scanner. 8-bit text is passed on byte for byte; UTF-16LE text is converted first.
class LogScanner {
public:
    LogScanner(MarkerFilter& filter, LineSink& sink, const ByteSearch& search = fastestSearch())
        : lines_(filter, sink, search, decoder_) {}
    // Where another scanner stands, going on to other ends: what the log would give if it ended
    // now, while the other goes on reading it.
    LogScanner(const LogScanner& other, MarkerFilter& filter, LineSink& sink)
        : lines_(other.lines_, filter, sink, decoder_), decoder_(other.decoder_) {}
    LogScanner(const LogScanner&) = delete;
    LogScanner& operator=(const LogScanner&) = delete;

    void beginLog() {
        lines_.beginLog();
        decoder_.beginLog();
    }
    // A part of a log read on its own from a line's start within it, at that offset, taken to
    // be 8-bit text; afterCr where the line before it ended in a CR, whose LF may follow.
    void beginPart(std::uint64_t offset, bool afterCr = false) {
        lines_.beginPart(afterCr);
        decoder_.beginPart(offset);
    }
    // Where the next byte scanned lies in the log, and where the bytes held back to tell their
    // form begin: lines that begin there have not been seen yet.
    std::uint64_t position() const { return decoder_.position(); }
    std::uint64_t handedTo() const { return decoder_.handedTo(); }
    void scan(const char* data, std::size_t size) { decoder_.feed(data, size, lines_); }
    // The last line of a log needs no line end.
    void endLog() { decoder_.endLog(lines_); }
    // A read failed midway: see LineScanner::abandonLog().
    void abandonLog() {
        lines_.abandonLog();
        decoder_.beginLog();
    }

    // Whether the line it is in the middle of passes: a part read on its own takes its first line
    // to, not knowing the line before it.
    void openLinePasses(bool passes) { lines_.openLinePasses(passes); }

    // Where a line end alone is held back at a line's start, passes it on as 8-bit text if the
    // bytes after it, not taken, say so.
    void settleHeld(const char* next, std::size_t size) {
        decoder_.settleHeldByte(next, size, lines_);
    }
    // In 8-bit text, in the middle of a line that bytes without a line end change nothing in.
    bool inQuietLine() const { return lines_.inQuietLine() && decoder_.reading8Bit(); }

    // At a line's start in 8-bit text with nothing held back: what a scanner that begins here,
    // in the middle of a log, takes for granted.
    bool atLineStartIn8Bit() const { return lines_.atLineStart() && decoder_.reading8Bit(); }
    bool afterCr() const { return lines_.afterCr(); }

private:
    LineScanner lines_;
    TextDecoder decoder_;
};

}  // namespace vesk
