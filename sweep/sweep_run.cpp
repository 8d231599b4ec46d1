#include "sweep/sweep_run.h"

#include <optional>
#include <vector>

#include "progress_rule.h"
#include "read/log_name.h"
#include "sweep/listed_folder.h"
#include "sweep/printable.h"

namespace vesk {
namespace {

// The completion message names at most this many unreadable logs.
constexpr std::size_t kMostNamed = 10;

int countLogEntries(const SweepView& view) {
    int count = 0;
    for (int i = 0; i < view.entryCount(); ++i) {
        count += looksLikeLog(view.entry(i)) ? 1 : 0;
    }
    return count;
}

// The sweep as the window shows it: the button disabled once reading starts, the bar moved
// once per log.
class ViewEvents final : public SweepEvents {
public:
    ViewEvents(SweepView& view, int logEntryCount) : view_(view), rule_(logEntryCount) {}

    void folderStarted(const ListedFolder&) override {
        view_.setFindEnabled(false);
        disabled_ = true;
    }
    void logDone() override {
        view_.setProgressValue(rule_.next(view_.progressValue(), ++logsSwept_));
    }
    bool disabled() const { return disabled_; }

private:
    SweepView& view_;
    ProgressRule rule_;
    int logsSwept_ = 0;
    bool disabled_ = false;
};

std::string reportFailureText(const ReportFailure& failure, const std::filesystem::path& path) {
    const std::string report =
        (failure.path == path ? "The report " : "The report folder ") + printable(failure.path);
    if (!failure.keptIn.empty()) {
        return report + " could not be replaced: " + failure.reason +
               "\rThis run's findings are in " + printable(failure.keptIn) + ".";
    }
    return report + " could not be written: " + failure.reason +
           "\rNone of this run's findings were stored; the day's earlier report, if any, is left "
           "as it was.";
}

}  // namespace

std::string completionText(const SweepOutcome& outcome) {
    if (outcome.reportFailure) {
        return reportFailureText(*outcome.reportFailure, outcome.report);
    }
    std::string text = kCompletedMessage;
    const auto& unreadable = outcome.unreadable;
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
                   SweepSettings settings)
    : fs_(fs), sweep_(fs, clock, std::move(reportFolder), settings) {}

SweepOutcome SweepRun::run(SweepView& view) {
    // The file list opens the gate and counts the logs; the logs read are the folder's own
    // listing, taken now.
    const int logEntryCount = countLogEntries(view);
    std::optional<ListedFolder> listed;
    std::vector<const ListedFolder*> folders;
    if (logEntryCount > 0) {
        folders.push_back(&listed.emplace(fs_, view.directoryPath(), false));
    }
    ViewEvents events(view, logEntryCount);
    const SweepOutcome outcome = sweep_.run(folders, events);
    // A failed report leaves the button usable whatever state the run stopped in.
    if (events.disabled() || outcome.reportFailure) {
        view.setFindEnabled(true);
    }
    view.showMessage(completionText(outcome), kMessageTitle);
    view.setProgressValue(0);
    return outcome;
}

}  // namespace vesk
