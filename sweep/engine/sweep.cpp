#include "sweep/sweep.h"

#include <memory>
#include <new>

#include "engine/log_pass.h"
#include "platform/machine.h"
#include "read/log_name.h"
#include "report/findings.h"
#include "report/report_file.h"
#include "rule/marker_filter.h"

namespace vesk {
namespace {

// One run's reading of the listed folders into the report.
class FolderReader {
public:
    FolderReader(ReportFile& report, SweepEvents& events) : report_(report), events_(events) {}

    void sweep(const std::vector<const ListedFolder*>& folders, const SweepSettings& settings,
               FindingSpool& spool, std::stop_token stop) {
        std::vector<LogToRead> logs;
        for (const ListedFolder* listed : folders) {
            for (const ListedFile* log : listed->logs()) {
                if (!isReport(*listed, *log)) {
                    logs.push_back({listed->folder(), log});
                }
            }
        }
        const unsigned workers = settings.readers.value_or(Sweep::machineReaders());
        LogPass pass(std::move(logs), workers, settings, spool, std::move(stop));
        for (const ListedFolder* listed : folders) {
            sweep(*listed, pass);
        }
    }

    int logsRead() const { return logsRead_; }
    std::vector<UnreadableLog> takeUnreadable() { return std::move(unreadable_); }

private:
    // What the pass tells of a log, as the run's events.
    class LogEvents final : public PassEvents {
    public:
        LogEvents(SweepEvents& events, const std::filesystem::path& folder, const ListedFile& log)
            : events_(events), folder_(folder), log_(log) {}
        void opened() override { events_.logOpened(folder_, log_); }
        void read(std::uint64_t bytes) override {
            events_.bytesRead(static_cast<std::size_t>(bytes));
        }

    private:
        SweepEvents& events_;
        const std::filesystem::path& folder_;
        const ListedFile& log_;
    };

    // The report's folder may be one swept: the day's report there is no log.
    bool isReport(const ListedFolder& listed, const ListedFile& log) const {
        return listed.folder()->identity() == report_.folderIdentity() &&
               sameFileName(log.name, report_.path().filename());
    }

    void sweep(const ListedFolder& listed, LogPass& pass) {
        const std::filesystem::path& directory = listed.directoryPath();
        events_.folderStarted(listed);
        if (listed.folder() == nullptr) {
            failed({directory, listed.error().message()});
            return;
        }
        for (const ListedFile* log : listed.logs()) {
            if (!isReport(listed, *log)) {
                LogEvents told(events_, directory, *log);
                std::error_code ec;
                if (pass.joinNext(report_, filter_, told, ec)) {
                    ++logsRead_;
                } else {
                    failed({directory / log->name, ec.message()});
                }
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

    ReportFile& report_;
    SweepEvents& events_;
    MarkerFilter filter_;
    std::vector<UnreadableLog> unreadable_;
    int logsRead_ = 0;
};

}  // namespace

Sweep::Sweep(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             SweepSettings settings)
    : fs_(fs), clock_(clock), reportFolder_(std::move(reportFolder)), settings_(settings) {}

unsigned Sweep::machineReaders() {
    const unsigned cores = usableCores();
    return cores > 1 ? cores - 1 : 0;
}

SweepOutcome Sweep::run(const std::vector<const ListedFolder*>& folders, SweepEvents& events,
                        std::stop_token stop) {
    SweepOutcome outcome;
    // The date is taken once: a run past midnight keeps the name of the day it started.
    outcome.report = ReportFile::pathFor(reportFolder_, clock_.today());
    FindingSpool spool(settings_.findingsInMemory);
    ReportFile report(fs_);
    FolderReader reader(report, events);
    try {
        report.open(outcome.report);
        reader.sweep(folders, settings_, spool, std::move(stop));
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
