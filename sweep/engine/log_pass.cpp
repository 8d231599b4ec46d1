#include "engine/log_pass.h"

#include <optional>
#include <span>
#include <thread>

#include "engine/log_print.h"
#include "engine/part_reading.h"
#include "engine/pass_work.h"
#include "engine/report_target.h"
#include "rule/log_scanner.h"

namespace vesk {

struct LogPass::Shared {
    Shared(std::vector<LogToRead> logs, bool stretches, PassMode mode,
           const SweepSettings& settings, FindingSpool& spool, std::stop_token stop)
        : work(std::move(logs), stretches, mode, settings, spool, std::move(stop)) {}

    PassWork work;
    std::vector<std::thread> workers;
};

// One log joined, on the joining thread: the pass's lock is held throughout but while reading.
class LogPass::Join {
public:
    Join(PassWork& work, PassEvents& events)
        : work_(work), lock_(work.mutex), log_(work.log(work.joining)), events_(events) {}
    Join(const Join&) = delete;
    Join& operator=(const Join&) = delete;

    // Waits for the log to be opened, helping meanwhile; where descriptors run short, a log read
    // ahead gives its back once no thread reads it. Returns why it could not be opened.
    std::error_code open();
    // Its parts in order into target, the flag carried in filter: those read ahead as they were
    // read, the others read here by scanner, which goes on from the last part read ahead.
    std::error_code joinParts(LineSink& sink, JoinTarget& target, MarkerFilter& filter,
                              std::optional<LogScanner>& scanner);
    // The log's parts, on their own, into kept, with how the log stood when opened.
    std::error_code keepParts(KeptLog& kept);
    // Once no thread reads a part of it: closed, and the pass moves on. Not reached where the
    // report could not be written: that ends the pass, whose end waits for every thread.
    void finish() {
        awaitOrHelp([&] { return log_.reading == 0; });
        work_.joined(log_);
    }

private:
    template <typename Ready>
    void awaitOrHelp(Ready ready);
    bool usable(const LogPart& part, const std::optional<LogScanner>& scanner,
                std::uint64_t position) const;
    std::uint64_t joinHead(LogPart& part, LogScanner& scanner, std::uint64_t position,
                           std::span<char> buffer, BlockWatch& watch, std::error_code& ec);

    PassWork& work_;
    std::unique_lock<std::mutex> lock_;
    PassLog& log_;
    PassEvents& events_;
};

template <typename Ready>
void LogPass::Join::awaitOrHelp(Ready ready) {
    while (!ready()) {
        PassWork::Task task;
        if (!work_.takeTask(task)) {
            work_.perform(task, lock_, true);
        } else {
            work_.joinable.wait(lock_);
        }
    }
}

std::error_code LogPass::Join::open() {
    awaitOrHelp([&] {
        // Short of a descriptor: the limit reached, or this log's open refused for want of one.
        const bool descriptorsShort =
            work_.headShortOfDescriptor() || work_.openFiles >= work_.openLimit;
        if (log_.state == PassLog::State::closed && descriptorsShort && !work_.giveBackOne()) {
            work_.openLimit = work_.openFiles + 1;
        }
        return log_.state == PassLog::State::open || log_.state == PassLog::State::failed;
    });
    return log_.state == PassLog::State::failed ? log_.error : std::error_code();
}

// A part read ahead counts where its lines begin in 8-bit text, as it took them to.
bool LogPass::Join::usable(const LogPart& part, const std::optional<LogScanner>& scanner,
                           std::uint64_t position) const {
    return !part.empty &&
           (part.index == 0 || (scanner->atLineStartIn8Bit() && part.start == position));
}

// The bytes of a part read ahead up to its first line end end the line before it, and are
// scanned here after it. Those of a long line were only looked through: they change nothing
// unless the line passes, and then are read here. Returns where the join stands after them.
std::uint64_t LogPass::Join::joinHead(LogPart& part, LogScanner& scanner, std::uint64_t position,
                                      std::span<char> buffer, BlockWatch& watch,
                                      std::error_code& ec) {
    if (part.skipped > 0 && scanner.inQuietLine()) {
        events_.read(part.skipped);
        position += part.skipped;
    } else if (part.skipped > 0) {
        position = readStretch(*log_.file, position, position + part.skipped, buffer, scanner,
                               work_.stop, ec, &watch);
    }
    if (!ec) {
        // After the head come the first bytes of its own lines: they settle a line end the head
        // left undecided (where a line after it may begin UTF-16LE text).
        const auto ending =
            static_cast<std::size_t>(part.empty ? part.head.size() : part.start - position);
        scanner.scan(part.head.data(), ending);
        watch.read({part.head.data(), ending}, position);
        position += ending;
        scanner.settleHeld(part.head.data() + ending, part.head.size() - ending);
    }
    return position;
}

std::error_code LogPass::Join::joinParts(LineSink& sink, JoinTarget& target, MarkerFilter& filter,
                                         std::optional<LogScanner>& scanner) {
    // The bytes the joiner reads itself, as it reads them.
    class Watch final : public BlockWatch {
    public:
        explicit Watch(PassEvents& events) : events_(events) {}
        void read(std::span<const char> block, std::uint64_t) override {
            events_.read(block.size());
        }

    private:
        PassEvents& events_;
    } watch(events_);
    std::error_code ec;
    std::uint64_t position = 0;
    const std::span<char> buffer = work_.blockBuffer();
    // A log without parts is one, which no thread read ahead.
    LogPart whole;
    whole.log = &log_;
    whole.last = true;
    for (LogPart& part : log_.parts.empty() ? std::span(&whole, 1) : std::span(log_.parts)) {
        const bool mine = part.state == LogPart::State::waiting;
        if (mine) {
            work_.claim(part);
        }
        awaitOrHelp([&] { return mine || part.state == LogPart::State::done; });
        lock_.unlock();
        if (!mine && part.index > 0) {
            position = joinHead(part, *scanner, position, buffer, watch, ec);
        }
        if (ec || (!mine && part.empty && part.ec)) {
            ec = ec ? ec : part.ec;  // where it held no line end up to a failure
            scanner->abandonLog();
        } else if (!mine && usable(part, scanner, position)) {
            const bool flagBefore = filter.armed();
            joinAfter(*part.findings, nullptr, filter, target, buffer);
            scanner.emplace(*part.scanner, filter, sink);
            if (!part.findings->firstSeen) {
                scanner->openLinePasses(flagBefore);
            }
            events_.read(part.end - part.start);
            position = part.end;
            ec = part.ec;
        } else {
            // Its own, or read on from where the part read ahead left it or could not be taken.
            if (!scanner) {
                scanner.emplace(filter, sink);
                scanner->beginLog();
            }
            position = readStretch(*log_.file, position, part.boundary(), buffer, *scanner,
                                   work_.stop, ec, &watch);
            if (ec) {
                scanner->abandonLog();
            } else if (part.last && work_.mode == PassMode::report) {
                scanner->endLog();
            }
        }
        part.findings.reset();
        part.head = std::string();
        lock_.lock();
        if (mine) {
            part.state = LogPart::State::done;
            --log_.reading;
        }
        if (work_.stop.stop_requested()) {
            return std::make_error_code(std::errc::operation_canceled);
        }
        if (ec) {
            break;
        }
    }
    return ec;
}

LogPass::LogPass(std::vector<LogToRead> logs, unsigned workers, PassMode mode,
                 const SweepSettings& settings, FindingSpool& spool, std::stop_token stop)
    : shared_(std::make_unique<Shared>(std::move(logs), workers > 0, mode, settings, spool,
                                       std::move(stop))) {
    for (unsigned i = 0; i < workers; ++i) {
        shared_->workers.emplace_back([this] { shared_->work.work(); });
    }
}

LogPass::~LogPass() {
    shared_->work.end();
    for (auto& worker : shared_->workers) {
        worker.join();
    }
}

std::error_code LogPass::joinNext(ReportFile& report, MarkerFilter& filter, PassEvents& events) {
    Join join(shared_->work, events);
    std::error_code ec = join.open();
    if (!ec) {
        events.opened();
        ReportTarget target(report);
        std::optional<LogScanner> scanner;
        ec = join.joinParts(target, target, filter, scanner);
    }
    join.finish();
    return ec;
}

std::error_code LogPass::keepNext(KeptLog& kept, PassEvents& events) {
    Join join(shared_->work, events);
    std::error_code ec = join.open();
    if (!ec) {
        events.opened();
        ec = join.keepParts(kept);
    }
    join.finish();
    return ec;
}

std::error_code LogPass::Join::keepParts(KeptLog& kept) {
    kept.filter.lineEnded(true);  // the first line comes apart
    LogFindings target(kept.findings);
    std::error_code ec = joinParts(kept.findings, target, kept.filter, kept.scanner);
    if (!ec) {
        ec = target.error();
    }
    // A line broken off by a failed read says nothing of the flag, which the scanner knows.
    if (kept.findings.firstSeen) {
        kept.findings.flagAfter = kept.filter.armed();
    }
    kept.size = log_.size;
    if (log_.file != nullptr) {
        kept.identity = log_.file->identity();
        kept.times = log_.file->times();
        if (!ec) {
            kept.print = LogPrint::of(*log_.file, log_.size, ec);
            kept.head = LogPrint::headOf(*log_.file, log_.size, ec);
        }
    } else {
        kept.identity = log_.identity;
        kept.times = log_.times;
        kept.print = log_.print.value_or(0);
        kept.head = log_.head;
    }
    return ec;
}

}  // namespace vesk
