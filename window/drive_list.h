#pragma once

#include <QComboBox>
#include <filesystem>
#include <map>
#include <vector>

#include "window/mounted_drives.h"

// The machine's drives. Each remembers the last folder opened on it, where a pick of the drive
// goes back to.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget* parent);

    void setDrives(std::vector<Drive> drives);
    // Shows the drive that holds the folder.
    void showDriveOf(const std::filesystem::path& folder);
    void rememberFolder(const std::filesystem::path& folder);
    std::filesystem::path rootOf(const std::filesystem::path& folder) const;
    // The last folder opened on the chosen drive in this run, else its root.
    std::filesystem::path chosenFolder() const;

private:
    std::vector<Drive> drives_;
    std::map<std::filesystem::path, std::filesystem::path> lastFolders_;
};
