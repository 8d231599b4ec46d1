#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rule/byte_search.h"
#include "rule/marker_filter.h"
#include "text/text_receiver.h"

namespace vesk {

// Receives the lines that pass, in pieces: a passed line may be longer than any buffer.
class LineSink {
public:
    virtual ~LineSink() = default;
    // Whether the sink is told where each passed line begins in the log, before its first piece:
    // finding that costs a little in converted text, so only a sink that asks is told.
    virtual bool wantsOffsets() const { return false; }
    virtual void beginLine(std::uint64_t /*offset*/) {}
    virtual void write(std::string_view piece) = 0;
    virtual void endLine() = 0;
};

// Cuts 8-bit text into lines as it arrives in pieces and hands every passed line to the sink, byte
// for byte. A line ends at CR LF, at CR alone or at LF alone. Only the first bytes of a line are
// ever looked at one by one; the rest is skipped or copied with the byte searches.
//
// Where the text may change its form (UTF-16LE text may begin at a line's start), the decoder in
// front of it asks it to watch: it then stops at each line start that may begin another form, and
// at NULs, which every such start holds.
class LineScanner final : public TextReceiver {
public:
    LineScanner(MarkerFilter& filter, LineSink& sink, const ByteSearch& search,
                const TextPositions& positions)
        : filter_(&filter),
          sink_(&sink),
          search_(&search),
          positions_(&positions),
          offsets_(sink.wantsOffsets()) {}
    // Where another scanner stands, going on to other ends.
    LineScanner(const LineScanner& other, MarkerFilter& filter, LineSink& sink,
                const TextPositions& positions)
        : LineScanner(other) {
        filter_ = &filter;
        sink_ = &sink;
        positions_ = &positions;
        offsets_ = sink.wantsOffsets();
    }

    void beginLog();
    // In the middle of a log, at a line's start; afterCr right after a CR, whose LF may follow.
    void beginPart(bool afterCr) {
        beginLog();
        pendingCr_ = afterCr;
    }
    // Whether the open line, if any, passes: where the line before it was known only later.
    void openLinePasses(bool passes) { pass_ = lineOpen_ && passes; }
    const char* scan(const char* p, const char* end, bool watchForm) override;
    void formKnown() override;
    void breakLine() override;
    void endLog() override;
    const char* find8BitMarkerLine(const char* first, const char* last) const override;
    std::size_t heldForMarkerLine(const char* first, const char* last) const override;
    // A read failed midway: a passed line is closed so the report stays whole, but a partial line
    // says nothing about the marker, so the flag stays as the last whole line left it.
    void abandonLog();

    // At a line's start with no line end half seen: where text of another form may take over, or
    // a part of the log read on its own may begin.
    bool atLineStart() const { return !lineOpen_; }
    // Right after a CR, whose LF may follow: what beginPart() is told.
    bool afterCr() const { return pendingCr_; }
    // In the middle of a line that does not pass and whose start is settled: bytes without a line
    // end change nothing.
    bool inQuietLine() const {
        return lineOpen_ && !pass_ && !pendingCr_ && start_.verdict() != Verdict::open;
    }

private:
    using Verdict = MarkerFilter::LineStart::Verdict;

    void endLine();
    void passedLineBegins(const char* p) {
        if (offsets_) {
            sink_->beginLine(positions_->offsetOf(p));
        }
    }
    const char* matchLineStart(const char* p, const char* end, bool watchForm);
    const char* skipQuietLines(const char* p, const char* end, bool watchForm);
    const char* lineBeforeForm(const char* p, const char* nul) const;
    static bool startsLine(const char* p);
    const char* resumePoint(const char* p, const char* end, bool watchForm) const;
    const char* toLineEnd(const char* p, const char* end);

    MarkerFilter* filter_;
    LineSink* sink_;
    const ByteSearch* search_;
    const TextPositions* positions_;
    bool offsets_;
    bool lineOpen_ = false;
    bool pass_ = false;
    bool pendingCr_ = false;
    bool formKnown_ = false;  // the open line's start was looked at for another form
    MarkerFilter::LineStart start_;
    // Within the text being scanned: where it began, and the next marker line found there.
    const char* pieceStart_ = nullptr;
    const char* nextMarkerLine_ = nullptr;
};

}  // namespace vesk
