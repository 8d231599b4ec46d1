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

// The sweep as the window shows it: the button disabled once reading starts, the bar moved once
// per log, and told only when what it shows changes.
class ViewEvents final : public SweepEvents {
public:
    ViewEvents(SweepView& view, int logEntryCount, float progress)
        : view_(view), rule_(logEntryCount), progress_(progress) {}

    void folderStarted(const ListedFolder&) override {
        view_.setFindEnabled(false);
        disabled_ = true;
    }
    void logDone() override {
        const float next = rule_.next(progress_, ++logsSwept_);
        if (next != progress_) {
            progress_ = next;
            view_.setProgressValue(next);
        }
    }
    bool disabled() const { return disabled_; }

private:
    SweepView& view_;
    ProgressRule rule_;
    float progress_;
    int logsSwept_ = 0;
    bool disabled_ = false;
};

}  // namespace

SweepRun::SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
                   SweepSettings settings)
    : fs_(fs), sweep_(fs, clock, std::move(reportFolder), settings) {}

SweepRun::~SweepRun() {
    stop();
}

bool SweepRun::start(std::filesystem::path folder, SweepView& view, float progress) {
    if (running()) {
        return false;
    }
    thread_ =
        std::jthread([this, folder = std::move(folder), &view, progress](std::stop_token stop) {
            outcome_ = run(folder, view, progress, std::move(stop));
        });
    return true;
}

SweepOutcome SweepRun::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return outcome_;
}

void SweepRun::stop() {
    thread_.request_stop();
    wait();
}

SweepOutcome SweepRun::run(const std::filesystem::path& folder, SweepView& view, float progress,
                           std::stop_token stop) {
    // The folder as it is now, not as it was when it was opened: logs written since then count,
    // and a list without logs must not empty the day's report. The file list and the sweep share
    // this one listing.
    const ListedFolder listed(fs_, folder, LogSizes::skipped);
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
    if (stop.stop_requested()) {
        SweepOutcome stopped;
        stopped.stopped = true;
        return stopped;
    }
    ViewEvents events(view, logEntryCount, progress);
    const SweepOutcome outcome = sweep_.run(folders, events, stop);
    if (outcome.stopped) {
        return outcome;
    }
    // A failed report leaves the button usable whatever state the run stopped in.
    if (events.disabled() || outcome.reportFailure || outcome.outOfDescriptors) {
        view.setFindEnabled(true);
    }
    view.showCompletion(completionText(outcome), kMessageTitle);
    return outcome;
}

}  // namespace vesk
