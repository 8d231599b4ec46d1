#include "file_list.h"

#include <QStringList>

#include "sweep/file_system.h"
#include "window/native_path.h"

FileList::FileList(vesk::FileSystem& fileSystem, QWidget* parent)
    : QListWidget(parent), fileSystem_(fileSystem) {
    setFocusPolicy(Qt::NoFocus);
}

bool FileList::setPath(const std::filesystem::path& folder, std::error_code& ec) {
    auto names = fileSystem_.listFiles(folder, ec);
    if (ec) {
        return false;
    }
    showFiles(folder, names);
    return true;
}

void FileList::showFiles(const std::filesystem::path& folder,
                         const std::vector<std::filesystem::path>& names) {
    path_ = folder;
    // Read again at every sweep: an unchanged folder leaves the widget alone, since filling it
    // item by item costs more than the sweep itself for tens of thousands of logs.
    if (names == names_) {
        return;
    }
    names_ = names;
    QStringList items;
    items.reserve(static_cast<qsizetype>(names_.size()));
    for (const auto& name : names_) {
        items.append(native_path::displayName(name));
    }
    clear();
    addItems(items);
}

std::filesystem::path FileList::entry(int index) const {
    return names_.at(static_cast<std::size_t>(index));
}
