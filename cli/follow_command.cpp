#include "follow_command.h"

#include <cstdio>
#include <cstring>

#include "command_common.h"
#include "command_platform.h"
#include "stream_writer.h"
#include "sweep/change_watcher.h"
#include "sweep/clock.h"
#include "sweep/follow.h"
#include "sweep/home_folder.h"
#include "sweep/printable.h"

namespace vesk {
namespace {

// Lines wait at most this much to be written before new ones are dropped and counted...
constexpr std::size_t kMostWaiting = 4 * 1024 * 1024;
// ...and are given this long at the end.
constexpr auto kPatience = std::chrono::milliseconds(300);

// Each new finding on standard output as grep -H prints a match, for the pipe, shipper or
// journal that reads it, problems on standard error: each written by a thread of its own, so
// that a reader that stalls holds back neither the report nor the end.
class CommandFollowEvents final : public FollowEvents {
public:
    CommandFollowEvents(bool quiet, ChangeWatcher& watcher)
        : quiet_(quiet),
          escaped_(isTerminal(stdout)),
          out_(stdout, kMostWaiting, [&watcher] { watcher.wake(); }),
          err_(stderr, kMostWaiting, [] {}) {}

    void started(const SweepOutcome& outcome) override {
        if (!quiet_) {
            out_.write(completionText(outcome));
        }
    }
    // On a terminal, control characters are shown escaped, as ls shows them; elsewhere the line
    // goes as it is, as grep writes it.
    void finding(const Finding& finding) override {
        if (!quiet_) {
            out_.write(priorityPrefix(stdout, Priority::notice) + printable(finding.log) + ":" +
                       (escaped_ ? printableText(finding.line) : std::string(finding.line)) + "\n");
        }
    }
    void unreadable(const UnreadableLog& what) override {
        err_.write(complaint(what.path, what.reason));
    }
    void folderGone(const UnreadableLog& what) override {
        err_.write(complaint(what.path, what.reason));
    }
    void reportFailed(const ReportFailure& failure) override {
        err_.write(reportComplaint(failure));
    }
    bool ending() override { return out_.closed(); }

    // What could not be printed is counted; an output that closed makes the status 2.
    int finish(ExitStatus status) {
        const std::uint64_t lost = out_.finish(kPatience);
        if (out_.closed()) {
            err_.write(problemText(std::string("cannot write the output: ") +
                                   std::strerror(out_.error())));
        } else if (lost > 0) {
            err_.write(problemText(std::to_string(lost) + (lost == 1 ? " line" : " lines") +
                                   " of output could not be written"));
        }
        err_.finish(kPatience);
        return out_.closed() ? kFailed : status;
    }

private:
    bool quiet_;
    bool escaped_;
    StreamWriter out_;
    StreamWriter err_;
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
    const auto watcher = makeChangeWatcher();
    CommandFollowEvents events(command.quiet, *watcher);
    const SystemClock clock;
    Follower follower(*fileSystem, clock, *reportFolder, folders, events);
    return events.finish(exitStatus(follower.follow(*watcher)));
}

}  // namespace vesk
