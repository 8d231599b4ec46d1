#include "engine/pass_work.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/log_print.h"
#include "read/block_buffer.h"
#include "sweep/sweep.h"

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

// Small logs are opened, read and closed this many at a time, in as few calls to the system as
// it allows.
constexpr std::size_t kTogether = 16;

// A log a batch read whole, as a file: it is scanned as any log read ahead is.
class HeldLog final : public InputFile {
public:
    explicit HeldLog(const LogRead& log) : log_(log) {}

    std::size_t readAt(std::uint64_t offset, char* data, std::size_t size,
                       std::error_code& ec) override {
        if (offset >= log_.read) {
            ec = log_.ec;
            return 0;
        }
        const std::size_t n = std::min(size, log_.read - static_cast<std::size_t>(offset));
        std::memcpy(data, log_.into.data() + offset, n);
        return n;
    }
    std::uint64_t size() const override { return log_.size; }
    FileIdentity identity() const override { return log_.identity; }
    FileTimes times() const override { return log_.times; }

private:
    const LogRead& log_;
};

}  // namespace

PassWork::PassWork(std::vector<LogToRead> toRead, bool stretches, PassMode passMode,
                   const SweepSettings& settings, FindingSpool& findingSpool,
                   std::stop_token stopToken)
    : stop_(std::move(stopToken)),
      mode_(passMode),
      spool_(findingSpool),
      toRead_(std::move(toRead)),
      slots_(kLogsAhead),
      stretch_(stretches ? std::max<std::uint64_t>(settings.stretchSize, 1) : 0),
      blockSize_(settings.blockSize),
      openLimit_(kOpenAhead + 1) {
    for (std::size_t i = 0; i < std::min(toRead_.size(), slots_.size()); ++i) {
        slots_[i].index = i;
        slots_[i].what = toRead_[i];
    }
}

void PassWork::work() {
    Buffers buffers;
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (auto task = takeTask()) {
            perform(*task, lock, buffers, By::worker);
        } else {
            wakeWorkersAt_ = std::min(wakeWorkersAt_, joining_ + joinsBeforeWork());
            workToDo_.wait(lock);
        }
    }
}

void PassWork::end() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    workToDo_.notify_all();
}

template <typename Ready>
void PassWork::helpUntil(Lock& lock, Ready ready) {
    while (!ready()) {
        if (auto task = takeTask()) {
            perform(*task, lock.lock_, joiner_, By::joiningThread);
        } else {
            joinable_.wait(lock.lock_);
        }
    }
}

std::error_code PassWork::openHead(Lock& lock) {
    PassLog& current = head(lock);
    helpUntil(lock, [&] {
        const bool descriptorsShort = headShortOfDescriptor() || openFiles_ >= openLimit_;
        // With none to give back, one more may be opened, and the log to join is the first
        // closed: every other log waits for it.
        if (current.state == PassLog::State::closed && descriptorsShort && !giveBackOne()) {
            openLimit_ = openFiles_ + 1;
        }
        return current.state == PassLog::State::open || current.state == PassLog::State::failed;
    });
    return current.state == PassLog::State::failed ? current.error : std::error_code();
}

bool PassWork::takePart(LogPart& part, Lock&) {
    if (part.state != LogPart::State::waiting) {
        return false;
    }
    claim(part);
    return true;
}

void PassWork::awaitPart(LogPart& part, Lock& lock) {
    helpUntil(lock, [&] { return part.state == LogPart::State::done; });
}

void PassWork::partRead(LogPart& part, Lock&) {
    done(part);
}

void PassWork::headJoined(Lock& lock) {
    PassLog& current = head(lock);
    helpUntil(lock, [&] { return current.reading == 0; });
    close(current);
    bytesAhead_ -= current.size;
    if (!partsWaiting_.empty()) {
        // Parts after a failed read are never read.
        std::erase_if(partsWaiting_, [&](const LogPart* part) { return part->log == &current; });
    }
    headRefusedAt_.reset();
    // Its slot is the next log's past the window.
    const std::size_t next = current.index + slots_.size();
    current = PassLog();
    if (next < toRead_.size()) {
        current.index = next;
        current.what = toRead_[next];
    }
    if (++joining_ >= wakeWorkersAt_) {
        wakeWorkersAt_ = SIZE_MAX;
        workToDo_.notify_all();
    }
}

std::optional<PassWork::Task> PassWork::takeTask() {
    Task task;
    const std::size_t last = std::min(toRead_.size(), joining_ + kLogsAhead);
    nextClosed_ = std::max(nextClosed_, joining_);
    while (nextClosed_ < last && log(nextClosed_).state != PassLog::State::closed) {
        ++nextClosed_;
    }
    while (!partsWaiting_.empty() && partsWaiting_.front()->state != LogPart::State::waiting) {
        partsWaiting_.pop_front();
    }
    if (!partsWaiting_.empty() && partsWaiting_.front()->log->index < nextClosed_) {
        task.part = partsWaiting_.front();
        claim(*task.part);
        return task;
    }
    if (nextClosed_ < last) {
        const bool atHead = nextClosed_ == joining_;
        if (openFiles_ < openLimit_ && !(atHead && headShortOfDescriptor()) &&
            (bytesAhead_ < kBytesAhead || atHead)) {
            // The logs that follow in one folder, together where the folder gains by that, unless
            // the first is known to be large.
            PassLog& opened = log(nextClosed_);
            const std::size_t most =
                opened.large || !opened.what.folder->readsTogether() ? 1 : kTogether;
            std::size_t count = 0;
            while (count < most && nextClosed_ < last) {
                PassLog& next = log(nextClosed_);
                if (next.state != PassLog::State::closed || (count > 0 && next.large) ||
                    next.what.folder != opened.what.folder) {
                    break;
                }
                next.state = PassLog::State::opening;
                ++nextClosed_;
                ++count;
            }
            ++openFiles_;
            task.open = &opened;
            task.freedBefore = descriptorsFreed_;
            task.together = most > 1 ? count : 0;
            return task;
        }
    }
    if (!partsWaiting_.empty()) {
        task.part = partsWaiting_.front();
        claim(*task.part);
        return task;
    }
    return std::nullopt;
}

std::size_t PassWork::joinsBeforeWork() const {
    const std::size_t last = std::min(toRead_.size(), joining_ + kLogsAhead);
    return nextClosed_ == last && last < toRead_.size() ? kWakeAfter : 1;
}

void PassWork::claim(LogPart& part) {
    part.state = LogPart::State::reading;
    ++part.log->reading;
}

void PassWork::done(LogPart& part) {
    part.state = LogPart::State::done;
    --part.log->reading;
}

void PassWork::perform(Task& task, std::unique_lock<std::mutex>& lock, Buffers& buffers, By by) {
    if (task.open != nullptr && task.together > 0) {
        readTogether(task.open->index, task.together, task.freedBefore, lock, buffers);
        return;
    }
    if (task.open != nullptr) {
        const bool readWhole = by == By::worker || task.open->index != joining_;
        open(*task.open, lock, readWhole, task.freedBefore, buffers);
        return;
    }
    LogPart& part = *task.part;
    lock.unlock();
    part.readOnItsOwn(*part.log->file, spool_, buffers.block(blockSize_), stop_, mode_);
    lock.lock();
    done(part);
    joinable_.notify_one();
}

// Opens the log, and reads it whole where it is one part. A shortage of descriptors is the
// process's, not the log's: logs read ahead give theirs back, or the log waits for one to close,
// and it is named unreadable only when nothing else was open or closed meanwhile.
void PassWork::open(PassLog& log, std::unique_lock<std::mutex>& lock, bool readWhole,
                    std::uint64_t freedBefore, Buffers& buffers) {
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
        readWholeAhead(log, part, *file, size, buffers.block(blockSize_));
        file.reset();
    }
    lock.lock();
    if (!whole && file == nullptr) {
        --openFiles_;
        notOpened(log, ec, freedBefore);
        joinable_.notify_one();
        return;
    }
    log.state = PassLog::State::open;
    log.size = size;
    bytesAhead_ += size;
    if (whole) {
        descriptorFreed();
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
    joinable_.notify_one();
}

void PassWork::notOpened(PassLog& log, const std::error_code& ec, std::uint64_t freedBefore) {
    if (outOfDescriptors(ec) && (openFiles_ > 0 || descriptorsFreed_ != freedBefore)) {
        log.state = PassLog::State::closed;
        nextClosed_ = std::min(nextClosed_, log.index);
        if (log.index == joining_) {
            headRefusedAt_ = freedBefore;
            giveBackOne();
        } else {
            openLimit_ = std::max<std::size_t>(1, openFiles_);
        }
    } else {
        log.state = PassLog::State::failed;
        log.error = ec;
    }
}

// Opens the logs, reads each whole into a block of its own and closes it, all together; a log
// larger than a block is left to be opened on its own. They are this thread's alone until then.
void PassWork::readTogether(std::size_t first, std::size_t count, std::uint64_t freedBefore,
                            std::unique_lock<std::mutex>& lock, Buffers& buffers) {
    lock.unlock();
    const std::span<char> blocks = buffers.blocks(kTogether * blockSize_);
    std::vector<LogRead>& reads = buffers.reads;
    reads.assign(count, {});
    for (std::size_t i = 0; i < count; ++i) {
        reads[i].log = log(first + i).what.log;
        reads[i].into = blocks.subspan(i * blockSize_, blockSize_);
    }
    log(first).what.folder->readLogs(reads);
    for (std::size_t i = 0; i < count; ++i) {
        const LogRead& read = reads[i];
        if (!read.larger && (!read.ec || read.size > 0)) {
            PassLog& whole = log(first + i);
            cut(whole, read.size, Cut::whole);
            LogPart& part = whole.parts.front();
            part.state = LogPart::State::done;
            HeldLog held(read);
            readWholeAhead(whole, part, held, read.size, buffers.block(blockSize_));
        }
    }
    lock.lock();
    // The batch's own descriptors are closed, where it had any: a log refused one for them may be
    // opened now.
    if (std::any_of(reads.begin(), reads.end(),
                    [](const LogRead& read) { return !outOfDescriptors(read.ec); })) {
        descriptorFreed();
    } else {
        --openFiles_;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const LogRead& read = reads[i];
        PassLog& done = log(first + i);
        if (read.larger) {
            done.state = PassLog::State::closed;
            done.large = true;
            nextClosed_ = std::min(nextClosed_, done.index);
        } else if (read.ec && read.size == 0) {
            notOpened(done, read.ec, freedBefore);
        } else {
            done.state = PassLog::State::open;
            done.size = read.size;
            bytesAhead_ += read.size;
        }
    }
    joinable_.notify_one();
}

// Reads a log ahead whole as its one part. A log kept is known again by its identity, times and
// print, the print taken as its blocks go by.
void PassWork::readWholeAhead(PassLog& log, LogPart& part, InputFile& file, std::uint64_t size,
                              std::span<char> buffer) {
    std::optional<PrintWatch> print;
    if (mode_ == PassMode::keep) {
        print.emplace(size);
    }
    part.readOnItsOwn(file, spool_, buffer, stop_, mode_, print ? &*print : nullptr);
    if (print && !part.ec) {
        log.print = print->print();
        log.head = print->head();
    }
    log.identity = file.identity();
    log.times = file.times();
}

void PassWork::cut(PassLog& log, std::uint64_t size, Cut how) {
    const std::uint64_t count =
        how == Cut::inStretches && stretch_ > 0 && size >= 2 * stretch_ ? size / stretch_ : 1;
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
        descriptorFreed();
    }
}

void PassWork::descriptorFreed() {
    --openFiles_;
    ++descriptorsFreed_;
}

bool PassWork::giveBackOne() {
    for (std::size_t at = std::min(toRead_.size(), joining_ + kLogsAhead); at-- > joining_ + 1;) {
        PassLog& ahead = log(at);
        if (ahead.state == PassLog::State::open && ahead.reading == 0 && ahead.file != nullptr) {
            close(ahead);
            std::erase_if(partsWaiting_, [&](const LogPart* part) { return part->log == &ahead; });
            ahead.parts.clear();
            ahead.state = PassLog::State::closed;
            nextClosed_ = std::min(nextClosed_, at);
            bytesAhead_ -= std::exchange(ahead.size, 0);
            openLimit_ = std::max<std::size_t>(1, openFiles_);
            return true;
        }
    }
    return false;
}

std::span<char> PassWork::Buffers::block(std::size_t size) {
    if (!block_ || block_->size() != size) {
        block_.emplace(size);
    }
    return block_->span();
}

std::span<char> PassWork::Buffers::blocks(std::size_t size) {
    if (!blocks_ || blocks_->size() != size) {
        blocks_.emplace(size);
    }
    return blocks_->span();
}

}  // namespace vesk
