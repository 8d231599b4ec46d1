#include "cli/sweep_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "command_common.h"
#include "command_line.h"
#include "command_output.h"
#include "command_platform.h"
#include "follow_command.h"
#include "stream_writer.h"
#include "sweep/clock.h"
#include "sweep/home_folder.h"
#include "sweep/listed_folder.h"
#include "sweep/printable.h"
#include "sweep/sweep.h"
#include "terminal_progress.h"
#include "vesk/version.h"

namespace vesk {
namespace {

// What a run tells as it goes: the progress, the logs that cannot be read, and where asked, each
// finding.
class RunEvents final : public SweepEvents {
public:
    RunEvents(TerminalProgress& progress, CommandOutput& output)
        : progress_(progress), output_(output) {}

    void logOpened(const std::filesystem::path& folder, const ListedFile& log) override {
        progress_.logOpened(folder, log);
    }
    void bytesRead(std::size_t bytes) override { progress_.bytesRead(bytes); }
    void unreadable(const UnreadableLog& what) override {
        progress_.clear();
        output_.unreadable(what);
    }
    void finding(const Finding& finding) override { output_.finding(finding); }

private:
    TerminalProgress& progress_;
    CommandOutput& output_;
};

int sweep(const CommandLine& command) {
    DirectSink out(stdout);
    DirectSink err(stderr);
    CommandOutput output(command.format, command.quiet, out, err);
    const auto reportFolder =
        resolveFolder(command.reportFolder.empty() ? homeFolder() : command.reportFolder, output);
    if (!reportFolder) {
        return kFailed;
    }
    const bool showProgress = !command.quiet && isTerminal(stderr);
    auto fileSystem = makeNativeFileSystem();
    const auto folders = listFolders(*fileSystem, command.folders,
                                     showProgress ? LogSizes::listed : LogSizes::skipped, output);
    if (!folders) {
        return kFailed;
    }
    std::uint64_t bytes = 0;
    std::vector<const ListedFolder*> swept;
    for (const auto& folder : *folders) {
        bytes += folder.logBytes();
        swept.push_back(&folder);
    }
    TerminalProgress progress(showProgress ? stderr : nullptr, bytes);
    RunEvents events(progress, output);
    const SystemClock clock;
    // Text tells no finding: the report holds them.
    const RunOptions options{.tellFindings = command.format == Format::json && !command.quiet};
    const SweepOutcome outcome =
        Sweep(*fileSystem, clock, *reportFolder).run(swept, events, {}, options);
    progress.finish();

    if (const auto& failure = outcome.reportFailure) {
        output.reportFailed(*failure);
        return kFailed;
    }
    if (const auto& starved = outcome.outOfDescriptors) {
        output.error("out of file descriptors: " + printable(starved->path) + ": " +
                     starved->reason + "; the day's report was not written");
        return kFailed;
    }
    output.summary(outcome);
    return exitStatus(outcome.status());
}

int sweepOrTell(const std::vector<std::filesystem::path>& arguments) {
    std::string problem;
    const auto command = parseCommandLine(arguments, problem);
    if (!command) {
        return usageError(problem);
    }
    if (command->help) {
        writeLines(stdout, Priority::info, helpText());
        return kAllRead;
    }
    if (command->version) {
        writeLines(stdout, Priority::info, std::string(kProgram) + " " + kVersion + "\n");
        return kAllRead;
    }
    return command->follow ? follow(*command) : sweep(*command);
}

}  // namespace

int sweepCommand(const std::vector<std::filesystem::path>& arguments) {
    int status = kFailed;
    try {
        status = sweepOrTell(arguments);
    } catch (const std::bad_alloc&) {
        // Without a string to build, for want of memory.
        std::fprintf(stderr, "%s%s: out of memory\n", priorityPrefix(stderr, Priority::error),
                     kProgram);
    }
    // What was printed must have reached standard output, as with any command-line tool.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const std::string reason = std::strerror(errno);
        complainOf("cannot write the output: " + reason);
        return kFailed;
    }
    return status;
}

}  // namespace vesk
