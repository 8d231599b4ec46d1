#include "read/log_blocks.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "platform/machine.h"

namespace vesk {
namespace {

// The kernel copies into a page-aligned buffer several times faster than into one that is
// merely 16-byte aligned, as a large malloc block is.
constexpr std::align_val_t kBufferAlignment{4096};

struct BufferDeleter {
    void operator()(char* buffer) const { ::operator delete[](buffer, kBufferAlignment); }
};
using Buffer = std::unique_ptr<char[], BufferDeleter>;

Buffer makeBuffer(std::size_t size) {
    return Buffer(static_cast<char*>(::operator new[](size, kBufferAlignment)));
}

// Reads size bytes at offset, or as many as the file still has: fewer than asked for means it
// became shorter than when it was opened.
std::size_t readFully(InputFile& file, std::uint64_t offset, char* data, std::size_t size,
                      std::error_code& ec) {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n = file.readAt(offset + done, data + done, size - done, ec);
        if (ec) {
            break;
        }
        if (n == 0) {
            ec = SweepErrc::shrank;
            break;
        }
        done += n;
    }
    return done;
}

// Small enough to stay in the cache between the read and the scan.
constexpr std::size_t kBlockSize = 64 * 1024;

// Each log opened, read and closed in turn on the scanner's thread.
class SequentialBlocks final : public LogBlocks {
public:
    explicit SequentialBlocks(std::vector<LogToRead> logs)
        : logs_(std::move(logs)), block_(makeBuffer(kBlockSize)) {}

    bool open(std::error_code& ec) override {
        const LogToRead& next = logs_.at(next_++);
        file_ = next.folder->openLog(*next.log, ec);
        offset_ = 0;
        return file_ != nullptr;
    }

    std::span<const char> next(std::error_code& ec) override {
        if (file_ == nullptr || offset_ == file_->size()) {
            file_.reset();
            return {};
        }
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::uint64_t>(file_->size() - offset_, kBlockSize));
        const std::size_t n = file_->readAt(offset_, block_.get(), size, ec);
        if (n == 0 && !ec) {
            ec = SweepErrc::shrank;
        }
        offset_ += n;
        if (ec) {
            file_.reset();
        }
        return {block_.get(), n};
    }

private:
    std::vector<LogToRead> logs_;
    std::size_t next_ = 0;
    std::unique_ptr<InputFile> file_;
    std::uint64_t offset_ = 0;
    Buffer block_;
};

// The logs read ahead on threads of their own. The threads take work in the listing's order:
// the next logs to open (each read whole at once when it is small), else the next block of the
// first log with bytes left, at increasing offsets. The scanner takes each log's blocks in order;
// rather than wait for a block being read, it reads another itself.
class ReadAhead final : public LogBlocks {
public:
    ReadAhead(std::vector<LogToRead> logs, unsigned readers)
        : slots_(logs.size()), readers_(readers) {
        for (std::size_t i = 0; i < logs.size(); ++i) {
            slots_[i].what = logs[i];
        }
        for (unsigned i = 0; i < readers; ++i) {
            threads_.emplace_back([this] { readAhead(); });
        }
    }

    ~ReadAhead() override {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        workToDo_.notify_all();
        for (auto& thread : threads_) {
            thread.join();
        }
    }

    bool open(std::error_code& ec) override {
        std::unique_lock lock(mutex_);
        if (started_) {
            leave(slots_[current_]);
            ++current_;
        }
        started_ = true;
        consumed_ = 0;
        if (idle_ > 0) {
            workToDo_.notify_all();  // the buffers kept for the scanner's log move on with it
        }
        Slot& slot = slots_.at(current_);
        awaitOrHelp(lock, [&] { return slot.state == State::open || slot.state == State::failed; });
        ec = slot.error;
        return slot.state == State::open;
    }

    std::span<const char> next(std::error_code& ec) override {
        std::unique_lock lock(mutex_);
        release(std::move(handedOut_));
        Slot& slot = slots_[current_];
        if (slot.finished || consumed_ == slot.size) {
            return {};
        }
        awaitOrHelp(lock, [&] { return !slot.chunks.empty() && slot.chunks.front().ready; });
        Chunk& chunk = slot.chunks.front();
        const std::size_t size = chunk.size;
        ec = chunk.ec;
        handedOut_ = std::move(chunk.buffer);
        slot.chunks.pop_front();
        consumed_ += size;
        slot.finished = static_cast<bool>(ec);
        return {handedOut_.get(), size};
    }

private:
    // The most bytes one claim reads, and the most buffers there are: 2 MiB in all, little
    // enough to stay in the processor's cache between the read and the scan.
    static constexpr std::size_t kChunkSize = 64 * 1024;
    static constexpr std::size_t kMostBuffers = 32;
    // How far ahead of the scanner logs are opened, so that descriptors stay few, and how many
    // small logs one claim opens.
    static constexpr std::size_t kMostOpenAhead = 64;
    static constexpr std::size_t kOpensPerClaim = 8;

    enum class State { waiting, opening, open, failed };

    struct Chunk {
        std::uint64_t offset = 0;
        std::size_t size = 0;
        Buffer buffer;
        std::error_code ec;
        bool ready = false;
    };

    struct Slot {
        LogToRead what{};
        State state = State::waiting;
        std::error_code error;
        std::unique_ptr<InputFile> file;
        std::uint64_t size = 0;
        std::uint64_t claimed = 0;  // bytes handed to readers
        int reading = 0;            // claims being read now
        bool stopped = false;       // a read failed: nothing more is claimed
        bool finished = false;      // the scanner is done with it
        std::deque<Chunk> chunks;   // claimed and not yet taken, by offset
    };

    // Work taken under the lock and done without it: logs to open, each with a buffer for its
    // first bytes where one was free, or one block of an open log.
    struct Task {
        std::size_t first = 0;  // the first log to open, or the log to read
        std::size_t opens = 0;
        std::vector<Buffer> buffers;
        Chunk* chunk = nullptr;
    };

    void readAhead() {
        std::unique_lock lock(mutex_);
        for (;;) {
            Task task;
            while (!stopping_ && !takeTask(task)) {
                ++idle_;
                workToDo_.wait(lock);
                --idle_;
            }
            if (stopping_) {
                return;
            }
            perform(task, lock);
        }
    }

    // Waits for the scanner's need, doing whatever work there is meanwhile.
    template <typename Ready>
    void awaitOrHelp(std::unique_lock<std::mutex>& lock, Ready ready) {
        while (!ready()) {
            Task task;
            if (takeTask(task)) {
                perform(task, lock);
                continue;
            }
            scannerWaits_ = true;
            done_.wait(lock);
            scannerWaits_ = false;
        }
    }

    // The first log from the scanner's on that is open with bytes no one has claimed, else the
    // next logs to open. A log other than the scanner's leaves some buffers free, so that the
    // scanner never waits for buffers held by logs it has not reached.
    bool takeTask(Task& task) {
        for (std::size_t at = current_; at < nextToOpen_; ++at) {
            Slot& slot = slots_[at];
            if (slot.state == State::open && !slot.stopped && !slot.finished &&
                slot.claimed < slot.size) {
                if (!mayTakeBuffer(at)) {
                    break;
                }
                task.first = at;
                task.chunk = &claimChunk(slot);
                return true;
            }
        }
        const std::size_t end =
            std::min({slots_.size(), current_ + kMostOpenAhead, nextToOpen_ + kOpensPerClaim});
        if (nextToOpen_ >= end) {
            return false;
        }
        task.first = nextToOpen_;
        task.opens = end - nextToOpen_;
        for (std::size_t at = task.first; at < end; ++at) {
            slots_[at].state = State::opening;
            if (mayTakeBuffer(at)) {
                task.buffers.push_back(takeBuffer());
            }
        }
        nextToOpen_ = end;
        return true;
    }

    bool mayTakeBuffer(std::size_t at) const {
        const std::size_t free = spare_.size() + (kMostBuffers - allocated_);
        return free > (started_ && at == current_ ? 0 : readers_ + 1);
    }

    Buffer takeBuffer() {
        if (!spare_.empty()) {
            Buffer buffer = std::move(spare_.back());
            spare_.pop_back();
            return buffer;
        }
        ++allocated_;
        return makeBuffer(kChunkSize);
    }

    void release(Buffer buffer) {
        if (buffer != nullptr) {
            spare_.push_back(std::move(buffer));
            if (idle_ > 0) {
                workToDo_.notify_one();
            }
        }
    }

    Chunk& claimChunk(Slot& slot) {
        Chunk& chunk = slot.chunks.emplace_back();
        chunk.offset = slot.claimed;
        chunk.size =
            static_cast<std::size_t>(std::min<std::uint64_t>(slot.size - slot.claimed, kChunkSize));
        chunk.buffer = takeBuffer();
        slot.claimed += chunk.size;
        ++slot.reading;
        return chunk;
    }

    // With the lock let go; slots never move, and a chunk leaves its deque only once read.
    void perform(Task& task, std::unique_lock<std::mutex>& lock) {
        if (task.chunk != nullptr) {
            Slot& slot = slots_[task.first];
            InputFile& file = *slot.file;
            Chunk& chunk = *task.chunk;
            lock.unlock();
            chunk.size = readFully(file, chunk.offset, chunk.buffer.get(), chunk.size, chunk.ec);
            lock.lock();
            finishRead(slot, chunk);
        } else {
            std::vector<Opened> opened(task.opens);
            lock.unlock();
            for (std::size_t i = 0; i < task.opens; ++i) {
                openAndRead(slots_[task.first + i].what, opened[i],
                            i < task.buffers.size() ? std::move(task.buffers[i]) : Buffer());
            }
            lock.lock();
            for (std::size_t i = 0; i < task.opens; ++i) {
                finishOpen(slots_[task.first + i], std::move(opened[i]));
            }
        }
        if (scannerWaits_) {
            done_.notify_one();
        }
    }

    // A log as a claim found it: open or not, and its first bytes where it had a buffer. A log
    // read whole is closed at once.
    struct Opened {
        std::unique_ptr<InputFile> file;
        bool open = false;
        std::uint64_t size = 0;
        std::error_code error;
        Chunk first;
        bool read = false;
    };

    static void openAndRead(const LogToRead& what, Opened& opened, Buffer buffer) {
        opened.file = what.folder->openLog(*what.log, opened.error);
        opened.open = opened.file != nullptr;
        opened.size = opened.open ? opened.file->size() : 0;
        Chunk& first = opened.first;
        first.buffer = std::move(buffer);
        if (opened.size == 0 || first.buffer == nullptr) {
            return;
        }
        first.size = static_cast<std::size_t>(std::min<std::uint64_t>(opened.size, kChunkSize));
        first.size = readFully(*opened.file, 0, first.buffer.get(), first.size, first.ec);
        first.ready = true;
        opened.read = true;
        if (first.ec || opened.size <= kChunkSize) {
            opened.file.reset();
        }
    }

    void finishOpen(Slot& slot, Opened opened) {
        slot.error = opened.error;
        slot.state = opened.open ? State::open : State::failed;
        slot.size = opened.size;
        if (opened.read) {
            slot.claimed = std::min<std::uint64_t>(slot.size, kChunkSize);
            slot.stopped = static_cast<bool>(opened.first.ec);
            slot.chunks.push_back(std::move(opened.first));
        } else {
            release(std::move(opened.first.buffer));
        }
        slot.file = std::move(opened.file);  // open only where blocks are left to read
    }

    void finishRead(Slot& slot, Chunk& chunk) {
        chunk.ready = true;
        --slot.reading;
        slot.stopped = slot.stopped || static_cast<bool>(chunk.ec);
        if (slot.reading == 0 && (slot.stopped || slot.claimed == slot.size)) {
            slot.file.reset();  // all of it is read: its descriptor goes now
        }
        if (slot.finished) {
            dropReady(slot);
        }
    }

    // The scanner moves on: what is left of its log (after a failure) is let go, the blocks
    // still being read as they arrive.
    void leave(Slot& slot) {
        release(std::move(handedOut_));
        slot.finished = true;
        slot.stopped = true;
        dropReady(slot);
    }

    void dropReady(Slot& slot) {
        while (!slot.chunks.empty() && slot.chunks.front().ready) {
            release(std::move(slot.chunks.front().buffer));
            slot.chunks.pop_front();
        }
    }

    std::mutex mutex_;
    std::condition_variable workToDo_;
    std::condition_variable done_;
    std::vector<Slot> slots_;
    const unsigned readers_;
    std::vector<std::thread> threads_;  // started last, once all else is in place
    std::vector<Buffer> spare_;
    std::size_t allocated_ = 0;
    std::size_t nextToOpen_ = 0;
    std::size_t current_ = 0;
    std::uint64_t consumed_ = 0;
    Buffer handedOut_;
    unsigned idle_ = 0;
    bool started_ = false;
    bool scannerWaits_ = false;
    bool stopping_ = false;
};

}  // namespace

unsigned readersBeside(unsigned cores, std::string_view loadavg) {
    // "0.42 0.37 0.30 2/345 6789": the fourth field counts the tasks runnable now, this one
    // among them.
    unsigned runnable = 1;
    std::size_t at = 0;
    for (int field = 0; field < 3 && at != std::string_view::npos; ++field) {
        at = loadavg.find(' ', at);
        at = at == std::string_view::npos ? at : at + 1;
    }
    if (at != std::string_view::npos) {
        const char* end = loadavg.data() + loadavg.size();
        unsigned counted = 0;
        const auto [stop, ec] = std::from_chars(loadavg.data() + at, end, counted);
        if (ec == std::errc() && stop != end && *stop == '/' && counted > 0) {
            runnable = counted;
        }
    }
    return cores > runnable ? cores - runnable : 0;
}

unsigned defaultReaders() {
    const unsigned cores = usableCores();
    // A reader on a core that another task keeps busy gets half of it and makes the scanner wait
    // for what it took: under load the sweep read ahead took twice as long as one thread.
    if (const auto load = loadAverageLine()) {
        return readersBeside(cores, *load);
    }
    return cores > 1 ? cores - 1 : 0;
}

std::unique_ptr<LogBlocks> readLogs(std::vector<LogToRead> logs, unsigned readers) {
    if (readers == 0) {
        return std::make_unique<SequentialBlocks>(std::move(logs));
    }
    return std::make_unique<ReadAhead>(std::move(logs), readers);
}

}  // namespace vesk
