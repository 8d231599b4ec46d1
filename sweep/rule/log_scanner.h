#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "rule/byte_search.h"
#include "rule/marker_filter.h"
#include "text/text_form.h"
#include "text/utf16_text.h"

namespace vesk {

// Receives the lines that pass, in pieces: a passed line may be longer than any buffer.
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void write(std::string_view piece) = 0;
    virtual void endLine() = 0;
};

// Cuts a log into lines as it arrives in blocks and hands every passed line to the sink, in the
// report's text. A line ends at CR LF, at CR alone or at LF alone. 8-bit text is passed on byte
// for byte; UTF-16LE text, with its byte-order mark or from the line where it begins, is
// converted first. Only the first bytes of a line are ever looked at one by one; the rest is
// skipped or copied with block scans.
class LogScanner {
public:
    LogScanner(MarkerFilter& filter, LineSink& sink, const ByteSearch& search = fastestSearch())
        : filter_(&filter), sink_(&sink), search_(&search) {}
    // Where another scanner stands, to go on to other ends: what the log would give if it ended
    // now, while the other goes on reading it.
    LogScanner(const LogScanner& other, MarkerFilter& filter, LineSink& sink) : LogScanner(other) {
        filter_ = &filter;
        sink_ = &sink;
    }

    void beginLog();
    void scan(const char* data, std::size_t size);
    // The last line of a log needs no line end.
    void endLog();
    // A read failed midway: a passed line is closed so the report stays whole, but a partial
    // line says nothing about the marker, so the flag stays as the last whole line left it.
    void abandonLog();

private:
    using Verdict = MarkerFilter::LineStart::Verdict;

    void feed(const char* data, std::size_t size);
    void feedUtf16(const char* data, std::size_t size);
    // 8-bit text, or (not raw) the text UTF-16 was converted to. Returns where it stopped: at
    // the end, or where UTF-16 text begins.
    const char* scanText(const char* p, const char* end, bool raw);
    void endLine();
    const char* matchLineStart(const char* p, const char* end, bool raw);
    const char* skipQuietLines(const char* p, const char* end, bool raw);
    static bool startsLine(const char* p);
    const char* resumePoint(const char* p, const char* end) const;
    const char* toLineEnd(const char* p, const char* end);

    MarkerFilter* filter_;
    LineSink* sink_;
    const ByteSearch* search_;
    bool lineOpen_ = false;
    bool pass_ = false;
    bool pendingCr_ = false;
    MarkerFilter::LineStart start_;
    // Within the text being scanned: where it began, and the next marker line found there.
    const char* pieceStart_ = nullptr;
    const char* nextMarkerLine_ = nullptr;

    bool utf16_ = false;
    bool logStart_ = true;                   // nothing of the log has been looked at
    bool formKnown_ = false;                 // the open line's start was looked at for UTF-16 text
    char held_[TextForm::kMostNeeded] = {};  // a line's first bytes, too few to tell its form
    std::size_t heldSize_ = 0;
    Utf16Decoder decoder_;
    std::vector<char> text_;  // UTF-16 converted, a piece at a time
};

}  // namespace vesk
