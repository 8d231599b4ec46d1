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

namespace {

// The bytes the joining thread reads itself move the progress as they are read; those read
// ahead move it once joined.
class ToldWatch final : public BlockWatch {
public:
    explicit ToldWatch(PassEvents& events) : events_(events) {}
    void read(std::span<const char> block, std::uint64_t) override { events_.read(block.size()); }

private:
    PassEvents& events_;
};

}  // namespace

// One log joined, on the joining thread: the pass's lock is held throughout but while reading.
class LogPass::Join {
public:
    Join(PassWork& work, PassEvents& events)
        : work_(work), lock_(work), log_(work.head(lock_)), events_(events), watch_(events) {}
    Join(const Join&) = delete;
    Join& operator=(const Join&) = delete;

    std::error_code open() { return work_.openHead(lock_); }
    // Its parts in order into target, the flag carried in filter: those read ahead as they were
    // read, the others read here by scanner, which goes on from the last part read ahead.
    std::error_code joinParts(LineSink& sink, JoinTarget& target, MarkerFilter& filter,
                              std::optional<LogScanner>& scanner);
    // The log's parts, on their own, into kept, with how the log stood when opened.
    std::error_code keepParts(KeptLog& kept);
    // Not reached where the report could not be written: that ends the pass, whose end waits for
    // every thread.
    void finish() { work_.headJoined(lock_); }

private:
    // What the parts are joined into, and how far the join has come.
    struct Into {
        LineSink& sink;
        JoinTarget& target;
        MarkerFilter& filter;
        std::optional<LogScanner>& scanner;
        std::span<char> buffer;
        std::uint64_t position = 0;
    };

    // Without the lock: the part, read ahead or to be read here.
    std::error_code joinPart(LogPart& part, bool mine, Into& into);
    std::error_code joinReadAhead(LogPart& part, Into& into);
    std::error_code readHere(const LogPart& part, Into& into);
    bool usable(const LogPart& part, const std::optional<LogScanner>& scanner,
                std::uint64_t position) const;
    std::uint64_t joinHead(LogPart& part, LogScanner& scanner, std::uint64_t position,
                           std::span<char> buffer, std::error_code& ec);

    PassWork& work_;
    PassWork::Lock lock_;
    PassLog& log_;
    PassEvents& events_;
    ToldWatch watch_;
};

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
                                      std::span<char> buffer, std::error_code& ec) {
    if (part.skipped > 0 && scanner.inQuietLine()) {
        events_.read(part.skipped);
        position += part.skipped;
    } else if (part.skipped > 0) {
        position = readStretch(*log_.file, position, position + part.skipped, buffer, scanner,
                               work_.stop(), ec, &watch_);
    }
    if (!ec) {
        // After the head come the first bytes of its own lines: they settle a line end the head
        // left undecided (where a line after it may begin UTF-16LE text).
        const auto ending =
            static_cast<std::size_t>(part.empty ? part.head.size() : part.start - position);
        scanner.scan(part.head.data(), ending);
        watch_.read({part.head.data(), ending}, position);
        position += ending;
        scanner.settleHeld(part.head.data() + ending, part.head.size() - ending);
    }
    return position;
}

std::error_code LogPass::Join::joinParts(LineSink& sink, JoinTarget& target, MarkerFilter& filter,
                                         std::optional<LogScanner>& scanner) {
    Into into{sink, target, filter, scanner, work_.joinBlock(lock_)};
    // A log without parts is one, which no thread read ahead.
    LogPart whole;
    whole.log = &log_;
    whole.last = true;
    for (LogPart& part : log_.parts.empty() ? std::span(&whole, 1) : std::span(log_.parts)) {
        const bool mine = work_.takePart(part, lock_);
        if (!mine) {
            work_.awaitPart(part, lock_);
        }
        std::error_code ec;
        {
            const PassWork::Released reading(lock_);
            ec = joinPart(part, mine, into);
        }
        if (mine) {
            work_.partRead(part, lock_);
        }
        if (work_.stop().stop_requested()) {
            return std::make_error_code(std::errc::operation_canceled);
        }
        if (ec) {
            return ec;
        }
    }
    return {};
}

std::error_code LogPass::Join::joinPart(LogPart& part, bool mine, Into& into) {
    std::error_code ec;
    if (!mine && part.index > 0) {
        into.position = joinHead(part, *into.scanner, into.position, into.buffer, ec);
    }
    if (ec || (!mine && part.empty && part.ec)) {
        ec = ec ? ec : part.ec;  // where it held no line end up to a failure
        into.scanner->abandonLog();
    } else if (!mine && usable(part, into.scanner, into.position)) {
        ec = joinReadAhead(part, into);
    } else {
        ec = readHere(part, into);
    }
    part.findings.reset();
    part.head = std::string();
    return ec;
}

// Its findings joined as they were read, and its scanner goes on after it.
std::error_code LogPass::Join::joinReadAhead(LogPart& part, Into& into) {
    const bool flagBefore = into.filter.armed();
    joinAfter(*part.findings, into.filter, into.target, into.buffer);
    into.scanner.emplace(*part.scanner, into.filter, into.sink);
    if (!part.findings->firstSeen) {
        into.scanner->openLinePasses(flagBefore);
    }
    events_.read(part.end - part.start);
    into.position = part.end;
    return part.ec;
}

// The joining thread's own part, or one read on from where the part read ahead left it or could
// not be taken.
std::error_code LogPass::Join::readHere(const LogPart& part, Into& into) {
    if (!into.scanner) {
        into.scanner.emplace(into.filter, into.sink);
        into.scanner->beginLog();
    }
    std::error_code ec;
    into.position = readStretch(*log_.file, into.position, part.boundary(), into.buffer,
                                *into.scanner, work_.stop(), ec, &watch_);
    if (ec) {
        into.scanner->abandonLog();
    } else if (part.last && work_.mode() == PassMode::report) {
        into.scanner->endLog();
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
