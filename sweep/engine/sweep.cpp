#include "sweep/sweep.h"

#include <algorithm>
#include <memory>
#include <new>
#include <span>

#include "read/log_blocks.h"
#include "read/log_name.h"
#include "report/report_file.h"
#include "rule/log_scanner.h"
#include "rule/marker_filter.h"

namespace vesk {
namespace {

// The report, telling of each finding as its line ends.
class FindingSink final : public LineSink {
public:
    FindingSink(ReportFile& report, SweepEvents& events) : report_(report), events_(events) {}
    void write(std::string_view piece) override { report_.write(piece); }
    void endLine() override {
        report_.endLine();
        events_.finding();
    }

private:
    ReportFile& report_;
    SweepEvents& events_;
};

// A stop was requested midway.
struct Stopped {};

// One run's reading of the listed folders into the report.
class FolderReader {
public:
    FolderReader(ReportFile& report, SweepEvents& events, std::stop_token stop)
        : report_(report),
          events_(events),
          stop_(std::move(stop)),
          sink_(report, events),
          scanner_(filter_, sink_) {}

    void sweep(const std::vector<const ListedFolder*>& folders, unsigned readers) {
        std::vector<LogToRead> logs;
        for (const ListedFolder* listed : folders) {
            for (const ListedFile* log : listed->logs()) {
                if (!isReport(*listed, *log)) {
                    logs.push_back({listed->folder(), log});
                }
            }
        }
        const auto blocks = readLogs(std::move(logs), readers);
        for (const ListedFolder* listed : folders) {
            sweep(*listed, *blocks);
        }
    }

    int logsRead() const { return logsRead_; }
    std::vector<UnreadableLog> takeUnreadable() { return std::move(unreadable_); }

private:
    // The report's folder may be one swept: the day's report there is no log.
    bool isReport(const ListedFolder& listed, const ListedFile& log) const {
        return listed.folder()->identity() == report_.folderIdentity() &&
               sameFileName(log.name, report_.path().filename());
    }

    void sweep(const ListedFolder& listed, LogBlocks& blocks) {
        const std::filesystem::path& directory = listed.directoryPath();
        events_.folderStarted(listed);
        if (listed.folder() == nullptr) {
            failed({directory, listed.error().message()});
            return;
        }
        for (const ListedFile* log : listed.logs()) {
            if (!isReport(listed, *log)) {
                read(blocks, directory, *log);
            }
            events_.logDone();
        }
        if (listed.error()) {
            failed({directory, listed.error().message()});
        }
        events_.folderDone(listed);
    }

    void failed(UnreadableLog what) {
        events_.unreadable(what);
        unreadable_.push_back(std::move(what));
    }

    void read(LogBlocks& blocks, const std::filesystem::path& directory, const ListedFile& log) {
        std::error_code ec;
        if (!blocks.open(ec)) {
            failed({directory / log.name, ec.message()});
            return;
        }
        events_.logOpened(directory, log);
        scanner_.beginLog();
        for (;;) {
            if (stop_.stop_requested()) {
                throw Stopped();
            }
            const std::span<const char> block = blocks.next(ec);
            if (!block.empty()) {
                scanner_.scan(block.data(), block.size());
                events_.bytesRead(block.size());
            }
            if (ec) {
                scanner_.abandonLog();
                failed({directory / log.name, ec.message()});
                return;
            }
            if (block.empty()) {
                break;
            }
        }
        scanner_.endLog();
        ++logsRead_;
    }

    ReportFile& report_;
    SweepEvents& events_;
    std::stop_token stop_;
    FindingSink sink_;
    MarkerFilter filter_;
    LogScanner scanner_;
    std::vector<UnreadableLog> unreadable_;
    int logsRead_ = 0;
};

}  // namespace

Sweep::Sweep(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             SweepSettings settings)
    : fs_(fs), clock_(clock), reportFolder_(std::move(reportFolder)), settings_(settings) {}

unsigned Sweep::machineReaders() {
    return defaultReaders();
}

SweepOutcome Sweep::run(const std::vector<const ListedFolder*>& folders, SweepEvents& events,
                        std::stop_token stop) {
    SweepOutcome outcome;
    // The date is taken once: a run past midnight keeps the name of the day it started.
    outcome.report = ReportFile::pathFor(reportFolder_, clock_.today());
    ReportFile report(fs_);
    FolderReader reader(report, events, std::move(stop));
    try {
        report.open(outcome.report);
        reader.sweep(folders, settings_.readers.value_or(machineReaders()));
        report.close();
        outcome.unreadable = reader.takeUnreadable();
    } catch (const ReportError& error) {
        report.abandon();
        outcome.reportFailure = ReportFailure{error.path(), error.reason(), error.keptIn()};
    } catch (const Stopped&) {
        report.abandon();
        outcome.stopped = true;
    } catch (const std::bad_alloc&) {
        report.abandon();
        outcome.reportFailure = ReportFailure{
            outcome.report, std::make_error_code(std::errc::not_enough_memory).message(), {}};
    }
    outcome.findings = report.lines();
    outcome.logsRead = reader.logsRead();
    return outcome;
}

}  // namespace vesk
