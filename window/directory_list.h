#pragma once

#include <QTreeWidget>
#include <filesystem>
#include <system_error>

// The chosen folder with its parents up to the drive's root above it and its visible subfolders
// below. Double-click or Enter opens a folder; moving the highlight alone changes nothing.
class DirectoryList : public QTreeWidget {
    Q_OBJECT

public:
    explicit DirectoryList(QWidget* parent);

    // Shows the folder, whose drive starts at root; on failure the list stays as it was.
    bool setPath(const std::filesystem::path& folder, const std::filesystem::path& root,
                 std::error_code& ec);
    const std::filesystem::path& path() const { return path_; }

signals:
    // The path changed, by the operator or by the program.
    void changed();
    // The operator opened a folder.
    void opened(const std::filesystem::path& folder);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openItem(QTreeWidgetItem* item);

    std::filesystem::path path_;
};
