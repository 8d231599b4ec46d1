#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/folder_watcher.h"
#include "sweep/sweep.h"

namespace vesk {

// What following tells as it goes, on its own thread. Each does nothing unless overridden.
class FollowEvents {
public:
    virtual ~FollowEvents() = default;
    // A new finding, once its line has ended.
    virtual void finding(const std::filesystem::path& /*log*/, std::string_view /*line*/) {}
    // A log that could not be read, when it first fails.
    virtual void unreadable(const UnreadableLog& /*what*/) {}
    // A folder that can no longer be listed, once; the others are still followed.
    virtual void folderGone(const UnreadableLog& /*what*/) {}
    virtual void reportFailed(const ReportFailure& /*failure*/) {}
};

// Keeps the day's report what a run at that moment would write, while the servers write their
// logs: the same lines in the same order, the flag carried from log to log in the listing's
// order. What a log adds is read alone; a log truncated or replaced is read again from its start;
// a log that goes away takes its findings with it. Memory grows with the number of logs, not
// their size: each keeps where it was read to, its findings and the state at its end.
class Follower {
public:
    Follower(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             std::vector<std::filesystem::path> folders, FollowEvents& events);
    ~Follower();

    // The sweep a run would make, the report published: where following starts.
    SweepOutcome start();
    // Looks at the folders again and reads what was added to them.
    void refresh();
    // Publishes the report when what a run would write has changed, gathering a burst of
    // changes into one within half a second, or when the day has moved on.
    void publishWhenDue();
    // The report a last time, where it is not what a run would write.
    void publishNow();
    // When publishWhenDue() next has something to do.
    std::optional<std::chrono::milliseconds> nextDue() const;

    bool anyFolderLeft() const;
    bool anyLogUnreadable() const;

    // Follows until the watcher stops it or no folder is left: 0 when every log was read at the
    // end, 1 when some could not be, 2 when no folder is left.
    int run(FolderWatcher& watcher);

private:
    struct Log;
    struct Folder;

    void readFolder(Folder& folder);
    static bool sameTail(InputFile& input, const Log& log);
    void read(Folder& folder, std::unique_ptr<Log>& log, LogFolder& opened, const ListedFile& file);
    void walk(std::string* out);
    std::string content();
    bool publish();

    FileSystem& fs_;
    const Clock& clock_;
    std::filesystem::path reportFolder_;
    FollowEvents& events_;
    std::vector<std::unique_ptr<Folder>> folders_;
    std::optional<LocalDate> publishedDay_;
    std::string published_;
    std::optional<std::chrono::steady_clock::time_point> due_;
    bool changed_ = false;   // something was read, or a log came or went, since the last look
    bool announce_ = false;  // findings are told of once the first sweep is over
};

}  // namespace vesk
