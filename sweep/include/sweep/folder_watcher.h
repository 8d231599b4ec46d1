#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace vesk {

// Waits for the folders of logs to change, costing nothing meanwhile where the system tells of
// changes (inotify on Linux, ReadDirectoryChangesW on Windows); folders it does not tell of, such
// as network mounts, are looked at once a second. A signal that ends the program (SIGINT,
// SIGTERM, SIGHUP; Ctrl+C or a closed console on Windows) ends the wait instead.
class FolderWatcher {
public:
    enum class Wake { changed, timeout, stop };

    virtual ~FolderWatcher() = default;
    // Until a change, the timeout (none: for ever), or a stop.
    virtual Wake wait(std::optional<std::chrono::milliseconds> timeout) = 0;
};

// The signals that would end the program are held back from now on, for the watcher to take:
// called before any thread starts.
void holdStopSignals();

std::unique_ptr<FolderWatcher> watchFolders(const std::vector<std::filesystem::path>& folders);

}  // namespace vesk
