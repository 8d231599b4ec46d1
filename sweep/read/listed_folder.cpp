#include "sweep/listed_folder.h"

#include "read/log_name.h"
#include "read/name_order.h"

namespace vesk {

ListedFolder::ListedFolder(FileSystem& fs, std::filesystem::path directory, LogSizes sizes)
    : directory_(std::move(directory)), folder_(fs.openFolder(directory_, error_)) {
    if (folder_ != nullptr) {
        files_ = folder_->listFiles(sizes, error_);
    }
    sortByName(files_, &ListedFile::name);
}

std::vector<const ListedFile*> ListedFolder::logs(const ReportPlace& report) const {
    const bool reportHere =
        folder_ != nullptr && report.folder.known() && folder_->identity() == report.folder;
    std::vector<const ListedFile*> logs;
    for (const auto& file : files_) {
        if (hasLogExtension(
                std::basic_string_view<std::filesystem::path::value_type>(file.name.native())) &&
            !(reportHere && sameFileName(file.name, report.name))) {
            logs.push_back(&file);
        }
    }
    return logs;
}

std::uint64_t ListedFolder::logBytes() const {
    std::uint64_t bytes = 0;
    for (const ListedFile* log : logs()) {
        bytes += log->size;
    }
    return bytes;
}

}  // namespace vesk
