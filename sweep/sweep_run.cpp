#include "sweep/sweep_run.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "log_name.h"
#include "log_scanner.h"
#include "marker_filter.h"
#include "progress_rule.h"
#include "report_file.h"
#include "sweep/listed_folder.h"
#include "sweep/printable.h"

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

// The completion message names at most this many unreadable logs.
constexpr std::size_t kMostNamed = 10;

int countLogEntries(const FolderEntries& folder) {
    int count = 0;
    for (int i = 0; i < folder.entryCount(); ++i) {
        count += looksLikeLog(folder.entry(i)) ? 1 : 0;
    }
    return count;
}

// Reads the logs of the chosen folders, each in the file system's order, into the report.
class Sweep {
public:
    Sweep(FileSystem& fs, ReportFile& report, SweepView& view, SweepProgress* progress)
        : fs_(fs),
          report_(report),
          view_(view),
          progress_(progress),
          scanner_(filter_, report),
          block_(makeBlock()) {}

    // The folder's own file list opens the gate and counts its logs; the logs read are those of
    // the listing, taken now unless one was taken with the file list.
    void sweepFolder(const FolderEntries& entries, const ListedFolder* listed) {
        const int logEntryCount = countLogEntries(entries);
        if (logEntryCount == 0) {
            return;  // the gate stays shut
        }
        buttonDisabled_ = true;
        view_.setFindEnabled(false);
        if (view_.progressValue() != 0) {
            view_.setProgressValue(0);  // each folder's bar starts afresh, as each run's does
        }
        std::optional<ListedFolder> listedNow;
        if (listed == nullptr) {
            listed = &listedNow.emplace(fs_, entries.directoryPath(), progress_ != nullptr);
        }
        const std::filesystem::path& directory = listed->directoryPath();
        if (listed->folder() == nullptr) {
            unreadable_.push_back({directory, listed->error().message()});
            return;
        }
        // The report's folder may be the one swept: the day's report there is no log.
        const bool reportHere = listed->folder()->identity() == report_.folderIdentity();
        const std::filesystem::path reportName = report_.path().filename();
        const ProgressRule rule(logEntryCount);
        int logsSwept = 0;
        for (const ListedFile* log : listed->logs()) {
            if (!reportHere || !sameFileName(log->name, reportName)) {
                readLog(*listed->folder(), directory, *log);
            }
            view_.setProgressValue(rule.next(view_.progressValue(), ++logsSwept));
        }
        if (listed->error()) {
            unreadable_.push_back({directory, listed->error().message()});
        }
    }

    bool buttonDisabled() const { return buttonDisabled_; }
    int logsRead() const { return logsRead_; }
    std::vector<UnreadableLog> takeUnreadable() { return std::move(unreadable_); }

private:
    void readLog(LogFolder& folder, const std::filesystem::path& directory, const ListedFile& log) {
        std::error_code ec;
        auto file = folder.openLog(log, ec);
        if (file == nullptr) {
            unreadable_.push_back({directory / log.name, ec.message()});
            return;
        }
        if (progress_ != nullptr) {
            progress_->logOpened(directory / log.name);
        }
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
                unreadable_.push_back({directory / log.name, ec.message()});
                return;
            }
            scanner_.scan(block_.get(), n);
            left -= n;
            if (progress_ != nullptr) {
                progress_->bytesRead(n);
            }
        }
        scanner_.endLog();
        ++logsRead_;
    }

    FileSystem& fs_;
    ReportFile& report_;
    SweepView& view_;
    SweepProgress* progress_;
    MarkerFilter filter_;
    LogScanner scanner_;
    Block block_;
    std::vector<UnreadableLog> unreadable_;
    bool buttonDisabled_ = false;
    int logsRead_ = 0;
};

std::string reportFailureText(const ReportError& error) {
    const std::string report = "The report " + printable(error.path());
    if (!error.keptIn().empty()) {
        return report + " could not be replaced: " + error.reason() +
               "\rThis run's findings are in " + printable(error.keptIn()) + ".";
    }
    return report + " could not be written: " + error.reason() +
           "\rNone of this run's findings were stored; the day's earlier report, if any, is left "
           "as it was.";
}

}  // namespace

std::string completionText(const std::vector<UnreadableLog>& unreadable) {
    std::string text = kCompletedMessage;
    if (unreadable.empty()) {
        return text;
    }
    text += "\r\rThese logs could not be read:";
    for (std::size_t i = 0; i < unreadable.size() && i < kMostNamed; ++i) {
        text += '\r';
        text += printable(unreadable[i].path);
        text += ": ";
        text += unreadable[i].reason;
    }
    if (unreadable.size() > kMostNamed) {
        text += "\rand ";
        text += std::to_string(unreadable.size() - kMostNamed);
        text += " more.";
    }
    return text;
}

SweepRun::SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
                   SweepProgress* progress)
    : fs_(fs), clock_(clock), reportFolder_(std::move(reportFolder)), progress_(progress) {}

SweepOutcome SweepRun::run(SweepView& view) {
    return run(view, nullptr);
}

SweepOutcome SweepRun::run(SweepView& view, const std::vector<ListedFolder>& folders) {
    return run(view, &folders);
}

SweepOutcome SweepRun::run(SweepView& view, const std::vector<ListedFolder>* folders) {
    SweepOutcome outcome;
    // The date is taken once: a run past midnight keeps the name of the day it started.
    outcome.report = ReportFile::pathFor(reportFolder_, clock_.today());
    ReportFile report(fs_);
    Sweep sweep(fs_, report, view, progress_);
    try {
        report.open(outcome.report);
        if (folders == nullptr) {
            sweep.sweepFolder(view, nullptr);
        } else {
            for (const ListedFolder& folder : *folders) {
                sweep.sweepFolder(folder, &folder);
            }
        }
        report.close();
        outcome.unreadable = sweep.takeUnreadable();
        outcome.status = outcome.unreadable.empty() ? SweepOutcome::Status::completed
                                                    : SweepOutcome::Status::someUnreadable;
        outcome.message = completionText(outcome.unreadable);
    } catch (const ReportError& error) {
        report.abandon();
        outcome.status = SweepOutcome::Status::reportFailed;
        outcome.reportError = error.reason();
        outcome.keptIn = error.keptIn();
        outcome.message = reportFailureText(error);
    }
    outcome.findings = report.lines();
    outcome.logsRead = sweep.logsRead();
    // A failed report leaves the button usable whatever state the run stopped in.
    if (sweep.buttonDisabled() || outcome.status == SweepOutcome::Status::reportFailed) {
        view.setFindEnabled(true);
    }
    view.showMessage(outcome.message, kMessageTitle);
    view.setProgressValue(0);
    return outcome;
}

}  // namespace vesk
