#include "command_common.h"

#include <algorithm>
#include <cstdio>

#include "command_line.h"
#include "command_platform.h"
#include "sweep/printable.h"

namespace vesk {

std::string complaint(const std::filesystem::path& path, const std::string& reason,
                      Priority priority) {
    return withPriority(stderr, priority,
                        std::string(kProgram) + ": " + printable(path) + ": " + reason + "\n");
}

void complain(const std::filesystem::path& path, const std::string& reason, Priority priority) {
    writeText(stderr, complaint(path, reason, priority));
}

std::string problemText(const std::string& problem) {
    return withPriority(stderr, Priority::error, std::string(kProgram) + ": " + problem + "\n");
}

void complainOf(const std::string& problem) {
    writeText(stderr, problemText(problem));
}

int usageError(const std::string& problem) {
    complainOf(problem + "\n" + usageLine() + "\nTry '" + kProgram + " --help'.");
    return kFailed;
}

namespace {

std::string counted(std::uint64_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

}  // namespace

std::optional<std::filesystem::path> resolveFolder(const std::filesystem::path& given) {
    std::error_code ec;
    auto folder = findFolder(given, ec);
    if (!ec && !std::filesystem::is_directory(folder, ec) && !ec) {
        ec = std::make_error_code(std::errc::not_a_directory);
    }
    if (ec) {
        complain(given, ec == std::errc::not_a_directory ? "Not a folder" : ec.message(),
                 Priority::error);
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
            complainOf("out of file descriptors with " + std::to_string(folders.size()) +
                       " folders open: " + listed.error().message());
            return std::nullopt;
        }
        if (listed.folder() == nullptr || listed.error()) {
            complain(*folder, listed.error().message(), Priority::error);
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

std::string reportComplaint(const ReportFailure& failure) {
    std::string text = complaint(failure.path, failure.reason, Priority::error);
    if (!failure.keptIn.empty()) {
        text += problemText("this run's findings are in " + printable(failure.keptIn));
    }
    return text;
}

void complainAboutReport(const ReportFailure& failure) {
    writeText(stderr, reportComplaint(failure));
}

std::string completionText(const SweepOutcome& outcome) {
    std::string counts = counted(outcome.findings, "finding") + " from " +
                         counted(static_cast<std::uint64_t>(outcome.logsRead), "log");
    if (!outcome.unreadable.empty()) {
        counts += "; " + counted(outcome.unreadable.size(), "log") + " could not be read";
    }
    return withPriority(
        stdout, Priority::info,
        "Operation completed!\n" + counts + "\n" + printable(outcome.report) + "\n");
}

ExitStatus exitStatus(SweepOutcome::Status status) {
    switch (status) {
        case SweepOutcome::Status::completed:
            return kAllRead;
        case SweepOutcome::Status::someUnreadable:
            return kSomeUnreadable;
        case SweepOutcome::Status::reportFailed:
        case SweepOutcome::Status::stopped:
        case SweepOutcome::Status::outOfDescriptors:
            break;
    }
    return kFailed;
}

void printCompletion(const SweepOutcome& outcome) {
    writeText(stdout, completionText(outcome));
}

}  // namespace vesk
