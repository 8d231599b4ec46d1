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

// The logs of a pass and the work of reading them ahead, shared by the threads under one lock.
// Workers take the earliest work there is: a log to open (and, when it is one part, to read whole
// and close at once), or a part of a larger log to read. The joining thread joins the logs in
// order, helping with that work while the log it joins is not ready.
class PassWork {
public:
    PassWork(std::vector<LogToRead> logs, bool stretches, PassMode mode,
             const SweepSettings& settings, FindingSpool& spool, std::stop_token stop);

    // Work taken under the lock and done without it.
    struct Task {
        PassLog* open = nullptr;
        std::size_t together = 0;  // where more than none: so many logs from open on, read whole
        LogPart* part = nullptr;
        std::uint64_t freedBefore = 0;  // descriptors closed by the pass when it was taken
    };

    // A worker's loop, until the pass ends.
    void work();
    void end();

    // The work that comes first, claimed; without any, how far the join is to move on before
    // there may be some.
    std::optional<std::size_t> takeTask(Task& task);
    // Does it with the lock released, and tells the joining thread. The joining thread reads the
    // log it joins itself, straight into the report.
    void perform(Task& task, std::unique_lock<std::mutex>& lock, bool joining);
    void claim(LogPart& part);
    // Closes a log read ahead that no thread reads now, to be opened and read again in its turn.
    bool giveBackOne();
    // The log at that index in the listing's order, from the one being joined on to the window's
    // end.
    PassLog& log(std::size_t index) { return slots_[index % slots_.size()]; }
    // After the log being joined: closes it and moves on to the next.
    void joined(PassLog& log);
    // Each thread reads into a buffer of its own.
    std::span<char> blockBuffer() const;

    const std::stop_token stop;
    const PassMode mode;
    FindingSpool& spool;
    std::mutex mutex;
    std::condition_variable joinable;  // the joining thread waits on it
    std::size_t joining = 0;
    std::size_t openFiles = 0;
    std::size_t openLimit;
    // The log being joined was refused a descriptor, and none was closed since, while others are
    // open: it waits for one of them.
    bool headShortOfDescriptor() const {
        return headRefusedAt_ && *headRefusedAt_ == descriptorsFreed_ && openFiles > 0;
    }

private:
    void open(PassLog& log, std::unique_lock<std::mutex>& lock, bool readWhole,
              std::uint64_t freedBefore);
    void readTogether(std::size_t first, std::size_t count, std::uint64_t freedBefore,
                      std::unique_lock<std::mutex>& lock);
    void notOpened(PassLog& log, const std::error_code& ec, std::uint64_t freedBefore);
    void descriptorFreed();
    void readWholeAhead(PassLog& log, LogPart& part, InputFile& file, std::uint64_t size);
    void cut(PassLog& log, std::uint64_t size, bool whole = false);
    void close(PassLog& log);

    const std::vector<LogToRead> toRead_;
    // The logs from the one being joined on, each in the slot of its index: the window of logs
    // taken ahead is never wider, so that memory does not grow with the number of logs.
    std::vector<PassLog> slots_;
    const std::uint64_t stretch_;  // none: each log is one part
    const std::size_t blockSize_;
    std::condition_variable workToDo_;  // the workers wait on it
    std::size_t wakeWorkersAt_ = SIZE_MAX;
    std::size_t nextClosed_ = 0;         // no log between the join and it is closed
    std::deque<LogPart*> partsWaiting_;  // of the logs open, in order; some taken since
    std::uint64_t bytesAhead_ = 0;       // in the logs opened and not yet joined
    bool ending_ = false;
    std::uint64_t descriptorsFreed_ = 0;  // counts each close, so a refusal can tell it came since
    std::optional<std::uint64_t> headRefusedAt_;
};

}  // namespace vesk
