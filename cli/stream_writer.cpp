#include "stream_writer.h"

#include <cerrno>

#include "command_platform.h"

namespace vesk {

StreamWriter::StreamWriter(std::FILE* stream, std::size_t mostWaiting, std::function<void()> closed)
    : stream_(stream),
      mostWaiting_(mostWaiting),
      closedCallback_(std::move(closed)),
      thread_([this] { writeAll(); }) {}

StreamWriter::~StreamWriter() {
    finish(std::chrono::milliseconds(0));
}

void StreamWriter::write(std::string line) {
    const std::lock_guard lock(mutex_);
    if (closed_ || stopping_ || waitingBytes_ + line.size() > mostWaiting_) {
        ++dropped_;
        return;
    }
    waitingBytes_ += line.size();
    waiting_.push_back(std::move(line));
    changed_.notify_all();
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
    // cannot be is left to end with the process.
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
    } else {
        thread_.detach();
    }
    return unwritten;
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
        std::string line = std::move(waiting_.front());
        writing_ = true;
        lock.unlock();
        const bool written = writeFully(stream_, line, stopping_);
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
        if (written) {
            waitingBytes_ -= line.size();
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
