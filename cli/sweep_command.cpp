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
#include "command_platform.h"
#include "follow_command.h"
#include "sweep/clock.h"
#include "sweep/home_folder.h"
#include "sweep/listed_folder.h"
#include "sweep/printable.h"
#include "sweep/sweep.h"
#include "terminal_progress.h"
#include "vesk/version.h"

namespace vesk {
namespace {

int sweep(const CommandLine& command) {
    const auto reportFolder =
        resolveFolder(command.reportFolder.empty() ? homeFolder() : command.reportFolder);
    if (!reportFolder) {
        return kFailed;
    }
    const bool showProgress = !command.quiet && isTerminal(stderr);
    auto fileSystem = makeNativeFileSystem();
    const auto folders = listFolders(*fileSystem, command.folders, showProgress);
    if (!folders) {
        return kFailed;
    }
    std::uint64_t bytes = 0;
    std::vector<const ListedFolder*> swept;
    for (const auto& folder : *folders) {
        bytes += folder.logBytes();
        swept.push_back(&folder);
    }
    TerminalProgress events(showProgress ? stderr : nullptr, bytes);
    const SystemClock clock;
    const SweepOutcome outcome = Sweep(*fileSystem, clock, *reportFolder).run(swept, events);
    events.finish();

    if (const auto& failure = outcome.reportFailure) {
        complainAboutReport(*failure);
        return kFailed;
    }
    if (const auto& starved = outcome.outOfDescriptors) {
        complainOf("out of file descriptors: " + printable(starved->path) + ": " + starved->reason +
                   "; the day's report was not written");
        return kFailed;
    }
    if (!command.quiet) {
        printCompletion(outcome);
    }
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
