#pragma once

#include <cstddef>
#include <string_view>

#include "sweep/marker_filter.h"

namespace vesk {

// Receives the lines that pass, in pieces: a passed line may be longer than any buffer.
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void write(std::string_view piece) = 0;
    virtual void endLine() = 0;
};

// Cuts a log into lines as it arrives in blocks and hands every passed line to the sink. A line
// ends at CR LF, at CR alone or at LF alone. Only the first bytes of a line are ever looked at
// one by one; the rest is skipped or copied with block scans.
class LogScanner {
public:
    LogScanner(MarkerFilter& filter, LineSink& sink) : filter_(filter), sink_(sink) {}

    void beginLog();
    void scan(const char* data, std::size_t size);
    // The last line of a log needs no line end.
    void endLog();
    // A read failed midway: a passed line is closed so the report stays whole, but a partial
    // line says nothing about the marker, so the flag stays as the last whole line left it.
    void abandonLog();

private:
    static constexpr int kNoMatch = -1;
    static constexpr int kMarkerSize = static_cast<int>(MarkerFilter::marker.size());

    void endLine();
    const char* matchLineStart(const char* p, const char* end);
    const char* skipQuietLines(const char* p, const char* end);
    const char* toLineEnd(const char* p, const char* end);

    MarkerFilter& filter_;
    LineSink& sink_;
    bool lineOpen_ = false;
    bool pass_ = false;
    bool pendingCr_ = false;
    int matched_ = 0;  // marker bytes matched at the start of the open line, or kNoMatch
};

}  // namespace vesk
