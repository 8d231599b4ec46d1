#include "command_line.h"

#include "sweep/marker.h"
#include "sweep/printable.h"

namespace vesk {

std::optional<CommandLine> parseCommandLine(const std::vector<std::filesystem::path>& arguments,
                                            std::string& problem) {
    const std::string reportOption = "--report-folder";
    CommandLine parsed;
    const auto setReportFolder = [&](std::filesystem::path folder) {
        if (folder.empty()) {
            problem = "the folder given to " + reportOption + " is empty";
            return false;
        }
        parsed.reportFolder = std::move(folder);
        return true;
    };
    bool optionsEnded = false;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::string text = printable(*it);
        if (optionsEnded || text.size() < 2 || text.front() != '-') {
            parsed.folders.push_back(*it);
        } else if (text == "--") {
            optionsEnded = true;
        } else if (text == "-h" || text == "--help") {
            parsed.help = true;
        } else if (text == "--version") {
            parsed.version = true;
        } else if (text == "-q" || text == "--quiet") {
            parsed.quiet = true;
        } else if (text == "--follow") {
            parsed.follow = true;
        } else if (text == reportOption) {
            if (std::next(it) == arguments.end()) {
                problem = reportOption + " needs a folder";
                return std::nullopt;
            }
            if (!setReportFolder(*++it)) {
                return std::nullopt;
            }
        } else if (text.starts_with(reportOption + "=")) {
            if (!setReportFolder(it->native().substr(reportOption.size() + 1))) {
                return std::nullopt;
            }
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

std::string usageLine() {
    return "usage: veskparser-sweep [-q] [--follow] [--report-folder DIR] [--] [FOLDER...]";
}

std::string helpText() {
    return usageLine() +
           "\n"
           "       veskparser-sweep -h | --help | --version\n"
           "\n"
           "Sweeps every *.log of each FOLDER (default: the current folder) for cheater findings,\n"
           "as the window's Find Cheaters does: each line that follows a line beginning with\n"
           "\"" +
           std::string(kMarker) +
           "\" goes into the day's report, VOReradivu_yyyy-mm-dd.log. The folders are\n"
           "swept in the order given into one report, which replaces the day's earlier one only\n"
           "once it is whole.\n"
           "\n"
           "  -q, --quiet             print nothing but problems, which go to standard error\n"
           "  --follow                after the sweep, keep the report what a sweep would write\n"
           "                          while the servers write, and print each new finding as\n"
           "                          LOG:LINE the moment its line ends; SIGINT, SIGTERM or\n"
           "                          SIGHUP end it with the report published\n"
           "  --report-folder DIR     write the report into DIR instead of your home folder\n"
           "  --report-folder=DIR     (C:\\ on Windows)\n"
           "  --                      take every argument after it as a FOLDER\n"
           "  -h, --help              show this text\n"
           "  --version               show the program's name and version\n"
           "\n"
           "Each log that cannot be read is named on standard error with the reason. At the end\n"
           "the command prints \"Operation completed!\", how many findings went into the report\n"
           "from how many logs (and how many logs could not be read), and the report's full\n"
           "path. Where standard error is a terminal it shows the progress there.\n"
           "\n"
           "Exit status:\n"
           "  0  every log was read; the report was replaced (with --follow: at the end).\n"
           "  1  some logs could not be read; the report was replaced with the findings of the\n"
           "     others. With --follow: some log or FOLDER could not be read at the end.\n"
           "  2  the arguments are wrong, or a FOLDER or DIR is not a folder: nothing was\n"
           "     written. Or the report could not be written: the day's earlier report is left\n"
           "     as it was, and where the findings are kept in a draft, the draft is named. Or\n"
           "     the output could not be written: a sweep still replaced the report. With\n"
           "     --follow: the last publication failed, or standard output closed.\n";
}

}  // namespace vesk
