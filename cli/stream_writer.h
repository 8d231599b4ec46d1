#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "journal.h"

namespace vesk {

// A line for a stream, and where the stream is the journal, the entry that goes in its place:
// the line is written only where the entry cannot be sent.
struct OutputLine {
    std::string text;
    std::optional<JournalEntry> entry{};
    bool finding = false;  // counted among the findings delivered
};

// Sends the line's entry, or writes its text: whether either reached the stream's reader.
bool deliver(std::FILE* stream, const OutputLine& line, const std::atomic<bool>& stop);

// Where the command's lines for one stream go.
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void put(OutputLine line) = 0;
};

// Lines delivered at once, as a run writes them: its reader may hold the run back.
class DirectSink final : public LineSink {
public:
    explicit DirectSink(std::FILE* stream) : stream_(stream) {}
    void put(OutputLine line) override;

private:
    std::FILE* stream_;
};

// Lines for a stream whose reader may stall (a pipe into a program that stops reading, a
// terminal held by Ctrl+S, a journal that hangs), written by a thread of their own so that the
// one who writes them never waits. Up to a bound the lines wait in order; past it they are
// dropped and counted.
class StreamWriter final : public LineSink {
public:
    // closed: called on the writing thread when the stream's reader is gone.
    StreamWriter(std::FILE* stream, std::size_t mostWaiting, std::function<void()> closed);
    ~StreamWriter() override;
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    void put(OutputLine line) override;
    void write(std::string line) { put({std::move(line)}); }
    // Waits up to patience for what waits to be written: whether all of it was.
    bool drain(std::chrono::milliseconds patience);
    // Gives what waits up to patience to be written, then stops the writing however far it got:
    // returns how many lines were never written.
    std::uint64_t finish(std::chrono::milliseconds patience);
    // Whether its thread has ended, once finished: not where a write could not be interrupted (a
    // console or pipe on Windows) and blocks still. Its owner then ends the process without
    // destroying it, which would wait for that write.
    bool stopped() const;
    // How many lines were dropped or wait still.
    std::uint64_t unwritten() const;
    // Of the findings put so far, how many reached the reader with none missing before them:
    // those before the first that was dropped, or waits still, or was never written.
    std::uint64_t delivered() const;
    bool closed() const;
    // Why, once closed().
    int error() const;

private:
    void writeAll();

    std::FILE* stream_;
    const std::size_t mostWaiting_;
    std::function<void()> closedCallback_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // Each waiting line with its place among the findings, where it is one.
    std::deque<std::pair<OutputLine, std::uint64_t>> waiting_;
    std::size_t waitingBytes_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t findingsPut_ = 0;
    std::uint64_t findingsWritten_ = 0;  // up to the last finding written: its place, plus one
    std::uint64_t firstFindingDropped_ = UINT64_MAX;
    bool writing_ = false;
    bool closed_ = false;
    std::atomic<bool> stopping_ = false;
    int error_ = 0;
    bool done_ = false;
    std::thread thread_;
};

// Interrupts the thread if it is blocked writing, so that it can see it is to stop.
void interruptWrite(std::thread& thread);

}  // namespace vesk
