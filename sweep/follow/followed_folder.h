#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "follow/followed_log.h"
#include "follow/telling.h"
#include "sweep/follow.h"
#include "sweep/listed_folder.h"

namespace vesk {

// What the folders followed share: the file system, where findings are kept, whom to tell, the
// watches on their logs, and the day's report, which is no log.
class FollowedFolder;

struct FollowContext {
    FileSystem& fs;
    FindingSpool& spool;
    FollowEvents& events;
    Telling& telling;
    std::span<char> buffer;
    // A file's watch, by the tag it goes by; a tag of 0 is no watch.
    std::function<std::uint64_t(const std::filesystem::path&)> watchFile;
    std::function<void(std::uint64_t)> unwatch;
    std::function<ReportPlace()> report;
    // A log new to a folder, before it is read: what was told of it before, where it is known.
    std::function<void(const FollowedFolder&, FollowedLog&, InputFile&)> recognize;
    // A log gone from a folder, which may come back.
    std::function<void(const FollowedFolder&, const FollowedLog&)> departed;
};

// A folder followed by its path, with its logs in name order as far as they have been read.
class FollowedFolder {
public:
    enum class State { present, gone, unlisted };

    // index: where it stands among the folders followed.
    FollowedFolder(std::filesystem::path path, std::size_t index, FollowContext& context);
    ~FollowedFolder();
    FollowedFolder(const FollowedFolder&) = delete;
    FollowedFolder& operator=(const FollowedFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::size_t index() const { return index_; }
    State state() const { return state_; }
    // Why it is gone or cannot be listed.
    const std::string& failureReason() const { return failureReason_; }
    // The folder its path led to when it was last listed: another one is watched anew.
    FileIdentity identity() const { return identity_; }

    // As the first sweep listed it, and each log as it read it, in name order.
    // logs: as many as the sweep may hand over.
    void listedAs(const ListedFolder& listed, std::size_t logs);
    void adopt(std::unique_ptr<FollowedLog> log);
    // It could not be listed: gone, or not to be listed for now. Named once either way; returns
    // whether it held logs that went with it.
    bool lost(const std::error_code& ec);

    // Lists it again and looks at each log: new, renamed, grown, written again or gone. Returns
    // whether what it gives the report may have changed.
    bool list();
    // What reading on one log again found: what it gives the report is as it was, or may have
    // changed, or the folder had to be listed again and anything in it may have changed.
    enum class Looked { unchanged, logChanged, folderChanged };
    // Reads on a log its watch told of, through the folder opened again, unless the folder is
    // gone or another: then it is listed again.
    Looked readOnWatchedLog(FollowedLog& log);
    FollowedLog* logWatchedBy(std::uint64_t tag) const;
    bool anyLogUnreadable() const;

    const std::vector<std::unique_ptr<FollowedLog>>& logs() const { return logs_; }
    // Where a log stands in name order.
    std::size_t indexOf(const FollowedLog& log) const;

private:
    bool readOnLog(LogFolder& folder, FollowedLog& log, const ListedFile* listed);
    void drop(FollowedLog& log);
    void indexTags();
    static bool byTag(const std::pair<std::uint64_t, FollowedLog*>& entry, std::uint64_t tag) {
        return entry.first < tag;
    }

    std::filesystem::path path_;
    std::size_t index_;
    FollowContext& context_;
    State state_ = State::present;
    bool restored_ = false;  // while it is listed again after it was gone
    std::string failureReason_;
    FileIdentity identity_;
    std::vector<std::unique_ptr<FollowedLog>> logs_;  // in name order
    // Its logs by their watches' tags, in order: a pair for each costs less than a hashed node.
    std::vector<std::pair<std::uint64_t, FollowedLog*>> byTag_;
};

}  // namespace vesk
