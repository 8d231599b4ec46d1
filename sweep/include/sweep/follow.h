#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "sweep/change_watcher.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/settings.h"
#include "sweep/sweep.h"

namespace vesk {

// What following tells as it goes, on its own thread: a run's events for its first sweep, then
// each finding new to the folders once its line has ended, and each log that cannot be read when
// it first fails. Each does nothing unless overridden.
class FollowEvents : public SweepEvents {
public:
    // The first sweep is over, its report published or not.
    virtual void started(const SweepOutcome& /*outcome*/) {}
    // A folder that is gone, or cannot be listed, when that first happens. It is followed again
    // once it is back.
    virtual void folderGone(const UnreadableLog& /*what*/) {}
    // The report could not be published, when that first happens after it could; it is tried
    // again.
    virtual void reportFailed(const ReportFailure& /*failure*/) {}
    // The place kept across restarts could not be read at the start: the file cannot be read, is
    // damaged or another's. Nothing told before is known, so nothing old is told; the place is
    // kept anew. None yet, on a first start, is no trouble.
    virtual void placeNotRead(const UnreadableLog& /*what*/) {}
    // The place could not be kept, when that first happens after it could; it is tried again with
    // each publication.
    virtual void placeNotKept(const UnreadableLog& /*what*/) {}
    // Asked after each wake: whether following is to end now, as when its output is gone.
    virtual bool ending() { return false; }
    // Of the findings told so far (told of them), how many have reached their reader, in order
    // and with none missing before them: the place kept across a restart is before the first that
    // has not, so that it is told again rather than lost.
    virtual std::uint64_t delivered(std::uint64_t told) { return told; }
};

class Following;

// Keeps the day's report what a run at that moment would write, while the servers write their
// logs: the sweep's incremental form. Its first pass is a run, whose logs it then reads on from
// where the run read them to; a log written again is read again from its start, a log renamed
// keeps what it held under its new name, a log gone takes its findings with it. Folders are
// followed by their paths: one that goes away is followed again once it is back. Memory does not
// grow with the findings, which are kept aside beyond a budget.
class Follower {
public:
    // stateFolder: where its place is kept across restarts, in a file of its own for these folders
    // and this report folder; none keeps none.
    Follower(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             std::vector<std::filesystem::path> folders, FollowEvents& events,
             SweepSettings settings = {},
             std::optional<std::filesystem::path> stateFolder = std::nullopt);
    ~Follower();
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // Follows until the watcher tells of a stop, or the events ask to end: the watches set first,
    // so that nothing written meanwhile is missed, then the sweep a run would make, published,
    // then each change as it comes. At the end the folders are looked at once more and the report
    // published a last time. Returns how a run would end then: completed, someUnreadable where
    // some log or folder could not be read, or reportFailed where the last publication failed.
    SweepOutcome::Status follow(ChangeWatcher& watcher);
    // Keeps its place a last time, once what was told has reached its reader or never will.
    void keepPlace();

private:
    std::unique_ptr<Following> following_;
    FollowEvents& events_;
};

}  // namespace vesk
