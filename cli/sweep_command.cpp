#include "cli/sweep_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "command_line.h"
#include "sweep/clock.h"
#include "sweep/home_folder.h"
#include "sweep/listed_folder.h"
#include "sweep/printable.h"
#include "sweep/sweep.h"
#include "terminal_progress.h"
#include "vesk/version.h"

#ifdef _WIN32
#include <io.h>
#define VESK_ISATTY(f) _isatty(_fileno(f))
#else
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#define VESK_ISATTY(f) ::isatty(::fileno(f))
#endif

namespace vesk {
namespace {

constexpr const char* kProgram = "veskparser-sweep";

void complain(const std::filesystem::path& path, const std::string& reason) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, printable(path).c_str(), reason.c_str());
}

int usageError(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%s\nTry '%s --help'.\n", kProgram, problem.c_str(),
                 usageLine().c_str(), kProgram);
    return kFailed;
}

std::string counted(std::uint64_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// The folder a path names, found the way the system finds it: on Linux through every link
// along the way, so that link/.. is the parent of the link's target and typo/.. is no folder; on
// Windows, whose paths lose ".." before any lookup, as Windows does.
std::optional<std::filesystem::path> resolveFolder(const std::filesystem::path& given) {
    std::error_code ec;
#ifdef _WIN32
    auto folder = std::filesystem::absolute(given, ec).lexically_normal();
#else
    auto folder = std::filesystem::canonical(given, ec);
#endif
    if (!ec && !std::filesystem::is_directory(folder, ec) && !ec) {
        ec = std::make_error_code(std::errc::not_a_directory);
    }
    if (ec) {
        complain(given, ec == std::errc::not_a_directory ? "Not a folder" : ec.message());
        return std::nullopt;
    }
    return folder;
}

// Every folder listed before anything is written; a folder given twice is swept once.
std::optional<std::vector<ListedFolder>> listFolders(
    FileSystem& fileSystem, const std::vector<std::filesystem::path>& given, bool withLogSizes) {
    std::vector<ListedFolder> folders;
    for (const auto& path : given) {
        const auto folder = resolveFolder(path);
        if (!folder) {
            return std::nullopt;
        }
        ListedFolder listed(fileSystem, *folder, withLogSizes);
        if (listed.error() == std::errc::too_many_files_open ||
            listed.error() == std::errc::too_many_files_open_in_system) {
            // Every folder is held open until the report is written: the fault is their number.
            std::fprintf(stderr, "%s: out of file descriptors with %zu folders open: %s\n",
                         kProgram, folders.size(), listed.error().message().c_str());
            return std::nullopt;
        }
        if (listed.folder() == nullptr || listed.error()) {
            complain(*folder, listed.error().message());
            return std::nullopt;
        }
        const auto same = [&](const ListedFolder& other) {
            return other.folder()->identity() == listed.folder()->identity();
        };
        if (std::none_of(folders.begin(), folders.end(), same)) {
            folders.push_back(std::move(listed));
        }
    }
    return folders;
}

// Each log that cannot be read is named on standard error as the sweep meets it, once.
class CommandEvents final : public SweepEvents {
public:
    explicit CommandEvents(TerminalProgress* progress) : progress_(progress) {}

    void logOpened(const std::filesystem::path& folder, const ListedFile& log) override {
        if (progress_ != nullptr) {
            progress_->logOpened(folder, log);
        }
    }
    void bytesRead(std::size_t bytes) override {
        if (progress_ != nullptr) {
            progress_->bytesRead(bytes);
        }
    }
    void unreadable(const UnreadableLog& what) override {
        if (progress_ != nullptr) {
            progress_->clear();
        }
        complain(what.path, what.reason);
    }

private:
    TerminalProgress* progress_;
};

int sweep(const CommandLine& command) {
    const auto reportFolder =
        resolveFolder(command.reportFolder.empty() ? homeFolder() : command.reportFolder);
    if (!reportFolder) {
        return kFailed;
    }
    const bool showProgress = !command.quiet && VESK_ISATTY(stderr);
    auto fileSystem = makeNativeFileSystem();
    const auto folders = listFolders(*fileSystem, command.folders, showProgress);
    if (!folders) {
        return kFailed;
    }
    std::optional<TerminalProgress> progress;
    if (showProgress) {
        std::uint64_t bytes = 0;
        for (const auto& folder : *folders) {
            bytes += folder.logBytes();
        }
        progress.emplace(stderr, bytes);
    }
    std::vector<const ListedFolder*> swept;
    for (const auto& folder : *folders) {
        swept.push_back(&folder);
    }
    CommandEvents events(progress ? &*progress : nullptr);
    const SystemClock clock;
    const SweepOutcome outcome = Sweep(*fileSystem, clock, *reportFolder).run(swept, events);
    if (progress) {
        progress->finish();
    }

    if (const auto& failure = outcome.reportFailure) {
        complain(failure->path, failure->reason);
        if (!failure->keptIn.empty()) {
            std::fprintf(stderr, "%s: this run's findings are in %s\n", kProgram,
                         printable(failure->keptIn).c_str());
        }
        return kFailed;
    }
    if (!command.quiet) {
        std::string counts = counted(outcome.findings, "finding") + " from " +
                             counted(static_cast<std::uint64_t>(outcome.logsRead), "log");
        if (!outcome.unreadable.empty()) {
            counts += "; " + counted(outcome.unreadable.size(), "log") + " could not be read";
        }
        std::printf("Operation completed!\n%s\n%s\n", counts.c_str(),
                    printable(outcome.report).c_str());
    }
    return outcome.status() == SweepOutcome::Status::completed ? kAllRead : kSomeUnreadable;
}

int sweepOrTell(const std::vector<std::filesystem::path>& arguments) {
    std::string problem;
    const auto command = parseCommandLine(arguments, problem);
    if (!command) {
        return usageError(problem);
    }
    if (command->help) {
        std::fputs(helpText().c_str(), stdout);
        return kAllRead;
    }
    if (command->version) {
        std::printf("%s %s\n", kProgram, kVersion);
        return kAllRead;
    }
    return sweep(*command);
}

}  // namespace

int sweepCommand(const std::vector<std::filesystem::path>& arguments) {
#ifndef _WIN32
    // Output to a closed pipe, or past a file-size limit, fails its write and is named like any
    // other failure instead of killing the command midway.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // Each folder given is held open until the report is written.
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 &&
        descriptors.rlim_cur < descriptors.rlim_max) {
        descriptors.rlim_cur = descriptors.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &descriptors);
    }
#endif
    int status = kFailed;
    try {
        status = sweepOrTell(arguments);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", kProgram);
    }
    // What was printed must have reached standard output, as with any command-line tool.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write the output: %s\n", kProgram, std::strerror(errno));
        return kFailed;
    }
    return status;
}

}  // namespace vesk
