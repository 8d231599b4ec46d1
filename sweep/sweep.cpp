#include "sweep/sweep.h"

#include <algorithm>
#include <memory>
#include <new>

#include "log_name.h"
#include "log_scanner.h"
#include "report_file.h"
#include "sweep/marker_filter.h"

namespace vesk {
namespace {

// Small enough to stay in the cache between the read and the scan.
constexpr std::size_t kBlockSize = 64 * 1024;
// The kernel copies into a page-aligned buffer several times faster than into one that is
// merely 16-byte aligned, as a large malloc block is.
constexpr std::align_val_t kBlockAlignment{4096};

struct BlockDeleter {
    void operator()(char* block) const { ::operator delete[](block, kBlockAlignment); }
};
using Block = std::unique_ptr<char[], BlockDeleter>;

Block makeBlock() {
    return Block(static_cast<char*>(::operator new[](kBlockSize, kBlockAlignment)));
}

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

// One run's reading of the listed folders into the report.
class FolderReader {
public:
    FolderReader(ReportFile& report, SweepEvents& events)
        : report_(report), events_(events), sink_(report, events), scanner_(filter_, sink_) {}

    void sweep(const ListedFolder& listed) {
        const std::filesystem::path& directory = listed.directoryPath();
        events_.folderStarted(listed);
        if (listed.folder() == nullptr) {
            failed({directory, listed.error().message()});
            return;
        }
        // The report's folder may be the one swept: the day's report there is no log.
        const bool reportHere = listed.folder()->identity() == report_.folderIdentity();
        const std::filesystem::path reportName = report_.path().filename();
        for (const ListedFile* log : listed.logs()) {
            if (!reportHere || !sameFileName(log->name, reportName)) {
                read(*listed.folder(), directory, *log);
            }
            events_.logDone();
        }
        if (listed.error()) {
            failed({directory, listed.error().message()});
        }
        events_.folderDone(listed);
    }

    int logsRead() const { return logsRead_; }
    std::vector<UnreadableLog> takeUnreadable() { return std::move(unreadable_); }

private:
    void failed(UnreadableLog what) {
        events_.unreadable(what);
        unreadable_.push_back(std::move(what));
    }

    void read(LogFolder& folder, const std::filesystem::path& directory, const ListedFile& log) {
        std::error_code ec;
        auto file = folder.openLog(log, ec);
        if (file == nullptr) {
            failed({directory / log.name, ec.message()});
            return;
        }
        events_.logOpened(directory, log);
        // As far as the log reached when it was opened; what comes later is the next run's.
        scanner_.beginLog();
        for (std::uint64_t left = file->size(); left > 0;) {
            const std::size_t n =
                file->read(block_.get(),
                           static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlockSize)), ec);
            if (n == 0 && !ec) {
                ec = SweepErrc::shrank;
            }
            if (ec) {
                scanner_.abandonLog();
                failed({directory / log.name, ec.message()});
                return;
            }
            scanner_.scan(block_.get(), n);
            left -= n;
            events_.bytesRead(n);
        }
        scanner_.endLog();
        ++logsRead_;
    }

    ReportFile& report_;
    SweepEvents& events_;
    FindingSink sink_;
    MarkerFilter filter_;
    LogScanner scanner_;
    Block block_ = makeBlock();
    std::vector<UnreadableLog> unreadable_;
    int logsRead_ = 0;
};

}  // namespace

Sweep::Sweep(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder)
    : fs_(fs), clock_(clock), reportFolder_(std::move(reportFolder)) {}

SweepOutcome Sweep::run(const std::vector<const ListedFolder*>& folders, SweepEvents& events) {
    SweepOutcome outcome;
    // The date is taken once: a run past midnight keeps the name of the day it started.
    outcome.report = ReportFile::pathFor(reportFolder_, clock_.today());
    ReportFile report(fs_);
    FolderReader reader(report, events);
    try {
        report.open(outcome.report);
        for (const ListedFolder* folder : folders) {
            reader.sweep(*folder);
        }
        report.close();
        outcome.unreadable = reader.takeUnreadable();
    } catch (const ReportError& error) {
        report.abandon();
        outcome.reportFailure = ReportFailure{error.path(), error.reason(), error.keptIn()};
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
