#include "presenter/sweep_run.h"

#include <algorithm>
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

int countLogEntries(const std::vector<std::filesystem::path>& names) {
    return static_cast<int>(std::count_if(names.begin(), names.end(), looksLikeLog));
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

SweepOutcome SweepRun::run(const std::filesystem::path& folder, SweepView& view) {
    // The folder as it is now, not as it was when it was opened: logs written since then count,
    // and a list without logs must not empty the day's report. The file list and the sweep share
    // this one listing.
    const ListedFolder listed(fs_, folder, false);
    std::vector<std::filesystem::path> names;
    for (const ListedFile& file : listed.files()) {
        names.push_back(file.name);
    }
    if (!listed.error()) {
        view.showFiles(folder, names);
    }
    // The file list opens the gate and counts the logs; a folder that could not be listed is
    // swept all the same, so that the run names it.
    const int logEntryCount = countLogEntries(names);
    std::vector<const ListedFolder*> folders;
    if (logEntryCount > 0 || listed.error()) {
        folders.push_back(&listed);
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
