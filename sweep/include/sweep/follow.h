#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "sweep/change_watcher.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/settings.h"
#include "sweep/sweep.h"

namespace vesk {

// What following tells as it goes, on its own thread. Each does nothing unless overridden.
class FollowEvents {
public:
    virtual ~FollowEvents() = default;
    // The first sweep is over, its report published or not.
    virtual void started(const SweepOutcome& /*outcome*/) {}
    // A finding new to the folder, once its line has ended.
    virtual void finding(const std::filesystem::path& /*log*/, std::string_view /*line*/) {}
    // A log that could not be read, when it first fails.
    virtual void unreadable(const UnreadableLog& /*what*/) {}
    // A folder that is gone, or cannot be listed, when that first happens. It is followed again
    // once it is back.
    virtual void folderGone(const UnreadableLog& /*what*/) {}
    // The report could not be published, when that first happens after it could; it is tried
    // again.
    virtual void reportFailed(const ReportFailure& /*failure*/) {}
    // Asked after each wake: whether following is to end now, as when its output is gone.
    virtual bool ending() { return false; }
};

// Keeps the day's report what a run at that moment would write, while the servers write their
// logs: the sweep's incremental form. Each log is read on its own, as a run reads a part of the
// logs, from where it was read to; a log written again is read again from its start, a log
// renamed keeps what it held under its new name, a log gone takes its findings with it. Folders
// are followed by their paths: one that goes away is followed again once it is back. Memory does
// not grow with the findings, which are kept aside beyond a budget.
class Follower {
public:
    Follower(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             std::vector<std::filesystem::path> folders, FollowEvents& events,
             SweepSettings settings = {});
    ~Follower();
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // Follows until the watcher tells of a stop, or the events ask to end: the watches set first,
    // so that nothing written meanwhile is missed, then the sweep a run would make, published,
    // then each change as it comes. At the end the folders are looked at once more and the report
    // published a last time. Returns how a run would end then: completed, someUnreadable where
    // some log or folder could not be read, or reportFailed where the last publication failed.
    SweepOutcome::Status follow(ChangeWatcher& watcher);

    // The steps of following, for a caller that drives them itself: the watches first, where
    // there is a watcher.
    void watchWith(ChangeWatcher& watcher);
    SweepOutcome start();
    void lookAgain(const Changes& changes);
    // Publishes the report when a burst of changes has been gathered, a failed publication's
    // retry is due, the day has moved on, or the report on disk is not the one published.
    void publishWhenDue();
    void publishNow();
    ChangeWatcher::Deadline nextDue() const;
    SweepOutcome::Status status() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vesk
