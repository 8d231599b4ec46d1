#include "drive_list.h"

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    setInsertPolicy(QComboBox::NoInsert);
    setEditable(false);
}

void DriveList::setDrives(std::vector<Drive> drives) {
    drives_ = std::move(drives);
    clear();
    for (const auto& drive : drives_) {
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon),
                QString::fromUtf8(drive.text().c_str()));
    }
}

void DriveList::showDriveOf(const std::filesystem::path& folder) {
    const int index = driveOf(drives_, folder);
    if (index >= 0) {
        setCurrentIndex(index);
    }
}

void DriveList::rememberFolder(const std::filesystem::path& folder) {
    const int index = driveOf(drives_, folder);
    if (index >= 0) {
        lastFolders_[drives_[static_cast<std::size_t>(index)].root] = folder;
    }
}

std::filesystem::path DriveList::rootOf(const std::filesystem::path& folder) const {
    const int index = driveOf(drives_, folder);
    return index >= 0 ? drives_[static_cast<std::size_t>(index)].root : folder.root_path();
}

std::filesystem::path DriveList::chosenFolder() const {
    const int index = currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= drives_.size()) {
        return {};
    }
    const auto& root = drives_[static_cast<std::size_t>(index)].root;
    const auto last = lastFolders_.find(root);
    return last != lastFolders_.end() ? last->second : root;
}
