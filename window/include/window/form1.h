#pragma once

#include <QWidget>
#include <filesystem>
#include <optional>
#include <vector>

#include "presenter/sweep_view.h"
#include "window/mounted_drives.h"

class CaptionLabel;
class CommandButton;
class DirectoryList;
class DriveList;
class FileList;
class ProgressBar;

namespace vesk {
class Clock;
class FileSystem;
}  // namespace vesk

// Where Form1 finds the world: the file system, the clock, the drives and its two fixed folders.
struct Form1Setup {
    vesk::FileSystem& fileSystem;
    const vesk::Clock& clock;
    std::filesystem::path reportFolder;
    std::filesystem::path startFolder;
    std::vector<Drive> drives;
    // Threads that read logs ahead; unset, as many as the machine has cores idle at the click.
    std::optional<unsigned> readers = std::nullopt;
};

// The program's only window: the folder pickers, the three buttons, the progress bar and the
// labels. A sweep run sees it through SweepView.
class Form1 : public QWidget, public vesk::SweepView {
    Q_OBJECT

public:
    explicit Form1(Form1Setup setup, QWidget* parent = nullptr);

    void showFiles(const std::filesystem::path& folder,
                   const std::vector<std::filesystem::path>& names) override;
    void setFindEnabled(bool enabled) override;
    float progressValue() const override;
    void setProgressValue(float value) override;
    void showMessage(const std::string& text, const std::string& title) override;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void openChosenDrive();
    void openFolder(const std::filesystem::path& folder);
    // The file list follows the folder list.
    void followFolder();
    void findCheaters();
    void showHelp();
    void exitProgram();

private:
    void createControls();
    void createLabels();
    void setTabOrder();
    void openStartFolder();
    void complainAbout(const std::filesystem::path& folder, const std::error_code& ec);

    Form1Setup setup_;
    bool loaded_ = false;
    bool refocusFind_ = false;

    DirectoryList* dir1_ = nullptr;
    DriveList* drive1_ = nullptr;
    FileList* file1_ = nullptr;
    CommandButton* command1_ = nullptr;
    CommandButton* command2_ = nullptr;
    CommandButton* command3_ = nullptr;
    ProgressBar* progressBar1_ = nullptr;
    std::vector<CaptionLabel*> labels_;
};
