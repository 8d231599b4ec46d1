#pragma once

#include <QListWidget>
#include <filesystem>
#include <system_error>
#include <vector>

namespace vesk {
class FileSystem;
}

// The names of the ordinary, visible files of one folder, as they were when its path was set.
class FileList : public QListWidget {
    Q_OBJECT

public:
    FileList(vesk::FileSystem& fileSystem, QWidget* parent);

    // Reads the folder; on failure the list keeps what it had.
    bool setPath(const std::filesystem::path& folder, std::error_code& ec);
    // The folder's names as another reading of it found them.
    void showFiles(const std::filesystem::path& folder,
                   const std::vector<std::filesystem::path>& names);
    const std::filesystem::path& path() const { return path_; }
    int entryCount() const { return static_cast<int>(names_.size()); }
    std::filesystem::path entry(int index) const;

private:
    vesk::FileSystem& fileSystem_;
    std::filesystem::path path_;
    std::vector<std::filesystem::path> names_;
};
