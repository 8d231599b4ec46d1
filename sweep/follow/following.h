#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/log_keeper.h"
#include "follow/followed_folder.h"
#include "follow/place_book.h"
#include "follow/publication.h"
#include "follow/telling.h"
#include "read/block_buffer.h"
#include "report/findings.h"
#include "sweep/change_watcher.h"
#include "sweep/clock.h"
#include "sweep/follow.h"

namespace vesk {

// Following, step by step: the folders and their logs, the publication of the report, the
// findings told of, and the watches that tell of changes. Follower drives it; tests drive the
// steps themselves, with a clock and a watcher of their own.
class Following final : private LogKeeper {
public:
    using Steady = Clock::Steady;

    Following(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
              std::vector<std::filesystem::path> folders, FollowEvents& events,
              SweepSettings settings,
              std::optional<std::filesystem::path> stateFolder = std::nullopt);
    ~Following() override;

    // The watches first, so that nothing written from then on is missed.
    void watchWith(ChangeWatcher& watcher);
    // The sweep a run would make, published; the logs kept as it read them.
    SweepOutcome start();
    // Looks at what the watcher told of: the folders and logs that changed, or all of them.
    void readChanges(const Changes& changes);
    // Publishes the report when a burst of changes has been gathered, a failed publication's
    // retry is due, the day has moved on, or the report on disk is not the one published.
    void publishWhenDue();
    // At the end: the folders looked at once more, and the report published where it is not
    // what was published last.
    void finish();
    ChangeWatcher::Deadline nextDue() const;
    // How a run would end now.
    SweepOutcome::Status status() const;
    // Writes where each log was read and told to, as far as what was told has been delivered.
    void keepPlace();

private:
    class FirstSweep;

    std::optional<TellStart> tellFrom(const ListedFolder& folder, const ListedFile& log,
                                      const KeptLog& kept) override;
    void keep(const ListedFolder& folder, const ListedFile& log, KeptLog& kept, bool flagBefore,
              const std::error_code& ec) override;

    std::uint64_t watchFile(const std::filesystem::path& file);
    void unwatch(std::uint64_t tag);
    void watchFolder(std::size_t index);
    bool list(std::size_t index);
    void tellOfFirstLines();
    void tellOfFirstLinesFrom(std::vector<std::pair<std::size_t, FollowedLog*>> changed);
    bool publish();
    std::optional<Place> knownPlace(const FollowedFolder& folder, const std::filesystem::path& name,
                                    FileIdentity identity, std::uint64_t head, InputFile* file,
                                    std::optional<std::uint64_t> print);
    void recognize(const FollowedFolder& folder, FollowedLog& log, InputFile& file);
    Place placeOf(const FollowedFolder& folder, const FollowedLog& log) const;

    FileSystem& fs_;
    const Clock& clock_;
    FollowEvents& events_;
    SweepSettings settings_;
    FindingSpool spool_;
    BlockBuffer buffer_;
    Telling telling_;
    Publication publication_;
    FollowContext context_;
    std::vector<std::unique_ptr<FollowedFolder>> folders_;

    ChangeWatcher* watcher_ = nullptr;
    std::uint64_t nextTag_ = 1;
    std::multimap<std::uint64_t, std::size_t> folderTags_;  // a folder's, and its links' folders
    // The logs' watches set before the first sweep, by the listing's entry for each, until the
    // sweep hands the log over: no path is held for each of what may be many logs.
    std::unordered_map<const ListedFile*, std::uint64_t> firstTags_;
    std::optional<Steady::time_point> relistAt_;
    PlaceBook places_;
    bool logsKept_ = false;  // by the first sweep
    std::optional<Steady::time_point> placeKeptAt_;
    bool placeFailing_ = false;  // named when it first failed, not again until it is kept
};

}  // namespace vesk
