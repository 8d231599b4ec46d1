#include "sweep_run.h"

#include <memory>
#include <new>

#include "log_name.h"
#include "log_scanner.h"
#include "marker_filter.h"
#include "printable.h"
#include "progress_rule.h"
#include "report_file.h"

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

int countLogEntries(const SweepView& view) {
    int count = 0;
    for (int i = 0; i < view.entryCount(); ++i) {
        count += looksLikeLog(view.entry(i)) ? 1 : 0;
    }
    return count;
}

// Reads the logs of one directory, in the file system's order, into the report.
class Sweep {
public:
    Sweep(FileSystem& fs, ReportFile& report, SweepView& view, int logEntryCount)
        : fs_(fs),
          report_(report),
          view_(view),
          rule_(logEntryCount),
          scanner_(filter_, report),
          block_(makeBlock()) {}

    std::vector<UnreadableLog> readAll(const std::filesystem::path& directory) {
        std::error_code ec;
        auto names = fs_.findLogs(directory, ec);
        while (names != nullptr) {
            auto name = names->next(ec);
            if (!name) {
                break;
            }
            readLog(directory / *name);
            view_.setProgressValue(rule_.next(view_.progressValue(), ++logsRead_));
        }
        if (ec) {
            unreadable_.push_back({directory, ec.message()});
        }
        return std::move(unreadable_);
    }

private:
    void readLog(const std::filesystem::path& path) {
        std::error_code ec;
        auto log = fs_.openLog(path, ec);
        if (log == nullptr) {
            unreadable_.push_back({path, ec.message()});
            return;
        }
        // The report itself may sit among the logs; reading it while it grows could loop.
        if (log->identity() == report_.identity()) {
            return;
        }
        scanner_.beginLog();
        for (;;) {
            const std::size_t n = log->read(block_.get(), kBlockSize, ec);
            if (ec) {
                scanner_.abandonLog();
                unreadable_.push_back({path, ec.message()});
                return;
            }
            if (n == 0) {
                scanner_.endLog();
                return;
            }
            scanner_.scan(block_.get(), n);
        }
    }

    FileSystem& fs_;
    ReportFile& report_;
    SweepView& view_;
    ProgressRule rule_;
    MarkerFilter filter_;
    LogScanner scanner_;
    Block block_;
    std::vector<UnreadableLog> unreadable_;
    int logsRead_ = 0;
};

std::string reportFailureText(const ReportError& error) {
    return "The report " + printable(error.path()) + " could not be written: " + error.reason() +
           "\rThe findings of this run are incomplete.";
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

SweepRun::SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder)
    : fs_(fs), clock_(clock), reportFolder_(std::move(reportFolder)) {}

SweepOutcome SweepRun::run(SweepView& view) {
    SweepOutcome outcome;
    // The date is taken once: a run past midnight keeps the name of the day it started.
    outcome.report = ReportFile::pathFor(reportFolder_, clock_.today());
    ReportFile report(fs_);
    bool buttonDisabled = false;
    try {
        report.open(outcome.report);
        const int logEntryCount = countLogEntries(view);
        if (logEntryCount > 0) {
            buttonDisabled = true;
            view.setFindEnabled(false);
            Sweep sweep(fs_, report, view, logEntryCount);
            outcome.unreadable = sweep.readAll(view.directoryPath());
        }
        report.close();
        outcome.status = outcome.unreadable.empty() ? SweepOutcome::Status::completed
                                                    : SweepOutcome::Status::someUnreadable;
        outcome.message = completionText(outcome.unreadable);
    } catch (const ReportError& error) {
        report.abandon();
        outcome.status = SweepOutcome::Status::reportFailed;
        outcome.reportError = error.reason();
        outcome.message = reportFailureText(error);
    }
    // A failed report leaves the button usable whatever state the run stopped in.
    if (buttonDisabled || outcome.status == SweepOutcome::Status::reportFailed) {
        view.setFindEnabled(true);
    }
    view.showMessage(outcome.message, kMessageTitle);
    view.setProgressValue(0);
    return outcome;
}

}  // namespace vesk
