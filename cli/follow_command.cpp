#include "follow_command.h"

#include <cstdio>

#include "command_common.h"
#include "sweep/clock.h"
#include "sweep/follow.h"
#include "sweep/home_folder.h"
#include "sweep/printable.h"

namespace vesk {
namespace {

// Each new finding on standard output as grep -H prints a match, flushed at once for the pipe,
// shipper or journal that reads it; problems on standard error.
class CommandFollowEvents final : public FollowEvents {
public:
    explicit CommandFollowEvents(bool quiet) : quiet_(quiet) {}

    void finding(const std::filesystem::path& log, std::string_view line) override {
        if (quiet_ || outputLost_) {
            return;
        }
        const std::string shown =
            std::string(priorityPrefix(stdout, Priority::notice)) + printable(log);
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        std::fputc(':', stdout);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        outputLost_ = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    }
    void unreadable(const UnreadableLog& what) override { complain(what.path, what.reason); }
    void folderGone(const UnreadableLog& what) override { complain(what.path, what.reason); }
    void reportFailed(const ReportFailure& failure) override { complainAboutReport(failure); }

    bool outputLost() const { return outputLost_; }

private:
    bool quiet_;
    bool outputLost_ = false;
};

// Ends the following once the findings can no longer be printed.
class StopWhenOutputLost final : public FolderWatcher {
public:
    StopWhenOutputLost(FolderWatcher& watcher, const CommandFollowEvents& events)
        : watcher_(watcher), events_(events) {}
    Wake wait(std::optional<std::chrono::milliseconds> timeout) override {
        return events_.outputLost() ? Wake::stop : watcher_.wait(timeout);
    }

private:
    FolderWatcher& watcher_;
    const CommandFollowEvents& events_;
};

}  // namespace

int follow(const CommandLine& command) {
    // Before anything else, and before any thread: the signals that end following are taken by
    // the watcher, so that the report is published a last time.
    holdStopSignals();
    const auto reportFolder =
        resolveFolder(command.reportFolder.empty() ? homeFolder() : command.reportFolder);
    if (!reportFolder) {
        return kFailed;
    }
    auto fileSystem = makeNativeFileSystem();
    const auto listed = listFolders(*fileSystem, command.folders, false);
    if (!listed) {
        return kFailed;
    }
    std::vector<std::filesystem::path> folders;
    for (const auto& folder : *listed) {
        folders.push_back(folder.directoryPath());
    }
    CommandFollowEvents events(command.quiet);
    const SystemClock clock;
    Follower follower(*fileSystem, clock, *reportFolder, folders, events);
    const SweepOutcome outcome = follower.start();
    if (outcome.reportFailure) {
        return kFailed;
    }
    if (!command.quiet) {
        printCompletion(outcome);
        std::fflush(stdout);
    }
    const auto watcher = watchFolders(folders);
    StopWhenOutputLost stopping(*watcher, events);
    const int status = follower.run(stopping);
    return events.outputLost() ? kFailed : status;
}

}  // namespace vesk
