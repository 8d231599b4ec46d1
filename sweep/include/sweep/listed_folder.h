#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "sweep/file_system.h"
#include "sweep/sweep_view.h"

namespace vesk {

// A folder held open with the ordinary, visible files it held when it was listed: the file list
// that a run counts and the logs it reads, taken in one reading of the folder.
class ListedFolder final : public FolderEntries {
public:
    ListedFolder(FileSystem& fs, std::filesystem::path directory, bool withLogSizes);

    int entryCount() const override { return static_cast<int>(files_.size()); }
    std::filesystem::path entry(int index) const override;
    std::filesystem::path directoryPath() const override { return directory_; }

    // Null when the folder could not be opened.
    LogFolder* folder() const { return folder_.get(); }
    // The files that match "*.log", and how long they were when listed.
    std::vector<const ListedFile*> logs() const;
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
