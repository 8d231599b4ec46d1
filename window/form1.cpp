#include "window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QShowEvent>
#include <utility>

#include "caption_label.h"
#include "command_button.h"
#include "directory_list.h"
#include "drive_list.h"
#include "file_list.h"
#include "help_text.h"
#include "message_box.h"
#include "presenter/completion_text.h"
#include "progress_bar.h"
#include "sweep/printable.h"
#include "sweep_signals.h"
#include "twips.h"
#include "window/font_faces.h"

namespace {

constexpr QSize kClientSize(twipsToPixels(8925), twipsToPixels(5295));

// Stand-ins for the makers' contact details, in names and addresses reserved for examples, short
// enough to fit their labels at the window's font.
const QString kClanName = QStringLiteral("VESK");
const QString kWebAddress = QStringLiteral("www.vesk.test");
const QString kChatServer = QStringLiteral("irc.vesk.test");
const QString kChatChannel = QStringLiteral("vesk");
const QString kGameServer = QStringLiteral("192.0.2.10:7777");
const QString kMailAddress = QStringLiteral("op@vesk.test");

}  // namespace

Form1::Form1(Form1Setup setup, QWidget* parent)
    : QWidget(parent),
      setup_(std::move(setup)),
      sweepSignals_(new SweepSignals(this)),
      sweepRun_(setup_.fileSystem, setup_.clock, setup_.reportFolder, {.readers = setup_.readers}) {
    setWindowTitle(QStringLiteral("VESK Parser - By Orlam"));
    QFont face = font();
    face.setFamilies(kSansSerif);
    face.setPointSizeF(8.0);
    setFont(face);
    setFixedSize(kClientSize);

    createControls();
    createLabels();
    setTabOrder();

    connect(drive1_, &QComboBox::activated, this, &Form1::openChosenDrive);
    connect(dir1_, &DirectoryList::opened, this, &Form1::openFolder);
    connect(dir1_, &DirectoryList::changed, this, &Form1::followFolder);
    connect(command1_, &QPushButton::clicked, this, &Form1::findCheaters);
    connect(command2_, &QPushButton::clicked, this, &Form1::showHelp);
    connect(command3_, &QPushButton::clicked, this, &Form1::exitProgram);
    // What a run shows comes from the thread it sweeps on.
    connect(sweepSignals_, &SweepSignals::filesListed, this, &Form1::showListing,
            Qt::QueuedConnection);
    connect(sweepSignals_, &SweepSignals::findEnabledChanged, this, &Form1::setFindEnabled,
            Qt::QueuedConnection);
    connect(sweepSignals_, &SweepSignals::progressChanged, progressBar1_,
            &ProgressBar::setExactValue, Qt::QueuedConnection);
    connect(sweepSignals_, &SweepSignals::completed, this, &Form1::showCompletion,
            Qt::QueuedConnection);
}

void Form1::createControls() {
    dir1_ = new DirectoryList(this);
    dir1_->setGeometry(twipsRect(840, 1560, 3255, 1440));
    drive1_ = new DriveList(this);
    drive1_->setGeometry(twipsRect(840, 3240, 3255, 315));
    drive1_->setDrives(setup_.drives);
    std::error_code ec;
    drive1_->showDriveOf(std::filesystem::current_path(ec));
    command1_ = new CommandButton(QStringLiteral("&Find Cheaters"), this);
    command1_->setGeometry(twipsRect(4920, 1800, 2415, 375));
    command2_ = new CommandButton(QStringLiteral("&Help"), this);
    command2_->setGeometry(twipsRect(5280, 2400, 1695, 375));
    command3_ = new CommandButton(QStringLiteral("E&xit"), this);
    command3_->setGeometry(twipsRect(5280, 4560, 2055, 375));
    progressBar1_ = new ProgressBar(this);
    progressBar1_->setGeometry(twipsRect(4680, 3240, 3135, 255));
    file1_ = new FileList(setup_.fileSystem, this);
    file1_->setGeometry(twipsRect(0, 2880, 1695, 1455));
    file1_->hide();
    dir1_->setObjectName(QStringLiteral("Dir1"));
    drive1_->setObjectName(QStringLiteral("Drive1"));
    file1_->setObjectName(QStringLiteral("File1"));
    command1_->setObjectName(QStringLiteral("Command1"));
    command2_->setObjectName(QStringLiteral("Command2"));
    command3_->setObjectName(QStringLiteral("Command3"));
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
}

void Form1::createLabels() {
    struct LabelLayout {
        const char* name;
        QString text;
        QRect place;
    };
    const LabelLayout layouts[] = {
        {"Label1", QStringLiteral("0%"), twipsRect(4560, 3600, 375, 255)},
        {"Label2", QStringLiteral("Directory:"), twipsRect(1080, 960, 2775, 375)},
        {"Label3", QStringLiteral("Vesk Parser v 2.0"), twipsRect(840, 120, 7455, 495)},
        {"Label4", QStringLiteral("Clan ") + kClanName, twipsRect(1800, 3960, 1455, 255)},
        {"Label5", kWebAddress, twipsRect(1320, 4200, 2055, 255)},
        {"Label6", QStringLiteral("Chat - ") + kChatServer + QStringLiteral("  - #") + kChatChannel,
         twipsRect(960, 4680, 3255, 255)},
        {"Label7", QStringLiteral("Server - unreal://") + kGameServer,
         twipsRect(1200, 4440, 2895, 255)},
        {"Label8", QStringLiteral("100%"), twipsRect(7560, 3600, 495, 255)},
        {"Label9", QStringLiteral("Email: ") + kMailAddress, twipsRect(1560, 5040, 1815, 255)},
    };
    for (const auto& layout : layouts) {
        auto* label = new CaptionLabel(layout.text, this);
        label->setObjectName(QString::fromLatin1(layout.name));
        label->setGeometry(layout.place);
        labels_.push_back(label);
    }
    labels_[1]->setFontFace(kSansSerif, 9.75);
    labels_[2]->setFontFace(kTitleFace, 14.25, QFont::Bold, true);
    labels_[2]->setHighlightTextColor();
    labels_[2]->setAlignment(Qt::AlignCenter);
    labels_[3]->setTextColor(QColor(255, 0, 0));
    for (auto* label : labels_) {
        label->fitText();
    }
}

void Form1::setTabOrder() {
    QWidget::setTabOrder(dir1_, drive1_);
    QWidget::setTabOrder(drive1_, command1_);
    QWidget::setTabOrder(command1_, command2_);
    QWidget::setTabOrder(command2_, command3_);
    dir1_->setFocus();
}

void Form1::closeEvent(QCloseEvent* event) {
    // A run still going ends with the window: its draft is removed and the day's earlier report
    // is left as it was.
    sweepRun_.stop();
    QWidget::closeEvent(event);
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!loaded_) {
        loaded_ = true;
        openStartFolder();
    }
}

// Handlers

// A start folder that is missing or unreadable gives way to its nearest parent that opens, at
// worst the drive's root, so that the lists never start empty.
void Form1::openStartFolder() {
    std::error_code ec;
    for (auto folder = setup_.startFolder;; folder = folder.parent_path()) {
        if (dir1_->setPath(folder, drive1_->rootOf(folder), ec) || !folder.has_relative_path()) {
            break;
        }
    }
    if (dir1_->path().empty()) {
        complainAbout(setup_.startFolder, ec);
    }
}

void Form1::openChosenDrive() {
    openFolder(drive1_->chosenFolder());
}

void Form1::openFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    if (!dir1_->setPath(folder, drive1_->rootOf(folder), ec)) {
        complainAbout(folder, ec);
        drive1_->showDriveOf(dir1_->path());
    }
}

void Form1::followFolder() {
    std::error_code ec;
    if (file1_->setPath(dir1_->path(), ec)) {
        drive1_->rememberFolder(dir1_->path());
        return;
    }
    // The folder went away between the two reads: both lists go back to the one the file
    // list still holds, so that a sweep never reads a folder other than the one shown.
    complainAbout(dir1_->path(), ec);
    const std::filesystem::path previous = file1_->path();
    if (!previous.empty() && dir1_->path() != previous) {
        openFolder(previous);
    }
}

// A click while a run is still going does nothing.
void Form1::findCheaters() {
    sweepRun_.start(dir1_->path(), *sweepSignals_, progressBar1_->exactValue());
}

void Form1::showHelp() {
    message_box::show(this, helpText(setup_.reportFolder), kHelpTitle,
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Information);
}

void Form1::exitProgram() {
    close();
    QCoreApplication::exit(0);
}

void Form1::complainAbout(const std::filesystem::path& folder, const std::error_code& ec) {
    const std::string text = "Cannot open " + vesk::printable(folder) + ":\r" + ec.message();
    message_box::show(this, QString::fromUtf8(text.c_str()),
                      QString::fromUtf8(vesk::kMessageTitle));
}

// What a run shows

// The run's listing, unless another folder was opened since the click.
void Form1::showListing(const std::filesystem::path& folder,
                        const std::vector<std::filesystem::path>& names) {
    if (folder == dir1_->path()) {
        file1_->showFiles(folder, names);
    }
}

void Form1::setFindEnabled(bool enabled) {
    // Disabling the focused button hands the focus on; it comes back with the button, so that
    // Enter sweeps again.
    if (!enabled && focusWidget() == command1_) {
        refocusFind_ = true;
    }
    command1_->setEnabled(enabled);
    if (enabled && std::exchange(refocusFind_, false)) {
        command1_->setFocus();
    }
}

void Form1::showCompletion(const QString& text, const QString& title) {
    if (!sweepRun_.running()) {
        return;  // stopped as the window closed
    }
    sweepRun_.wait();
    message_box::show(this, text, title);
    progressBar1_->setExactValue(0);
}
