#include "sweep/sweep.h"

#include <memory>
#include <new>

#include "engine/log_keeper.h"
#include "engine/log_pass.h"
#include "engine/report_join.h"
#include "platform/machine.h"
#include "read/block_buffer.h"
#include "read/log_name.h"
#include "report/findings.h"
#include "report/report_file.h"
#include "rule/marker_filter.h"

namespace vesk {
namespace {

// One run's reading of the listed folders into the report: straight into it, or each log read
// on its own first, where the findings are told of or the logs kept.
class FolderReader {
public:
    FolderReader(ReportFile& report, SweepEvents& events, const RunOptions& options,
                 FindingSpool& spool, std::size_t blockSize)
        : report_(report),
          events_(events),
          options_(options),
          spool_(spool),
          buffer_(blockSize),
          join_(report, buffer_.span()) {}

    // Returns operation_canceled where a stop was asked for.
    std::error_code sweep(const std::vector<const ListedFolder*>& folders,
                          const SweepSettings& settings, std::stop_token stop) {
        std::vector<LogToRead> logs;
        for (const ListedFolder* listed : folders) {
            for (const ListedFile* log : listed->logs()) {
                if (!isReport(*listed, *log)) {
                    logs.push_back({listed->folder(), log});
                }
            }
        }
        const unsigned workers = settings.readers.value_or(Sweep::machineReaders());
        const bool keep = options_.keeper != nullptr || options_.tellFindings;
        LogPass pass(std::move(logs), workers, keep ? PassMode::keep : PassMode::report, settings,
                     spool_, std::move(stop));
        for (const ListedFolder* listed : folders) {
            if (const std::error_code ec = sweep(*listed, pass)) {
                return ec;
            }
        }
        return {};
    }

    int logsRead() const { return logsRead_; }
    // Where a stop, or a want of descriptors, ended the sweep.
    const std::filesystem::path& stoppedAt() const { return stoppedAt_; }
    std::vector<UnreadableLog> takeUnreadable() { return std::move(unreadable_); }

private:
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

    std::error_code sweep(const ListedFolder& listed, LogPass& pass) {
        const std::filesystem::path& directory = listed.directoryPath();
        events_.folderStarted(listed);
        if (listed.folder() == nullptr) {
            failed({directory, listed.error().message()});
            return {};
        }
        for (const ListedFile* log : listed.logs()) {
            if (!isReport(listed, *log)) {
                LogEvents told(events_, directory, *log);
                const std::error_code ec = options_.keeper != nullptr || options_.tellFindings
                                               ? keep(listed, *log, pass, told)
                                               : pass.joinNext(report_, filter_, told);
                if (ec == std::errc::operation_canceled || outOfDescriptors(ec)) {
                    stoppedAt_ = directory / log->name;
                    return ec;
                }
                if (!ec) {
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
        return {};
    }

    // The log read on its own, then joined, its findings told where asked, and handed to the
    // keeper; a run without one ends the log as a run does.
    std::error_code keep(const ListedFolder& listed, const ListedFile& log, LogPass& pass,
                         PassEvents& told) {
        KeptLog kept(spool_, PartFindings::Placing::placed);
        const std::error_code ec = pass.keepNext(kept, told);
        if (ec == std::errc::operation_canceled) {
            return ec;
        }
        if (options_.keeper == nullptr && kept.scanner) {
            kept.scanner->endLog();
            if (kept.findings.firstSeen) {
                kept.findings.flagAfter = kept.filter.armed();
            }
        }
        const auto ending = kept.scanner
                                ? endingOf(*kept.scanner, kept.filter, kept.findings, spool_)
                                : std::nullopt;
        std::optional<TellStart> from;
        if (options_.keeper != nullptr) {
            from = options_.keeper->tellFrom(listed, log, kept);
        } else if (options_.tellFindings) {
            from = TellStart{};
        }
        const std::filesystem::path path = listed.directoryPath() / log.name;
        std::optional<TellFrom> tell;
        if (from) {
            tell.emplace(
                TellFrom{events_, listed.directoryPath(), path, from->offset, from->first});
        }
        const bool flagBefore = join_.flag();
        join_.add(kept.findings, ending ? &*ending : nullptr, tell);
        if (options_.keeper != nullptr) {
            options_.keeper->keep(listed, log, kept, flagBefore, ec);
        }
        return ec;
    }

    void failed(UnreadableLog what) {
        events_.unreadable(what);
        unreadable_.push_back(std::move(what));
    }

    ReportFile& report_;
    SweepEvents& events_;
    const RunOptions& options_;
    FindingSpool& spool_;
    BlockBuffer buffer_;
    ReportJoin join_;
    MarkerFilter filter_;  // where logs are joined straight into the report
    std::filesystem::path stoppedAt_;
    std::vector<UnreadableLog> unreadable_;
    int logsRead_ = 0;
};

}  // namespace

Sweep::Sweep(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             SweepSettings settings)
    : fs_(fs), clock_(clock), reportFolder_(std::move(reportFolder)), settings_(settings) {}

bool outOfDescriptors(const std::error_code& ec) {
    return ec == std::errc::too_many_files_open || ec == std::errc::too_many_files_open_in_system;
}

unsigned Sweep::machineReaders() {
    const unsigned cores = usableCores();
    return cores > 1 ? cores - 1 : 0;
}

SweepOutcome Sweep::run(const std::vector<const ListedFolder*>& folders, SweepEvents& events,
                        std::stop_token stop, const RunOptions& options) {
    SweepOutcome outcome;
    // The date is taken once: a run past midnight keeps the name of the day it started.
    outcome.report = ReportFile::pathFor(reportFolder_, clock_.today());
    FindingSpool spool(settings_.findingsInMemory);
    ReportFile report(fs_);
    FolderReader reader(report, events, options, spool, settings_.blockSize);
    try {
        report.open(outcome.report);
        if (const std::error_code ec = reader.sweep(folders, settings_, std::move(stop))) {
            report.abandon();
            if (outOfDescriptors(ec)) {
                outcome.outOfDescriptors = UnreadableLog{reader.stoppedAt(), ec.message()};
            } else {
                outcome.stopped = true;
            }
        } else {
            report.close();
            outcome.unreadable = reader.takeUnreadable();
        }
    } catch (const ReportError& error) {
        report.abandon();
        outcome.reportFailure =
            ReportFailure{error.path(), error.reason(), error.keptIn(), error.error()};
    } catch (const std::bad_alloc&) {
        report.abandon();
        const auto ec = std::make_error_code(std::errc::not_enough_memory);
        outcome.reportFailure = ReportFailure{outcome.report, ec.message(), {}, ec};
    }
    outcome.findings = report.lines();
    outcome.logsRead = reader.logsRead();
    return outcome;
}

}  // namespace vesk
