#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <system_error>
#include <vector>

#include "engine/log_part.h"
#include "engine/log_pass.h"
#include "read/block_buffer.h"
#include "report/findings.h"
#include "sweep/settings.h"

namespace vesk {

struct PassLog {
    enum class State { closed, opening, open, failed };

    std::size_t index = 0;  // in the listing's order
    LogToRead what{};
    State state = State::closed;
    std::unique_ptr<InputFile> file;  // none once a log read whole ahead is closed
    std::error_code error;
    std::vector<LogPart> parts;  // none where it is one part that the joining thread reads
    int reading = 0;             // parts being read by some thread
    std::uint64_t size = 0;      // when opened
    // How it stood when opened, and, where it was read whole ahead and is kept, its print.
    FileIdentity identity;
    FileTimes times;
    std::optional<std::uint64_t> print;
    std::uint64_t head = 0;
    bool large = false;  // too large to be read with others: opened on its own
};

// The logs of a pass and the work of reading them ahead, shared by the threads under one lock
// that only the work takes and lets go of. Workers take the earliest work there is: a log to open
// (and, when it is one part, to read whole and close at once), or a part of a larger log to read.
// The joining thread joins the logs in order, helping with that work while the log it joins is
// not ready.
class PassWork {
public:
    PassWork(std::vector<LogToRead> logs, bool stretches, PassMode mode,
             const SweepSettings& settings, FindingSpool& spool, std::stop_token stop);

    // The pass's lock, as the joining thread holds it; the members it calls take it as proof.
    class Lock {
    public:
        explicit Lock(PassWork& work) : lock_(work.mutex_) {}

    private:
        friend class PassWork;
        std::unique_lock<std::mutex> lock_;
    };
    // The lock let go of while it lives, for the joining thread to read on its own.
    class Released {
    public:
        explicit Released(Lock& lock) : lock_(lock.lock_) { lock_.unlock(); }
        ~Released() { lock_.lock(); }
        Released(const Released&) = delete;
        Released& operator=(const Released&) = delete;

    private:
        std::unique_lock<std::mutex>& lock_;
    };

    // A worker's loop, until the pass ends.
    void work();
    void end();

    // The members below are the joining thread's, each under the Lock it holds.

    // The log being joined.
    PassLog& head(Lock&) { return log(joining_); }
    // Waits for it to be opened, helping meanwhile; where descriptors run short, a log read ahead
    // gives its back once no thread reads it. Returns why it could not be opened.
    std::error_code openHead(Lock& lock);
    // Takes a part of it that no thread took yet, to read it here; returns whether it did.
    bool takePart(LogPart& part, Lock&);
    // Waits, helping meanwhile, for a part another thread took.
    void awaitPart(LogPart& part, Lock& lock);
    void partRead(LogPart& part, Lock&);
    // Once no thread reads a part of it: closes it and moves on to the next.
    void headJoined(Lock& lock);
    // The joining thread's block to read into; it reads into the same when it helps.
    std::span<char> joinBlock(Lock&) { return joiner_.block(blockSize_); }

    const std::stop_token& stop() const { return stop_; }
    PassMode mode() const { return mode_; }

private:
    // Work taken under the lock and done without it.
    struct Task {
        PassLog* open = nullptr;
        std::size_t together = 0;  // where more than none: so many logs from open on, read whole
        LogPart* part = nullptr;
        std::uint64_t freedBefore = 0;  // descriptors closed by the pass when it was taken
    };
    // Who does a task: the joining thread reads the log it joins itself, straight into the report.
    enum class By { worker, joiningThread };
    // The buffers a thread reads into, its own, made when first needed.
    class Buffers {
    public:
        std::span<char> block(std::size_t size);
        std::span<char> blocks(std::size_t size);  // for logs read together
        std::vector<LogRead> reads;

    private:
        std::optional<BlockBuffer> block_;
        std::optional<BlockBuffer> blocks_;
    };

    template <typename Ready>
    void helpUntil(Lock& lock, Ready ready);
    // Claims the earliest work there is, if there is any.
    std::optional<Task> takeTask();
    // Where there was none: how many more logs the join must finish before there may be some.
    std::size_t joinsBeforeWork() const;
    // Does it with the lock released, and tells the joining thread.
    void perform(Task& task, std::unique_lock<std::mutex>& lock, Buffers& buffers, By by);
    void claim(LogPart& part);
    void done(LogPart& part);
    // The log at that index in the listing's order, from the one being joined on to the window's
    // end.
    PassLog& log(std::size_t index) { return slots_[index % slots_.size()]; }
    void open(PassLog& log, std::unique_lock<std::mutex>& lock, bool readWhole,
              std::uint64_t freedBefore, Buffers& buffers);
    void readTogether(std::size_t first, std::size_t count, std::uint64_t freedBefore,
                      std::unique_lock<std::mutex>& lock, Buffers& buffers);
    void notOpened(PassLog& log, const std::error_code& ec, std::uint64_t freedBefore);
    void descriptorFreed();
    void readWholeAhead(PassLog& log, LogPart& part, InputFile& file, std::uint64_t size,
                        std::span<char> buffer);
    enum class Cut { inStretches, whole };
    void cut(PassLog& log, std::uint64_t size, Cut how = Cut::inStretches);
    void close(PassLog& log);
    // Closes a log read ahead that no thread reads now, to be opened and read again in its turn.
    bool giveBackOne();
    // The log being joined was refused a descriptor, and none was closed since, while others are
    // open: it waits for one of them.
    bool headShortOfDescriptor() const {
        return headRefusedAt_ && *headRefusedAt_ == descriptorsFreed_ && openFiles_ > 0;
    }

    const std::stop_token stop_;
    const PassMode mode_;
    FindingSpool& spool_;
    const std::vector<LogToRead> toRead_;
    // The logs from the one being joined on, each in the slot of its index: the window of logs
    // taken ahead is never wider, so that memory does not grow with the number of logs.
    std::vector<PassLog> slots_;
    const std::uint64_t stretch_;  // none: each log is one part
    const std::size_t blockSize_;
    Buffers joiner_;  // the joining thread's; the workers hold theirs
    std::mutex mutex_;
    std::condition_variable joinable_;  // the joining thread waits on it
    std::condition_variable workToDo_;  // the workers wait on it
    std::size_t joining_ = 0;
    std::size_t openFiles_ = 0;
    std::size_t openLimit_;
    std::size_t wakeWorkersAt_ = SIZE_MAX;
    std::size_t nextClosed_ = 0;         // no log between the join and it is closed
    std::deque<LogPart*> partsWaiting_;  // of the logs open, in order; some taken since
    std::uint64_t bytesAhead_ = 0;       // in the logs opened and not yet joined
    bool ending_ = false;
    std::uint64_t descriptorsFreed_ = 0;  // counts each close, so a refusal can tell it came since
    std::optional<std::uint64_t> headRefusedAt_;
};

}  // namespace vesk
