#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "follow/followed_log.h"
#include "read/name_order.h"
#include "sweep/follow.h"

namespace vesk {

// What the folders followed share: the file system, where findings are kept, whom to tell, and
// the watches on their logs.
struct FollowContext {
    FileSystem& fs;
    FindingSpool& spool;
    FollowEvents& events;
    std::span<char> buffer;
    // A log's watch, by the tag it goes by; a tag of 0 is no watch.
    std::function<std::uint64_t(const std::filesystem::path&)> watchFile;
    std::function<void(std::uint64_t)> unwatch;
    // The day's report, which is no log where it lies among them.
    std::function<std::filesystem::path()> reportName;
    FileIdentity reportFolder;
};

// A folder followed by its path, with its logs in name order as far as they have been read.
class FollowedFolder {
public:
    enum class State { present, gone, unlisted };

    FollowedFolder(std::filesystem::path path, FollowContext& context);
    ~FollowedFolder();

    const std::filesystem::path& path() const { return path_; }
    State state() const { return state_; }
    // The reason it is gone or cannot be listed.
    const std::string& trouble() const { return trouble_; }

    // Lists it again and looks at each log: new, renamed, grown, written again or gone. Lines that
    // pass are told of when announce. Returns whether what it gives the report may have changed.
    bool list(bool announce);
    // The folder its path led to when it was last listed: another one is watched anew.
    FileIdentity identity() const { return identity_; }
    // What looking at one log again found: what it gives the report is as it was, or may have
    // changed, or the folder had to be listed again and anything in it may have changed.
    enum class Looked { unchanged, logChanged, folderChanged };
    // Looks at one log again, as a watch on it tells.
    Looked lookAt(std::uint64_t tag, bool announce);
    // The name of the log a watch is on, if it is on one of this folder's.
    std::optional<std::filesystem::path> logWatchedBy(std::uint64_t tag) const;
    bool anyLogUnreadable() const;

    template <typename Visit>
    void forEachLog(Visit visit) {
        for (auto& [name, log] : logs_) {
            visit(*log.log);
        }
    }
    // From the log of that name on, or from the first, while visit returns true. Returns whether
    // it went through to the last.
    template <typename Visit>
    bool forEachLogFrom(const std::filesystem::path* name, Visit visit) {
        for (auto at = name != nullptr ? logs_.find(*name) : logs_.begin(); at != logs_.end();
             ++at) {
            if (!visit(*at->second.log)) {
                return false;
            }
        }
        return true;
    }

private:
    struct Log {
        std::unique_ptr<FollowedLog> log;
        std::uint64_t tag = 0;
        bool named = false;  // as unreadable, until it is read again
    };
    struct ByName {
        bool operator()(const std::filesystem::path& a, const std::filesystem::path& b) const {
            return comesBefore(a, b);
        }
    };

    bool lost(const std::error_code& ec);
    bool look(LogFolder& folder, Log& log, const ListedFile* listed, bool announce);
    bool read(FollowedLog& log, InputFile& file, bool announce);
    void drop(Log& log);

    std::filesystem::path path_;
    FollowContext& context_;
    State state_ = State::present;
    std::string trouble_;
    FileIdentity identity_;
    std::map<std::filesystem::path, Log, ByName> logs_;
    std::map<std::uint64_t, std::filesystem::path> byTag_;
};

}  // namespace vesk
