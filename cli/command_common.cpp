#include "command_common.h"

#include <algorithm>
#include <cstdio>

#include "command_line.h"
#include "command_output.h"
#include "command_platform.h"
#include "sweep/printable.h"

namespace vesk {

void complainOf(const std::string& problem) {
    writeLines(stderr, Priority::error, std::string(kProgram) + ": " + problem + "\n");
}

int usageError(const std::string& problem) {
    complainOf(problem + "\n" + usageLine() + "\nTry '" + kProgram + " --help'.");
    return kFailed;
}

std::optional<std::filesystem::path> resolveFolder(const std::filesystem::path& given,
                                                   CommandOutput& output) {
    std::error_code ec;
    auto folder = findFolder(given, ec);
    if (!ec && !std::filesystem::is_directory(folder, ec) && !ec) {
        ec = std::make_error_code(std::errc::not_a_directory);
    }
    if (ec) {
        output.error(given, ec == std::errc::not_a_directory ? "Not a folder" : ec.message());
        return std::nullopt;
    }
    return folder;
}

// Every folder listed before anything is written; a folder given twice is swept once.
std::optional<std::vector<ListedFolder>> listFolders(
    FileSystem& fileSystem, const std::vector<std::filesystem::path>& given, LogSizes sizes,
    CommandOutput& output) {
    std::vector<ListedFolder> folders;
    for (const auto& path : given) {
        const auto folder = resolveFolder(path, output);
        if (!folder) {
            return std::nullopt;
        }
        ListedFolder listed(fileSystem, *folder, sizes);
        if (listed.error() == std::errc::too_many_files_open ||
            listed.error() == std::errc::too_many_files_open_in_system) {
            // Every folder is held open until the report is written: the fault is their number.
            output.error("out of file descriptors with " + std::to_string(folders.size()) +
                         " folders open: " + listed.error().message());
            return std::nullopt;
        }
        if (listed.folder() == nullptr || listed.error()) {
            output.error(*folder, listed.error().message());
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

}  // namespace vesk
