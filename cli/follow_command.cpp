#include "follow_command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command_common.h"
#include "command_output.h"
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
    CommandFollowEvents(const CommandLine& command, ChangeWatcher& watcher)
        : quiet_(command.quiet),
          out_(stdout, kMostWaiting, [&watcher] { watcher.wake(); }),
          err_(stderr, kMostWaiting, [] {}),
          output_(command.format, command.quiet, out_, err_) {}

    CommandOutput& output() { return output_; }

    // A first publication that failed has been named: nothing was completed.
    void started(const SweepOutcome& outcome) override {
        if (const auto& starved = outcome.outOfDescriptors) {
            output_.error("out of file descriptors: " + printable(starved->path) + ": " +
                          starved->reason);
        } else if (!outcome.reportFailure) {
            output_.summary(outcome);
        }
    }
    void finding(const Finding& finding) override { output_.finding(finding); }
    void unreadable(const UnreadableLog& what) override { output_.unreadable(what); }
    void folderGone(const UnreadableLog& what) override { output_.folderGone(what); }
    void reportFailed(const ReportFailure& failure) override { output_.reportFailed(failure); }
    void placeNotRead(const UnreadableLog& what) override {
        output_.placeNotRead(what.path, what.reason);
    }
    // Named by its folder, where the operator is to look; it is tried again all the same.
    void placeNotKept(const UnreadableLog& what) override {
        output_.placeNotKept(what.path.parent_path(), what.reason);
    }
    bool ending() override { return out_.closed(); }
    // Quiet, a finding is told to no one, and nothing waits for it.
    std::uint64_t delivered(std::uint64_t told) override {
        return quiet_ ? told : std::min(told, out_.delivered());
    }

    // What could not be printed is counted; an output that closed, or lost lines, makes the
    // status 2: the unit's restart then tells them again from the place kept.
    int finish(ExitStatus status) {
        const bool drained = out_.drain(kPatience);
        const std::uint64_t lost = out_.unwritten();
        if (lost > 0 && !out_.closed()) {
            output_.outputLost(lost);
        }
        out_.finish(drained ? kPatience : std::chrono::milliseconds(0));
        if (out_.closed()) {
            err_.write(withPriority(stderr, Priority::error,
                                    std::string(kProgram) + ": cannot write the output: " +
                                        std::strerror(out_.error()) + "\n"));
        }
        err_.finish(kPatience);
        return out_.closed() || lost > 0 ? kFailed : status;
    }
    bool writersStopped() const { return out_.stopped() && err_.stopped(); }

private:
    bool quiet_;
    StreamWriter out_;
    StreamWriter err_;
    CommandOutput output_;
};

// The folder asked for, or the default, made if missing; none where it cannot be, named.
std::optional<std::filesystem::path> stateFolder(const CommandLine& command,
                                                 CommandOutput& output) {
    const auto folder =
        command.stateFolder.empty() ? defaultStateFolder() : std::optional(command.stateFolder);
    if (!folder) {
        output.placeNotKept({}, "LOCALAPPDATA is not set");
        return std::nullopt;
    }
    if (const std::error_code ec = makePrivateFolder(*folder)) {
        output.placeNotKept(*folder, ec.message());
        return std::nullopt;
    }
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(*folder, ec);
    return ec ? *folder : absolute;
}

}  // namespace

int follow(const CommandLine& command) {
    // Before anything else, and before any thread: the signals that end following are taken by
    // the watcher, so that the report is published a last time.
    holdStopSignals();
    DirectSink out(stdout);
    DirectSink err(stderr);
    CommandOutput before(command.format, command.quiet, out, err);
    const auto reportFolder =
        resolveFolder(command.reportFolder.empty() ? homeFolder() : command.reportFolder, before);
    if (!reportFolder) {
        return kFailed;
    }
    auto fileSystem = makeNativeFileSystem();
    // Not held open while following: a folder held open and removed is never told of as gone.
    // Nor listed: following lists them.
    const auto folders = openFolders(*fileSystem, command.folders, before);
    if (!folders) {
        return kFailed;
    }
    std::error_code ec;
    const auto watcher = makeChangeWatcher({}, ec);
    if (watcher == nullptr) {
        before.error("cannot wait for changes to the folders: " + ec.message());
        return kFailed;
    }
    CommandFollowEvents events(command, *watcher);
    const SystemClock clock;
    Follower follower(*fileSystem, clock, *reportFolder, *folders, events, {},
                      stateFolder(command, events.output()));
    const int status = events.finish(exitStatus(follower.follow(*watcher)));
    // After the output: the place is kept before the first finding that did not reach its reader.
    follower.keepPlace();
    if (!events.writersStopped()) {
        // A write to a reader that stalls could not be interrupted: the process ends without
        // waiting for it, and without flushing the stream it blocks in, so that the reader holds
        // nothing back. All else is written and closed by now.
        std::_Exit(status);
    }
    return status;
}

}  // namespace vesk
