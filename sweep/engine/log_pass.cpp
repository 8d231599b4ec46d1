#include "engine/log_pass.h"

#include <optional>
#include <span>
#include <thread>

#include "engine/part_reading.h"
#include "engine/pass_work.h"
#include "rule/log_scanner.h"

namespace vesk {
namespace {

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

struct LogPass::Shared {
    Shared(std::vector<LogToRead> logs, bool stretches, const SweepSettings& settings,
           FindingSpool& spool, std::stop_token stop)
        : work(std::move(logs), stretches, settings, spool, std::move(stop)) {}

    PassWork work;
    std::vector<std::thread> workers;
};

LogPass::LogPass(std::vector<LogToRead> logs, unsigned workers, const SweepSettings& settings,
                 FindingSpool& spool, std::stop_token stop)
    : shared_(std::make_unique<Shared>(std::move(logs), workers > 0, settings, spool,
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

bool LogPass::joinNext(ReportFile& report, MarkerFilter& filter, PassEvents& events,
                       std::error_code& ec) {
    PassWork& shared = shared_->work;
    std::unique_lock lock(shared.mutex);
    PassLog& log = shared.log(shared.joining);
    const auto awaitOrHelp = [&](auto ready) {
        while (!ready()) {
            PassWork::Task task;
            if (!shared.takeTask(task)) {
                shared.perform(task, lock, true);
            } else {
                shared.joinable.wait(lock);
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
        shared.joined(log);
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
    // A log without parts is one, which no thread read ahead.
    LogPart whole;
    whole.log = &log;
    whole.last = true;
    for (LogPart& part : log.parts.empty() ? std::span(&whole, 1) : std::span(log.parts)) {
        const bool mine = part.state == LogPart::State::waiting;
        if (mine) {
            shared.claim(part);
        }
        awaitOrHelp([&] { return mine || part.state == LogPart::State::done; });
        lock.unlock();
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
            position = readStretch(*log.file, position, part.boundary(), buffer, *scanner,
                                   shared.stop, ec, &watch);
            if (ec) {
                scanner->abandonLog();
            } else if (part.last) {
                scanner->endLog();
            }
        }
        part.findings.reset();
        lock.lock();
        if (mine) {
            part.state = LogPart::State::done;
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
