#include "stream_writer.h"

#include <algorithm>
#include <cerrno>

#include "command_platform.h"

namespace vesk {
namespace {

// Bytes of lines written at once, at most (and one line more).
constexpr std::size_t kMostTogether = 64 * 1024;

std::size_t sizeOf(const OutputLine& line) {
    std::size_t size = line.text.size();
    if (line.entry) {
        size += line.entry->message.size();
        for (const auto& [name, value] : line.entry->fields) {
            size += value.size();
        }
    }
    return size;
}

}  // namespace

bool deliver(std::FILE* stream, const OutputLine& line, const std::atomic<bool>& stop) {
    if (line.entry && sendToJournal(*line.entry)) {
        return true;
    }
    return !stop && writeFully(stream, line.text, stop);
}

void DirectSink::put(OutputLine line) {
    if (!line.entry || !sendToJournal(*line.entry)) {
        writeText(stream_, line.text);
    }
}

StreamWriter::StreamWriter(std::FILE* stream, std::size_t mostWaiting, std::function<void()> closed)
    : stream_(stream),
      mostWaiting_(mostWaiting),
      closedCallback_(std::move(closed)),
      thread_([this] { writeAll(); }) {}

// A write that could not be interrupted is waited for here: an owner whose reader may stall for
// good ends the process before this instead (see stopped()).
StreamWriter::~StreamWriter() {
    finish(std::chrono::milliseconds(0));
    if (thread_.joinable()) {
        thread_.join();
    }
}

void StreamWriter::put(OutputLine line) {
    const std::lock_guard lock(mutex_);
    const std::uint64_t place = line.finding ? findingsPut_++ : UINT64_MAX;
    const std::size_t size = sizeOf(line);
    if (closed_ || stopping_ || waitingBytes_ + size > mostWaiting_) {
        ++dropped_;
        firstFindingDropped_ = std::min(firstFindingDropped_, place);
        return;
    }
    waitingBytes_ += size;
    waiting_.emplace_back(std::move(line), place);
    changed_.notify_all();
}

bool StreamWriter::drain(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, patience, [&] {
        return closed_ || (waiting_.empty() && !writing_);
    }) && !closed_;
}

std::uint64_t StreamWriter::finish(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) {
        return dropped_ + waiting_.size();
    }
    changed_.wait_for(lock, patience, [&] { return closed_ || (waiting_.empty() && !writing_); });
    stopping_ = true;
    changed_.notify_all();
    // A write that still blocks is interrupted until the thread sees it is to stop; one that
    // cannot be keeps the thread, which is joined only once it returns.
    for (int attempt = 0; attempt < 20 && !done_; ++attempt) {
        lock.unlock();
        interruptWrite(thread_);
        lock.lock();
        changed_.wait_for(lock, std::chrono::milliseconds(10), [&] { return done_; });
    }
    const std::uint64_t unwritten = dropped_ + waiting_.size();
    const bool done = done_;  // read under the lock, which the thread sets it under
    lock.unlock();
    if (done) {
        thread_.join();
    }
    return unwritten;
}

bool StreamWriter::stopped() const {
    return !thread_.joinable();
}

std::uint64_t StreamWriter::unwritten() const {
    const std::lock_guard lock(mutex_);
    return dropped_ + waiting_.size();
}

std::uint64_t StreamWriter::delivered() const {
    const std::lock_guard lock(mutex_);
    return std::min(findingsWritten_, firstFindingDropped_);
}

bool StreamWriter::closed() const {
    const std::lock_guard lock(mutex_);
    return closed_;
}

int StreamWriter::error() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

void StreamWriter::writeAll() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            break;
        }
        // Lines that are no journal entry go out together, up to a block of them in one write: a
        // flood of findings is written as fast as a reader takes it. The deque keeps the lines in
        // place while others are put behind them.
        const OutputLine& first = waiting_.front().first;
        std::size_t count = 1;
        std::string block;
        if (!first.entry) {
            block = first.text;
            for (; count < waiting_.size() && !waiting_[count].first.entry &&
                   block.size() < kMostTogether;
                 ++count) {
                block += waiting_[count].first.text;
            }
        }
        writing_ = true;
        lock.unlock();
        const bool written = first.entry ? deliver(stream_, first, stopping_)
                                         : !stopping_ && writeFully(stream_, block, stopping_);
        const int error = errno;
        lock.lock();
        writing_ = false;
        if (!written && !stopping_) {
            closed_ = true;  // its reader is gone: nothing more is written
            error_ = error;
            lock.unlock();
            closedCallback_();
            lock.lock();
        }
        for (std::size_t i = 0; written && i < count; ++i) {
            const auto& [line, place] = waiting_.front();
            waitingBytes_ -= sizeOf(line);
            if (line.finding) {
                findingsWritten_ = place + 1;
            }
            waiting_.pop_front();
        }
        changed_.notify_all();
        if (closed_) {
            break;
        }
    }
    writing_ = false;
    done_ = true;
    changed_.notify_all();
}

}  // namespace vesk
