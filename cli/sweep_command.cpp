#include "sweep_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "clock.h"
#include "home_folder.h"
#include "printable.h"
#include "sweep_run.h"
#include "terminal_view.h"

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
constexpr const char* kUsage = "usage: veskparser-sweep [--help] [--version] [FOLDER]";
constexpr const char* kHelp =
    "usage: veskparser-sweep [--help] [--version] [FOLDER]\n"
    "\n"
    "Sweeps every *.log of FOLDER (default: the current folder) for cheater findings, as the\n"
    "window's Find Cheaters does: each line that follows a line beginning with\n"
    "\"ScriptLog: ####\" goes into the day's report, VOReradivu_yyyy-mm-dd.log, in your home\n"
    "folder (C:\\ on Windows). The report is rewritten by every run of the day.\n"
    "\n"
    "Exit status: 0 every log was read; 1 the report was written but some logs could not be\n"
    "read; 2 the report could not be written, FOLDER is not a folder, or the arguments are "
    "wrong.\n";

// Messages use CR to start a line, as message boxes do.
std::string asLines(std::string text) {
    for (char& c : text) {
        if (c == '\r') {
            c = '\n';
        }
    }
    return text;
}

void complain(const std::filesystem::path& path, const std::string& reason) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, printable(path).c_str(), reason.c_str());
}

int usageError(const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n%s\n", kProgram, problem.c_str(), kUsage);
    return kFailed;
}

struct Arguments {
    std::filesystem::path folder = ".";
    bool help = false;
    bool version = false;
};

std::optional<Arguments> parse(const std::vector<std::filesystem::path>& arguments,
                               std::string& problem) {
    Arguments parsed;
    bool folderGiven = false;
    bool optionsEnded = false;
    for (const auto& argument : arguments) {
        const std::string text = printable(argument);
        if (!optionsEnded && text == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && text == "--help") {
            parsed.help = true;
        } else if (!optionsEnded && text == "--version") {
            parsed.version = true;
        } else if (!optionsEnded && text.size() > 1 && text.front() == '-') {
            problem = "unknown option " + text;
            return std::nullopt;
        } else if (folderGiven) {
            problem = "only one FOLDER can be swept";
            return std::nullopt;
        } else {
            parsed.folder = argument;
            folderGiven = true;
        }
    }
    return parsed;
}

// The folder a path names, found the way the system finds it: on Linux through every link
// along the way, so that link/.. is the parent of the link's target and typo/.. is no folder; on
// Windows, whose paths lose ".." before any lookup, as Windows does.
std::filesystem::path resolveFolder(const std::filesystem::path& given, std::error_code& ec) {
#ifdef _WIN32
    auto folder = std::filesystem::absolute(given, ec).lexically_normal();
#else
    auto folder = std::filesystem::canonical(given, ec);
#endif
    if (!ec && !std::filesystem::is_directory(folder, ec) && !ec) {
        ec = std::make_error_code(std::errc::not_a_directory);
    }
    return folder;
}

int sweep(const std::filesystem::path& given) {
    std::error_code ec;
    const std::filesystem::path folder = resolveFolder(given, ec);
    if (ec) {
        complain(given, ec == std::errc::not_a_directory ? "Not a folder" : ec.message());
        return kFailed;
    }
    auto fileSystem = makeNativeFileSystem();
    auto entries = fileSystem->listFiles(folder, ec);
    if (ec) {
        complain(folder, ec.message());
        return kFailed;
    }
    TerminalView view(folder, std::move(entries), VESK_ISATTY(stderr) ? stderr : nullptr);
    const SystemClock clock;
    SweepRun run(*fileSystem, clock, homeFolder());
    const SweepOutcome outcome = run.run(view);

    if (outcome.status == SweepOutcome::Status::reportFailed) {
        complain(outcome.report, outcome.reportError);
        if (!outcome.keptIn.empty()) {
            std::fprintf(stderr, "%s: this run's findings are in %s\n", kProgram,
                         printable(outcome.keptIn).c_str());
        }
        return kFailed;
    }
    for (const auto& log : outcome.unreadable) {
        complain(log.path, log.reason);
    }
    std::printf("%s\n%s\n", asLines(outcome.message).c_str(), printable(outcome.report).c_str());
    return outcome.status == SweepOutcome::Status::completed ? kAllRead : kSomeUnreadable;
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
        std::puts("veskparser 1.00");
        return kAllRead;
    }
    return sweep(parsed->folder);
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
