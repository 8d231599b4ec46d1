#include "file_list.h"

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
    path_ = folder;
    names_ = std::move(names);
    clear();
    for (const auto& name : names_) {
        addItem(native_path::displayName(name));
    }
    return true;
}

std::filesystem::path FileList::entry(int index) const {
    return names_.at(static_cast<std::size_t>(index));
}
