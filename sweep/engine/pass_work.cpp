#include "engine/pass_work.h"

#include <algorithm>
#include <utility>

#include "engine/log_print.h"
#include "read/block_buffer.h"

namespace vesk {
namespace {

// How far ahead of the log being joined logs may be read: so many logs, so many of them open at
// once, and so many bytes of the logs opened. Logs read whole ahead are closed at once.
constexpr std::size_t kLogsAhead = 64;
constexpr std::size_t kOpenAhead = 8;
constexpr std::uint64_t kBytesAhead = 64 * 1024 * 1024;
// A worker that found the window full waits until the join has moved this many logs on, so that
// it takes them in a batch rather than one at each join.
constexpr std::size_t kWakeAfter = kLogsAhead / 4;

bool outOfDescriptors(const std::error_code& ec) {
    return ec == std::errc::too_many_files_open || ec == std::errc::too_many_files_open_in_system;
}

}  // namespace

PassWork::PassWork(std::vector<LogToRead> toRead, bool stretches, PassMode passMode,
                   const SweepSettings& settings, FindingSpool& findingSpool,
                   std::stop_token stopToken)
    : stop(std::move(stopToken)),
      mode(passMode),
      spool(findingSpool),
      openLimit(kOpenAhead + 1),
      toRead_(std::move(toRead)),
      slots_(kLogsAhead),
      stretch_(stretches ? std::max<std::uint64_t>(settings.stretchSize, 1) : 0),
      blockSize_(settings.blockSize) {
    for (std::size_t i = 0; i < std::min(toRead_.size(), slots_.size()); ++i) {
        slots_[i].index = i;
        slots_[i].what = toRead_[i];
    }
}

void PassWork::work() {
    std::unique_lock lock(mutex);
    while (!ending_) {
        Task task;
        if (const auto waitFor = takeTask(task)) {
            wakeWorkersAt_ = std::min(wakeWorkersAt_, joining + *waitFor);
            workToDo_.wait(lock);
            continue;
        }
        perform(task, lock, false);
    }
}

void PassWork::end() {
    {
        const std::lock_guard lock(mutex);
        ending_ = true;
    }
    workToDo_.notify_all();
}

std::optional<std::size_t> PassWork::takeTask(Task& task) {
    const std::size_t last = std::min(toRead_.size(), joining + kLogsAhead);
    nextClosed_ = std::max(nextClosed_, joining);
    while (nextClosed_ < last && log(nextClosed_).state != PassLog::State::closed) {
        ++nextClosed_;
    }
    while (!partsWaiting_.empty() && partsWaiting_.front()->state != LogPart::State::waiting) {
        partsWaiting_.pop_front();
    }
    if (!partsWaiting_.empty() && partsWaiting_.front()->log->index < nextClosed_) {
        task.part = partsWaiting_.front();
        claim(*task.part);
        return std::nullopt;
    }
    if (nextClosed_ < last) {
        const bool head = nextClosed_ == joining;
        if (openFiles < openLimit && !(waitingForDescriptor && head) &&
            (bytesAhead_ < kBytesAhead || head)) {
            PassLog& opened = log(nextClosed_++);
            opened.state = PassLog::State::opening;
            ++openFiles;
            task.open = &opened;
            return std::nullopt;
        }
    }
    if (!partsWaiting_.empty()) {
        task.part = partsWaiting_.front();
        claim(*task.part);
        return std::nullopt;
    }
    return nextClosed_ == last && last < toRead_.size() ? kWakeAfter : 1;
}

void PassWork::claim(LogPart& part) {
    part.state = LogPart::State::reading;
    ++part.log->reading;
}

void PassWork::perform(Task& task, std::unique_lock<std::mutex>& lock, bool joiningThread) {
    if (task.open != nullptr) {
        open(*task.open, lock, !joiningThread || task.open->index != joining);
        return;
    }
    LogPart& part = *task.part;
    lock.unlock();
    part.readOnItsOwn(*part.log->file, spool, blockBuffer(), stop, mode);
    lock.lock();
    part.state = LogPart::State::done;
    --part.log->reading;
    joinable.notify_one();
}

// Opens the log, and reads it whole where it is one part. A shortage of descriptors is the
// process's, not the log's: logs read ahead give theirs back, or the log waits for one to close,
// and it is named unreadable only when nothing else is open.
void PassWork::open(PassLog& log, std::unique_lock<std::mutex>& lock, bool readWhole) {
    lock.unlock();
    std::error_code ec;
    auto file = log.what.folder->openLog(*log.what.log, ec);
    const std::uint64_t size = file != nullptr ? file->size() : 0;
    // Until it is open, the log is this thread's alone.
    const bool onePart = stretch_ == 0 || size < 2 * stretch_;
    const bool whole = file != nullptr && readWhole && onePart;
    if (whole) {
        cut(log, size);
        LogPart& part = log.parts.front();
        part.state = LogPart::State::done;
        // A log kept is known again by its print, taken as its blocks go by.
        std::optional<PrintWatch> print;
        if (mode == PassMode::keep) {
            print.emplace(size);
        }
        part.readOnItsOwn(*file, spool, blockBuffer(), stop, mode, print ? &*print : nullptr);
        if (print && !part.ec) {
            log.print = print->print();
            log.head = print->head();
        }
        log.identity = file->identity();
        log.times = file->times();
        file.reset();
    }
    lock.lock();
    if (!whole && file == nullptr) {
        --openFiles;
        if (outOfDescriptors(ec) && openFiles > 0) {
            log.state = PassLog::State::closed;
            nextClosed_ = std::min(nextClosed_, log.index);
            if (log.index == joining) {
                waitingForDescriptor = !giveBackOne();
            } else {
                openLimit = std::max<std::size_t>(1, openFiles);
            }
        } else {
            log.state = PassLog::State::failed;
            log.error = ec;
        }
        joinable.notify_one();
        return;
    }
    log.state = PassLog::State::open;
    log.size = size;
    bytesAhead_ += size;
    if (whole) {
        --openFiles;
        waitingForDescriptor = false;
    } else {
        log.file = std::move(file);
        // A log of one part left open has no parts: the joining thread reads it into the report.
        if (!onePart) {
            cut(log, size);
            for (LogPart& part : log.parts) {
                partsWaiting_.push_back(&part);
            }
            workToDo_.notify_all();
        }
    }
    joinable.notify_one();
}

// Into parts of a stretch each, or one.
void PassWork::cut(PassLog& log, std::uint64_t size) {
    const std::uint64_t count = stretch_ > 0 && size >= 2 * stretch_ ? size / stretch_ : 1;
    log.parts = std::vector<LogPart>(static_cast<std::size_t>(count));
    for (std::size_t k = 0; k < log.parts.size(); ++k) {
        LogPart& part = log.parts[k];
        part.log = &log;
        part.index = k;
        part.from = k * stretch_;
        part.last = k + 1 == log.parts.size();
        part.until = part.last ? size : (k + 1) * stretch_;
    }
}

void PassWork::close(PassLog& log) {
    if (log.file != nullptr) {
        log.file.reset();
        --openFiles;
        waitingForDescriptor = false;
    }
}

bool PassWork::giveBackOne() {
    for (std::size_t at = std::min(toRead_.size(), joining + kLogsAhead); at-- > joining + 1;) {
        PassLog& ahead = log(at);
        if (ahead.state == PassLog::State::open && ahead.reading == 0 && ahead.file != nullptr) {
            close(ahead);
            std::erase_if(partsWaiting_, [&](const LogPart* part) { return part->log == &ahead; });
            ahead.parts.clear();
            ahead.state = PassLog::State::closed;
            nextClosed_ = std::min(nextClosed_, at);
            bytesAhead_ -= std::exchange(ahead.size, 0);
            openLimit = std::max<std::size_t>(1, openFiles);
            return true;
        }
    }
    return false;
}

void PassWork::joined(PassLog& log) {
    close(log);
    bytesAhead_ -= log.size;
    if (!partsWaiting_.empty()) {
        // Parts after a failed read are never read.
        std::erase_if(partsWaiting_, [&](const LogPart* part) { return part->log == &log; });
    }
    // Its slot is the next log's past the window.
    const std::size_t next = log.index + slots_.size();
    log = PassLog();
    if (next < toRead_.size()) {
        log.index = next;
        log.what = toRead_[next];
    }
    if (++joining >= wakeWorkersAt_) {
        wakeWorkersAt_ = SIZE_MAX;
        workToDo_.notify_all();
    }
}

std::span<char> PassWork::blockBuffer() const {
    thread_local std::optional<BlockBuffer> buffer;
    if (!buffer || buffer->size() != blockSize_) {
        buffer.emplace(blockSize_);
    }
    return buffer->span();
}

}  // namespace vesk
