#include "command_line.h"

#include <cstdio>
#include <string>

#include "sweep/home_folder.h"
#include "sweep/printable.h"
#include "vesk/version.h"

namespace {

constexpr const char* kUsage = "Usage: veskparser [options] [folder]\n";
constexpr const char* kHelp =
    "Gathers cheater findings from game server logs, in a window.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Displays help on commandline options.\n"
    "  -v, --version  Displays version information.\n"
    "\n"
    "Arguments:\n"
    "  folder         The folder to open (default: your home folder).\n";

bool isOption(const std::filesystem::path& argument) {
    const auto& text = argument.native();
    return text.size() > 1 && text.front() == '-';
}

void refuse(const std::string& problem, bool withUsage, int& status) {
    std::fprintf(stderr, "veskparser: %s\n", problem.c_str());
    if (withUsage) {
        std::fprintf(stderr, "%sTry 'veskparser --help'.\n", kUsage);
    }
    status = 2;
}

}  // namespace

std::optional<std::filesystem::path> folderToOpen(
    const std::vector<std::filesystem::path>& arguments, int& status) {
    std::vector<std::filesystem::path> folders;
    bool optionsEnded = false;
    for (const auto& argument : arguments) {
        if (optionsEnded || !isOption(argument)) {
            folders.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            std::printf("%s%s", kUsage, kHelp);
            return std::nullopt;
        } else if (argument == "-v" || argument == "--version") {
            std::printf("veskparser %s\n", vesk::kVersion);
            return std::nullopt;
        } else {
            refuse("unknown option '" + vesk::printable(argument) + "'", true, status);
            return std::nullopt;
        }
    }
    if (folders.empty()) {
        return vesk::homeFolder();
    }
    std::error_code ec;
    if (folders.size() > 1) {
        refuse("one folder at most", true, status);
    } else if (!std::filesystem::is_directory(folders.front(), ec)) {
        refuse(vesk::printable(folders.front()) + ": " + (ec ? ec.message() : "Not a folder"),
               false, status);
    } else {
        return std::filesystem::absolute(folders.front(), ec);
    }
    return std::nullopt;
}
