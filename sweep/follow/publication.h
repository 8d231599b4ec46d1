#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "engine/report_join.h"
#include "read/block_buffer.h"
#include "sweep/change_watcher.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/follow.h"
#include "sweep/settings.h"

namespace vesk {

// The day's report as following publishes it: whole, as a run writes it, a burst of changes
// gathered into one publication; one that failed tried again later each time until it succeeds;
// the report on disk kept as it was published; the next day's begun at local midnight.
class Publication {
public:
    using Steady = Clock::Steady;
    // Joins the logs of the folders, in order, into the report.
    using JoinLogs = std::function<void(ReportJoin&)>;

    Publication(FileSystem& fs, const Clock& clock, std::filesystem::path folder,
                FollowEvents& events, const SweepSettings& settings);

    const std::filesystem::path& folder() const { return folder_; }
    // The report's name for today, and its folder: it is no log where it lies among them.
    std::filesystem::path todaysName() const;
    FileIdentity folderIdentity() const { return folderIdentity_; }

    // The report the first sweep wrote, or why it could not.
    void started(const SweepOutcome& outcome);
    // What it gives may have changed: to be published once the changes that come with it are
    // gathered.
    void changed();
    // Whether a publication is due now: changes gathered, a retry due, a new day, or the report
    // on disk other than the one published.
    bool due() const;
    // Whatever is due or not: at the end.
    bool pending() const;
    // The day has moved on since the report was published.
    bool newDay() const;
    bool publish(const JoinLogs& joinLogs);
    // The report on disk is the one published, or is published again: someone removed, replaced
    // or changed it.
    void checkReport();
    // When it is next due, if it will be.
    std::optional<Steady::time_point> nextDue() const;
    bool lastFailed() const { return lastFailed_; }
    std::uint64_t findings() const { return findings_; }

    // The report's folder and file are watched, the file anew at each publication.
    void watchWith(ChangeWatcher& watcher, std::uint64_t folderTag, std::uint64_t fileTag);
    bool watches(std::uint64_t tag) const { return tag == folderTag_ || tag == fileTag_; }

private:
    void failed(ReportFailure failure);
    void published(const std::filesystem::path& path, LocalDate day, std::uint64_t findings);

    FileSystem& fs_;
    const Clock& clock_;
    std::filesystem::path folder_;
    FileIdentity folderIdentity_;
    FollowEvents& events_;
    SweepSettings settings_;
    BlockBuffer buffer_;

    struct Published {
        FileLook look;
        LocalDate day;
    };
    std::optional<Published> published_;
    std::uint64_t findings_ = 0;
    bool dirty_ = true;
    std::optional<Steady::time_point> gathered_;  // the burst of changes published then
    std::optional<Steady::time_point> retryAt_;
    Steady::duration retryDelay_;
    bool lastFailed_ = false;
    bool failureNamed_ = false;

    ChangeWatcher* watcher_ = nullptr;
    std::uint64_t folderTag_ = 0;
    std::uint64_t fileTag_ = 0;
};

}  // namespace vesk
