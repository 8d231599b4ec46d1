#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "sweep/settings.h"

namespace vesk {

// What the watcher saw change since it was last asked: the tags of the folders and files watched,
// and whether everything must be looked at again (the system lost track, or a second passed on a
// folder it does not tell of).
struct Changes {
    std::vector<std::uint64_t> tags;
    bool everything = false;
};

// Waits for the folders and logs being followed to change, costing nothing meanwhile where the
// system tells of changes (inotify on Linux, ReadDirectoryChangesW on Windows). What it cannot be
// told of, such as folders on network mounts, or files once the system's watches run out, it
// looks at once a second. A signal that ends the program (SIGINT, SIGTERM, SIGHUP; Ctrl+C or a
// closed console on Windows) ends the wait.
class ChangeWatcher {
public:
    enum class Wake { changed, timeout, stop };
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    virtual ~ChangeWatcher() = default;
    // A folder's files coming, going and being written. False when it cannot be watched, as when
    // it is gone.
    virtual bool watchFolder(std::uint64_t tag, const std::filesystem::path& folder) = 0;
    // A file's writes through any name or mount that leads to it.
    virtual void watchFile(std::uint64_t tag, const std::filesystem::path& file) = 0;
    virtual void unwatch(std::uint64_t tag) = 0;
    // Until a change, the deadline (none: for ever), a stop, or wake() from another thread.
    // A burst of changes is gathered for the settings' few milliseconds, never longer.
    virtual Wake wait(Deadline deadline, Changes& changes) = 0;
    virtual void wake() = 0;
};

// The signals that would end the program are held back from now on, for the watcher to take:
// called before any thread starts.
void holdStopSignals();

// Null, with the reason, where it could not be made able to hear a stop (out of descriptors).
std::unique_ptr<ChangeWatcher> makeChangeWatcher(const SweepSettings& settings,
                                                 std::error_code& ec);

}  // namespace vesk
