#include "engine/log_pass.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "engine/log_part.h"
#include "engine/part_reading.h"
#include "read/block_buffer.h"
#include "rule/log_scanner.h"

namespace vesk {
namespace {

// How many logs past the one being joined may be opened ahead of it.
constexpr std::size_t kLogsAhead = 8;

bool outOfDescriptors(const std::error_code& ec) {
    return ec == std::errc::too_many_files_open || ec == std::errc::too_many_files_open_in_system;
}

// The report seen as a line sink for the scanner that reads into it.
class ReportSink final : public LineSink {
public:
    explicit ReportSink(ReportFile& report) : report_(report) {}
    void write(std::string_view piece) override { report_.write(piece); }
    void endLine() override { report_.endLine(); }

private:
    ReportFile& report_;
};

}  // namespace

using Part = LogPart;

struct PassLog {
    enum class State { closed, opening, open, failed, joined };

    LogToRead what{};
    State state = State::closed;
    std::unique_ptr<InputFile> file;
    std::error_code error;
    std::vector<Part> parts;
    int reading = 0;  // parts being read by some thread
};

struct LogPass::Shared {
    Shared(std::vector<LogToRead> toRead, bool stretches, const SweepSettings& settings,
           FindingSpool& findingSpool, std::stop_token stopToken)
        : logs(toRead.size()),
          stretch(stretches ? std::max<std::uint64_t>(settings.stretchSize, 1) : 0),
          blockSize(settings.blockSize),
          spool(findingSpool),
          stop(std::move(stopToken)) {
        for (std::size_t i = 0; i < toRead.size(); ++i) {
            logs[i].what = toRead[i];
        }
    }

    // Work taken under the lock and done without it: a log to open, or a part to read ahead.
    struct Task {
        PassLog* open = nullptr;
        Part* part = nullptr;
    };

    void work() {
        std::unique_lock lock(mutex);
        while (!ending) {
            Task task;
            if (!takeTask(task)) {
                changed.wait(lock);
                continue;
            }
            perform(task, lock);
        }
    }

    // The first log ahead that is closed, or the first part ahead no one reads.
    bool takeTask(Task& task) {
        const std::size_t last = std::min(logs.size(), joining + kLogsAhead);
        for (std::size_t at = joining; at < last; ++at) {
            PassLog& log = logs[at];
            if (log.state == PassLog::State::closed) {
                if (openFiles >= openLimit || (waitingForDescriptor && at == joining)) {
                    return false;
                }
                log.state = PassLog::State::opening;
                ++openFiles;
                task.open = &log;
                return true;
            }
            if (log.state != PassLog::State::open) {
                continue;
            }
            for (Part& part : log.parts) {
                if (part.state == Part::State::waiting) {
                    part.state = Part::State::reading;
                    ++log.reading;
                    task.part = &part;
                    return true;
                }
            }
        }
        return false;
    }

    void perform(Task& task, std::unique_lock<std::mutex>& lock) {
        if (task.open != nullptr) {
            open(*task.open, lock);
            return;
        }
        Part& part = *task.part;
        lock.unlock();
        part.readOnItsOwn(*part.log->file, spool, blockBuffer(), stop);
        lock.lock();
        part.state = Part::State::done;
        --part.log->reading;
        waitingForDescriptor = false;
        changed.notify_all();
    }

    // Opens the log and cuts it into parts. A shortage of descriptors is the process's, not the
    // log's: logs read ahead give theirs back, or the log waits for one to close, and it is named
    // unreadable only when nothing else is open.
    void open(PassLog& log, std::unique_lock<std::mutex>& lock) {
        lock.unlock();
        std::error_code ec;
        auto file = log.what.folder->openLog(*log.what.log, ec);
        lock.lock();
        if (file == nullptr && outOfDescriptors(ec) && openFiles > 1) {
            --openFiles;
            log.state = PassLog::State::closed;
            if (&log == &logs[joining]) {
                waitingForDescriptor = !giveBackOne();
            } else {
                openLimit = std::max<std::size_t>(1, openFiles);
            }
            changed.notify_all();
            return;
        }
        if (file == nullptr) {
            --openFiles;
            log.state = PassLog::State::failed;
            log.error = ec;
            changed.notify_all();
            return;
        }
        const std::uint64_t size = file->size();
        const std::uint64_t count = stretch > 0 && size >= 2 * stretch ? size / stretch : 1;
        log.parts.resize(static_cast<std::size_t>(count));
        for (std::size_t k = 0; k < log.parts.size(); ++k) {
            Part& part = log.parts[k];
            part.log = &log;
            part.index = k;
            part.from = k * stretch;
            part.last = k + 1 == log.parts.size();
            part.until = part.last ? size : (k + 1) * stretch;
        }
        log.file = std::move(file);
        log.state = PassLog::State::open;
        changed.notify_all();
    }

    // Closes a log read ahead that no thread reads now, to be opened and read again in its turn.
    bool giveBackOne() {
        for (std::size_t at = logs.size(); at-- > joining + 1;) {
            PassLog& log = logs[at];
            if (log.state == PassLog::State::open && log.reading == 0) {
                log.file.reset();
                log.parts.clear();
                log.state = PassLog::State::closed;
                --openFiles;
                openLimit = std::max<std::size_t>(1, openFiles);
                return true;
            }
        }
        return false;
    }

    // Each thread reads into a buffer of its own.
    std::span<char> blockBuffer() const {
        thread_local std::optional<BlockBuffer> buffer;
        if (!buffer || buffer->size() != blockSize) {
            buffer.emplace(blockSize);
        }
        return buffer->span();
    }

    std::vector<PassLog> logs;
    const std::uint64_t stretch;  // none: each log is one part
    const std::size_t blockSize;
    FindingSpool& spool;
    const std::stop_token stop;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t joining = 0;
    std::size_t openFiles = 0;
    std::size_t openLimit = kLogsAhead + 1;
    bool waitingForDescriptor = false;  // the log being joined, until another closes
    bool ending = false;
    std::vector<std::thread> workers;
};

LogPass::LogPass(std::vector<LogToRead> logs, unsigned workers, const SweepSettings& settings,
                 FindingSpool& spool, std::stop_token stop)
    : shared_(std::make_unique<Shared>(std::move(logs), workers > 0, settings, spool,
                                       std::move(stop))) {
    for (unsigned i = 0; i < workers; ++i) {
        shared_->workers.emplace_back([this] { shared_->work(); });
    }
}

LogPass::~LogPass() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->ending = true;
    }
    shared_->changed.notify_all();
    for (auto& worker : shared_->workers) {
        worker.join();
    }
}

bool LogPass::joinNext(ReportFile& report, MarkerFilter& filter, PassEvents& events,
                       std::error_code& ec) {
    Shared& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    PassLog& log = shared.logs.at(shared.joining);
    const auto awaitOrHelp = [&](auto ready) {
        while (!ready()) {
            Shared::Task task;
            if (shared.takeTask(task)) {
                shared.perform(task, lock);
            } else {
                shared.changed.wait(lock);
            }
        }
    };
    // The log to join is opened first of all; where descriptors run short, the logs read ahead
    // give theirs back.
    awaitOrHelp([&] {
        if (log.state == PassLog::State::closed && shared.openFiles >= shared.openLimit &&
            !shared.giveBackOne()) {
            shared.openLimit = shared.openFiles + 1;
        }
        return log.state == PassLog::State::open || log.state == PassLog::State::failed;
    });
    const auto finish = [&] {
        awaitOrHelp([&] { return log.reading == 0; });
        if (log.file != nullptr) {
            log.file.reset();
            --shared.openFiles;
            shared.waitingForDescriptor = false;
        }
        log.state = PassLog::State::joined;
        log.parts.clear();
        ++shared.joining;
        shared.changed.notify_all();
    };
    if (log.state == PassLog::State::failed) {
        ec = log.error;
        finish();
        return false;
    }
    events.opened();

    // Where the join stands in the log: the scanner there, reading into the report.
    class Watch final : public BlockWatch {
    public:
        explicit Watch(PassEvents& events) : events_(events) {}
        void read(std::span<const char> block, std::uint64_t) override {
            events_.read(block.size());
        }

    private:
        PassEvents& events_;
    } watch(events);
    ReportSink sink(report);
    std::optional<LogScanner> scanner;
    std::uint64_t position = 0;
    const std::span<char> buffer = shared.blockBuffer();
    for (Part& part : log.parts) {
        const bool mine = part.state == Part::State::waiting;
        if (mine) {
            part.state = Part::State::reading;
            ++log.reading;
        }
        awaitOrHelp([&] { return mine || part.state == Part::State::done; });
        lock.unlock();
        InputFile& file = *log.file;
        // A part read ahead counts where it began in 8-bit text at the line where the one before
        // it ended, and ended so itself or with the log. One in which no line starts holds
        // nothing: the part before it read on to the next line's start.
        const bool valid =
            !mine && !part.empty &&
            (part.index == 0 || (scanner->atLineStartIn8Bit() && part.start == position)) &&
            (part.cleanEnd || part.last || part.ec);
        if (part.empty) {
            // Nothing: the part before it read on to the next line's start.
        } else if (valid) {
            part.findings->writeInto(report, filter.armed(), buffer);
            filter.lineEnded(part.findings->flagAfter.value_or(filter.armed()));
            events.read(part.end - part.start);
            scanner.emplace(*part.scanner, filter, sink);
            position = part.end;
            ec = part.ec;
        } else {
            if (!scanner) {
                scanner.emplace(filter, sink);
                scanner->beginLog();
            }
            position = readStretch(file, position, part.boundary(), buffer, *scanner, shared.stop,
                                   ec, &watch);
            if (ec) {
                scanner->abandonLog();
            } else if (part.last) {
                scanner->endLog();
            }
        }
        part.findings.reset();
        lock.lock();
        if (mine) {
            part.state = Part::State::done;
            --log.reading;
        }
        if (shared.stop.stop_requested()) {
            finish();
            throw Stopped();
        }
        if (ec) {
            break;
        }
    }
    finish();
    return !ec;
}

}  // namespace vesk
