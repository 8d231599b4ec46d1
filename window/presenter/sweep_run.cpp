#include "presenter/sweep_run.h"

#include <optional>
#include <vector>

#include "presenter/completion_text.h"
#include "progress_rule.h"
#include "sweep/listed_folder.h"

namespace vesk {
namespace {

// A file-list entry looks like a log when it ends in "log" in any case: catalog does too.
bool looksLikeLog(const std::filesystem::path& name) {
    const auto& text = name.native();
    if (text.size() < 3) {
        return false;
    }
    const auto upper = [](auto c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    const auto tail = text.substr(text.size() - 3);
    return upper(tail[0]) == 'L' && upper(tail[1]) == 'O' && upper(tail[2]) == 'G';
}

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

}  // namespace

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
