#include "cli/sweep_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "sweep/clock.h"
#include "sweep/home_folder.h"
#include "sweep/listed_folder.h"
#include "sweep/printable.h"
#include "sweep/sweep.h"
#include "sweep/sweep_run.h"
#include "terminal_progress.h"
#include "vesk/version.h"

#ifdef _WIN32
#include <io.h>
#define VESK_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define VESK_ISATTY(f) ::isatty(::fileno(f))
#endif

namespace vesk {
namespace {

constexpr const char* kProgram = "veskparser-sweep";
constexpr const char* kUsage =
    "usage: veskparser-sweep [--quiet] [--report-folder DIR] [FOLDER...]";
constexpr const char* kHelp =
    "usage: veskparser-sweep [--quiet] [--report-folder DIR] [FOLDER...]\n"
    "\n"
    "Sweeps every *.log of each FOLDER (default: the current folder) for cheater findings, as\n"
    "the window's Find Cheaters does: each line that follows a line beginning with\n"
    "\"ScriptLog: ####\" goes into the day's report, VOReradivu_yyyy-mm-dd.log. The folders are\n"
    "swept in the order given into one report, which replaces the day's earlier one only once\n"
    "it is whole.\n"
    "\n"
    "  -q, --quiet             print nothing but problems, which go to standard error\n"
    "  --report-folder DIR     write the report into DIR instead of your home folder\n"
    "                          (C:\\ on Windows)\n"
    "  --help                  show this text\n"
    "  --version               show the version\n"
    "\n"
    "At the end it prints the completion text, how many findings went into the report from how\n"
    "many logs, and the report's full path. Where standard error is a terminal it shows the\n"
    "progress there.\n"
    "\n"
    "Exit status: 0 every log was read; 1 the report was written but some logs could not be\n"
    "read; 2 the report could not be written, a FOLDER or DIR is not a folder, the output\n"
    "could not be written, or the arguments are wrong.\n";

// Messages use CR to start a line, as message boxes do.
std::string asLines(std::string text) {
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

void complain(const std::filesystem::path& path, const std::string& reason) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, printable(path).c_str(), reason.c_str());
}

int usageError(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%s\n", kProgram, problem.c_str(), kUsage);
    return kFailed;
}

std::string counted(std::uint64_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

struct Arguments {
    std::vector<std::filesystem::path> folders;
    std::filesystem::path reportFolder = homeFolder();
    bool quiet = false;
    bool help = false;
    bool version = false;
};

std::optional<Arguments> parse(const std::vector<std::filesystem::path>& arguments,
                               std::string& problem) {
    const std::string reportOption = "--report-folder";
    Arguments parsed;
    bool optionsEnded = false;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::string text = printable(*it);
        if (optionsEnded || text.size() < 2 || text.front() != '-') {
            parsed.folders.push_back(*it);
        } else if (text == "--") {
            optionsEnded = true;
        } else if (text == "--help") {
            parsed.help = true;
        } else if (text == "--version") {
            parsed.version = true;
        } else if (text == "-q" || text == "--quiet") {
            parsed.quiet = true;
        } else if (text == reportOption) {
            if (std::next(it) == arguments.end()) {
                problem = reportOption + " needs a folder";
                return std::nullopt;
            }
            parsed.reportFolder = *++it;
        } else if (text.starts_with(reportOption + "=")) {
            parsed.reportFolder = it->native().substr(reportOption.size() + 1);
        } else {
            problem = "unknown option " + text;
            return std::nullopt;
        }
    }
    if (parsed.folders.empty()) {
        parsed.folders.emplace_back(".");
    }
    return parsed;
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

int sweep(const Arguments& arguments) {
    const auto reportFolder = resolveFolder(arguments.reportFolder);
    if (!reportFolder) {
        return kFailed;
    }
    const bool showProgress = !arguments.quiet && VESK_ISATTY(stderr);
    auto fileSystem = makeNativeFileSystem();
    const auto folders = listFolders(*fileSystem, arguments.folders, showProgress);
    if (!folders) {
        return kFailed;
    }
    std::optional<TerminalProgress> progress;
    SweepEvents quiet;
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
    const SystemClock clock;
    const SweepOutcome outcome =
        Sweep(*fileSystem, clock, *reportFolder)
            .run(swept, progress ? static_cast<SweepEvents&>(*progress) : quiet);
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
    for (const auto& log : outcome.unreadable) {
        complain(log.path, log.reason);
    }
    if (!arguments.quiet) {
        std::printf("%s\n%s from %s\n%s\n", asLines(completionText(outcome)).c_str(),
                    counted(outcome.findings, "finding").c_str(),
                    counted(static_cast<std::uint64_t>(outcome.logsRead), "log").c_str(),
                    printable(outcome.report).c_str());
    }
    return outcome.status() == SweepOutcome::Status::completed ? kAllRead : kSomeUnreadable;
}

int sweepOrTell(const std::vector<std::filesystem::path>& arguments) {
    std::string problem;
    const auto parsed = parse(arguments, problem);
    if (!parsed) {
        return usageError(problem);
    }
    if (parsed->help) {
        std::fputs(kHelp, stdout);
        return kAllRead;
    }
    if (parsed->version) {
        std::printf("veskparser %s\n", kVersion);
        return kAllRead;
    }
    return sweep(*parsed);
}

}  // namespace

int sweepCommand(const std::vector<std::filesystem::path>& arguments) {
    removeDraftOnInterrupt();
    const int status = sweepOrTell(arguments);
    // What was printed must have reached standard output, as with any command-line tool.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write the output: %s\n", kProgram, std::strerror(errno));
        return kFailed;
    }
    return status;
}

}  // namespace vesk
