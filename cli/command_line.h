#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

// How findings, the summary and the problems are written on standard output.
enum class Format { text, json };

// What veskparser-sweep was asked to do.
struct CommandLine {
    std::vector<std::filesystem::path> folders;  // the current folder when none is given
    std::filesystem::path reportFolder;          // empty: the home folder
    std::filesystem::path stateFolder;           // empty: the user's or the unit's (--follow)
    Format format = Format::text;
    bool quiet = false;
    bool follow = false;
    bool help = false;
    bool version = false;
};

// The arguments after the program's name; on a usage error, nothing and the problem.
std::optional<CommandLine> parseCommandLine(const std::vector<std::filesystem::path>& arguments,
                                            std::string& problem);

std::string usageLine();
std::string helpText();

}  // namespace vesk
