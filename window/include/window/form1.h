#pragma once

#include <QWidget>
#include <filesystem>
#include <optional>
#include <vector>

#include "presenter/sweep_run.h"
#include "window/mounted_drives.h"

class CaptionLabel;
class CommandButton;
class DirectoryList;
class DriveList;
class FileList;
class ProgressBar;
class SweepSignals;

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
    // Threads that read logs ahead; unset, one per core the process may use, less the sweep's own.
    std::optional<unsigned> readers = std::nullopt;
};

// The program's only window: the folder pickers, the three buttons, the progress bar and the
// labels. Find Cheaters sweeps on a thread of its own, which tells the window what to show
// through signals, so that the window answers while it sweeps.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(Form1Setup setup, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void openChosenDrive();
    void openFolder(const std::filesystem::path& folder);
    // The file list follows the folder list.
    void followFolder();
    void findCheaters();
    void showHelp();
    void exitProgram();
    void showListing(const std::filesystem::path& folder,
                     const std::vector<std::filesystem::path>& names);
    void setFindEnabled(bool enabled);
    void showCompletion(const QString& text, const QString& title);

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
    SweepSignals* sweepSignals_ = nullptr;
    // Last, so that a run still going is stopped before the rest of the window goes.
    vesk::SweepRun sweepRun_;
};
