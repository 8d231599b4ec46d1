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

inline constexpr const char* kProgram = "veskparser-sweep";

// "veskparser-sweep: PATH: REASON" on standard error, the path safe to show: a warning where the
// run goes on without the log or folder, an error where it cannot go on. Each as text too, its
// lines begun with their priority where the stream they are for is the journal.
void complain(const std::filesystem::path& path, const std::string& reason,
              Priority priority = Priority::warning);
std::string complaint(const std::filesystem::path& path, const std::string& reason,
                      Priority priority = Priority::warning);
// "veskparser-sweep: PROBLEM" on standard error, an error.
void complainOf(const std::string& problem);
std::string problemText(const std::string& problem);
int usageError(const std::string& problem);
// The report, and where the findings are when they were kept in its draft.
void complainAboutReport(const ReportFailure& failure);
std::string reportComplaint(const ReportFailure& failure);
// "Operation completed!", the counts, and the report's path, on standard output, for information.
void printCompletion(const SweepOutcome& outcome);
// How a run, or following, ended, as the command's exit status.
ExitStatus exitStatus(SweepOutcome::Status status);
std::string completionText(const SweepOutcome& outcome);

std::optional<std::filesystem::path> resolveFolder(const std::filesystem::path& given);
std::optional<std::vector<ListedFolder>> listFolders(
    FileSystem& fileSystem, const std::vector<std::filesystem::path>& given, bool withLogSizes);

}  // namespace vesk
