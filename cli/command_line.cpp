#include "command_line.h"

#include <algorithm>
#include <functional>

#include "sweep/marker.h"
#include "sweep/printable.h"

namespace vesk {
namespace {

// An option that takes a value, as --name VALUE or --name=VALUE; false with the problem when the
// value is not one it takes.
struct ValueOption {
    std::string name;
    const char* value;  // what it needs, as a usage error names it
    std::function<bool(const std::filesystem::path&, std::string&)> take;
};

bool takeFolder(const std::string& option, std::filesystem::path& into,
                const std::filesystem::path& folder, std::string& problem) {
    if (folder.empty()) {
        problem = "the folder given to " + option + " is empty";
        return false;
    }
    into = folder;
    return true;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::filesystem::path>& arguments,
                                            std::string& problem) {
    CommandLine parsed;
    const std::vector<ValueOption> valueOptions = {
        {"--report-folder", "a folder",
         [&](const std::filesystem::path& value, std::string& why) {
             return takeFolder("--report-folder", parsed.reportFolder, value, why);
         }},
        {"--state-dir", "a folder",
         [&](const std::filesystem::path& value, std::string& why) {
             return takeFolder("--state-dir", parsed.stateFolder, value, why);
         }},
        {"--format", "a format",
         [&](const std::filesystem::path& value, std::string& why) {
             const std::string format = printable(value);
             if (format != "text" && format != "json") {
                 why = "unknown format '" + format + "' (text or json)";
                 return false;
             }
             parsed.format = format == "json" ? Format::json : Format::text;
             return true;
         }},
    };
    bool optionsEnded = false;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::string text = printable(*it);
        const auto option = std::find_if(valueOptions.begin(), valueOptions.end(), [&](auto& one) {
            return text == one.name || text.starts_with(one.name + "=");
        });
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
        } else if (option != valueOptions.end()) {
            const bool joined = text != option->name;
            if (!joined && std::next(it) == arguments.end()) {
                problem = option->name + " needs " + option->value;
                return std::nullopt;
            }
            const std::filesystem::path value =
                joined ? std::filesystem::path(it->native().substr(option->name.size() + 1))
                       : *++it;
            if (!option->take(value, problem)) {
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
    return "usage: veskparser-sweep [-q] [--follow] [--format FORMAT] [--report-folder DIR]\n"
           "                        [--state-dir DIR] [--] [FOLDER...]";
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
           "  --format FORMAT         text (the default), or json: every line on standard\n"
           "  --format=FORMAT         output is then a JSON object, each finding of the run\n"
           "                          (or each new one) with its log and offset, the summary,\n"
           "                          and each problem, which standard error names as well\n"
           "  --report-folder DIR     write the report into DIR instead of your home folder\n"
           "  --report-folder=DIR     (C:\\ on Windows)\n"
           "  --state-dir DIR         with --follow, keep its place in DIR: how far each log\n"
           "  --state-dir=DIR         was read and told, to read on from there at the next\n"
           "                          start (default: $STATE_DIRECTORY, else\n"
           "                          $XDG_STATE_HOME/veskparser, else\n"
           "                          ~/.local/state/veskparser; %LOCALAPPDATA%\\veskparser\n"
           "                          on Windows)\n"
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
           "     the output could not be written, or some of its lines were lost to a\n"
           "     reader that stalled: a sweep still replaced the report. With --follow: the\n"
           "     last publication failed, or standard output closed.\n";
}

}  // namespace vesk
