#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "sweep/file_system.h"

namespace vesk {

// The day's report, which is no log where it lies among them: its folder and its name.
struct ReportPlace {
    FileIdentity folder;
    std::filesystem::path name;
};

// A folder held open with the ordinary, visible files it held when it was listed, in name order:
// the logs a sweep reads, taken in one reading of the folder. Names are in the order the original
// platform's file system lists them, whatever system this is: ASCII letters compared as
// capitals, every other byte (or UTF-16 unit on Windows) as it is.
class ListedFolder {
public:
    ListedFolder(FileSystem& fs, std::filesystem::path directory, LogSizes sizes);

    const std::filesystem::path& directoryPath() const { return directory_; }
    // Null when the folder could not be opened.
    LogFolder* folder() const { return folder_.get(); }
    // Every file listed, in name order.
    const std::vector<ListedFile>& files() const { return files_; }
    // The files that match "*.log", less the report where it lies among them, and how long they
    // were when listed.
    std::vector<const ListedFile*> logs(const ReportPlace& report = {}) const;
    std::uint64_t logBytes() const;
    // Why the folder could not be opened or listed whole, if it could not.
    const std::error_code& error() const { return error_; }

private:
    std::filesystem::path directory_;
    std::error_code error_;  // before folder_, whose opening sets it
    std::unique_ptr<LogFolder> folder_;
    std::vector<ListedFile> files_;
};

}  // namespace vesk
