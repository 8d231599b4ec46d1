#include "command_common.h"

#include <algorithm>
#include <cstdio>
#include <memory>

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

namespace {

// A folder opened, not listed: enough to know that it can be read, and which folder it is.
class OpenedFolder {
public:
    OpenedFolder(FileSystem& fs, std::filesystem::path directory)
        : directory_(std::move(directory)), folder_(fs.openFolder(directory_, error_)) {}

    const std::filesystem::path& directoryPath() const { return directory_; }
    LogFolder* folder() const { return folder_.get(); }
    const std::error_code& error() const { return error_; }

private:
    std::filesystem::path directory_;
    std::error_code error_;  // before folder_, whose opening sets it
    std::unique_ptr<LogFolder> folder_;
};

// Every folder had by `have` (listed, or opened) before anything is written; a folder given
// twice is taken once. None where one cannot be had, named.
template <typename Folder, typename Have>
std::optional<std::vector<Folder>> haveFolders(const std::vector<std::filesystem::path>& given,
                                               CommandOutput& output, Have have) {
    std::vector<Folder> folders;
    for (const auto& path : given) {
        const auto folder = resolveFolder(path, output);
        if (!folder) {
            return std::nullopt;
        }
        Folder had = have(*folder);
        if (had.error() == std::errc::too_many_files_open ||
            had.error() == std::errc::too_many_files_open_in_system) {
            // Every folder is held open at once: the fault is their number.
            output.error("out of file descriptors with " + std::to_string(folders.size()) +
                         " folders open: " + had.error().message());
            return std::nullopt;
        }
        if (had.folder() == nullptr || had.error()) {
            output.error(*folder, had.error().message());
            return std::nullopt;
        }
        const auto same = [&](const Folder& other) {
            return other.folder()->identity() == had.folder()->identity();
        };
        if (std::none_of(folders.begin(), folders.end(), same)) {
            folders.push_back(std::move(had));
        }
    }
    return folders;
}

}  // namespace

std::optional<std::vector<ListedFolder>> listFolders(
    FileSystem& fileSystem, const std::vector<std::filesystem::path>& given, LogSizes sizes,
    CommandOutput& output) {
    return haveFolders<ListedFolder>(given, output, [&](const std::filesystem::path& folder) {
        return ListedFolder(fileSystem, folder, sizes);
    });
}

std::optional<std::vector<std::filesystem::path>> openFolders(
    FileSystem& fileSystem, const std::vector<std::filesystem::path>& given,
    CommandOutput& output) {
    const auto opened = haveFolders<OpenedFolder>(
        given, output,
        [&](const std::filesystem::path& folder) { return OpenedFolder(fileSystem, folder); });
    if (!opened) {
        return std::nullopt;
    }
    std::vector<std::filesystem::path> folders;
    for (const auto& folder : *opened) {
        folders.push_back(folder.directoryPath());
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
