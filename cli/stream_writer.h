#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vesk {

// Lines for a stream whose reader may stall (a pipe into a program that stops reading, a
// terminal held by Ctrl+S, a journal that hangs), written by a thread of their own so that the
// one who writes them never waits. Up to a bound the lines wait in order; past it they are
// dropped and counted.
class StreamWriter {
public:
    // closed: called on the writing thread when the stream's reader is gone.
    StreamWriter(std::FILE* stream, std::size_t mostWaiting, std::function<void()> closed);
    ~StreamWriter();
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    void write(std::string line);
    // Gives what waits up to patience to be written, then stops the writing however far it got:
    // returns how many lines were never written.
    std::uint64_t finish(std::chrono::milliseconds patience);
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
    std::deque<std::string> waiting_;
    std::size_t waitingBytes_ = 0;
    std::uint64_t dropped_ = 0;
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
