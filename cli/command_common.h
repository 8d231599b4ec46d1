#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/sweep_command.h"
#include "journal.h"
#include "sweep/file_system.h"
#include "sweep/listed_folder.h"
#include "sweep/sweep.h"

// What veskparser-sweep's ways of running share: how it names its folders and its problems.
namespace vesk {

class CommandOutput;

inline constexpr const char* kProgram = "veskparser-sweep";

// "veskparser-sweep: PROBLEM" on standard error, an error, before any output is set up or after
// it can no longer be written.
void complainOf(const std::string& problem);
int usageError(const std::string& problem);
// How a run, or following, ended, as the command's exit status.
ExitStatus exitStatus(SweepOutcome::Status status);

std::optional<std::filesystem::path> resolveFolder(const std::filesystem::path& given,
                                                   CommandOutput& output);
// Each folder given, listed before anything is written; a folder given twice is swept once. None
// where one cannot be listed, named.
std::optional<std::vector<ListedFolder>> listFolders(
    FileSystem& fileSystem, const std::vector<std::filesystem::path>& given, LogSizes sizes,
    CommandOutput& output);
// The same, each folder only opened, not listed, and let go: its path.
std::optional<std::vector<std::filesystem::path>> openFolders(
    FileSystem& fileSystem, const std::vector<std::filesystem::path>& given, CommandOutput& output);

}  // namespace vesk
