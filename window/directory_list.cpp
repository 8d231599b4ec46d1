#include "directory_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "window/native_path.h"

namespace {

constexpr int kPathRole = Qt::UserRole;

std::vector<std::filesystem::path> visibleSubfolders(const std::filesystem::path& folder,
                                                     std::error_code& ec) {
    std::vector<std::filesystem::path> names;
    std::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const auto name = it->path().filename();
        std::error_code kindError;
        if (name.native().front() != '.' && it->is_directory(kindError)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
        return native_path::displayName(a).compare(native_path::displayName(b),
                                                   Qt::CaseInsensitive) < 0;
    });
    return names;
}

// The folders from the drive's root down to the folder itself.
std::vector<std::filesystem::path> chainFromRoot(const std::filesystem::path& folder,
                                                 const std::filesystem::path& root) {
    std::vector<std::filesystem::path> chain{folder};
    for (auto at = folder; at != root && at.has_relative_path() && at != at.parent_path();) {
        at = at.parent_path();
        chain.push_back(at);
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

}  // namespace

DirectoryList::DirectoryList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(12);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    // Every level is always open, so no expand arrows: depth alone shows the nesting.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    connect(this, &QTreeWidget::itemDoubleClicked, this, &DirectoryList::openItem);
}

bool DirectoryList::setPath(const std::filesystem::path& folder, const std::filesystem::path& root,
                            std::error_code& ec) {
    const auto subfolders = visibleSubfolders(folder, ec);
    if (ec) {
        return false;
    }
    path_ = folder;
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* parentItem = nullptr;
    for (const auto& at : chainFromRoot(folder, root)) {
        const auto shown = parentItem == nullptr ? at : at.filename();
        auto* item =
            parentItem == nullptr ? new QTreeWidgetItem(this) : new QTreeWidgetItem(parentItem);
        item->setText(0, native_path::displayName(shown));
        item->setIcon(0, open);
        item->setData(0, kPathRole, native_path::toVariant(at));
        parentItem = item;
    }
    for (const auto& name : subfolders) {
        auto* item = new QTreeWidgetItem(parentItem);
        item->setText(0, native_path::displayName(name));
        item->setIcon(0, closed);
        item->setData(0, kPathRole, native_path::toVariant(folder / name));
    }
    expandAll();
    setCurrentItem(parentItem);
    emit changed();
    return true;
}

void DirectoryList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void DirectoryList::openItem(QTreeWidgetItem* item) {
    if (item != nullptr) {
        emit opened(native_path::fromVariant(item->data(0, kPathRole)));
    }
}
