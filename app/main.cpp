#include <QApplication>
#include <cstdlib>

#include "app_icon.h"
#include "command_line.h"
#include "display_check.h"
#include "program_arguments.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/home_folder.h"
#include "window/font_faces.h"
#include "window/form1.h"
#include "window/mounted_drives.h"

namespace {

QtMessageHandler qtMessages = nullptr;

// Until the window is on screen, Qt's one fatal message is that it could not open a display (one
// named but not reachable, a platform that failed to start or to make a window): the program ends
// as it does when the display is missing from the environment, rather than abort. What Qt says
// before it stays.
void endWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        qtMessages(type, context, text);
        return;
    }
    tellNoDisplay({});
    std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments are read before any window object exists, so that --help, --version and a
    // wrong argument are answered without a display.
    int status = 0;
    const auto startFolder = folderToOpen(programArguments(argc, argv), status);
    if (!startFolder) {
        return status;
    }
    if (const auto reason = whyNoDisplay(environmentVariable)) {
        tellNoDisplay(*reason);
        return 2;
    }
    // They are the program's own: Qt is not to take a folder named like one of its options.
    int qtArgc = 1;
    qtMessages = qInstallMessageHandler(endWithoutDisplay);
    QApplication app(qtArgc, argv);
    if (QGuiApplication::primaryScreen() == nullptr) {
        tellNoDisplay("Qt's " + QGuiApplication::platformName().toStdString() +
                      " platform has no screen");
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("veskparser"));
    QApplication::setDesktopFileName(QStringLiteral("veskparser"));
    QApplication::setWindowIcon(appIcon());
    addWineFaces();

    const auto fileSystem = vesk::makeNativeFileSystem();
    const vesk::SystemClock clock;
    Form1 form1({*fileSystem, clock, vesk::homeFolder(), *startFolder, mountedDrives()});
    form1.show();
    qInstallMessageHandler(qtMessages);
    return QApplication::exec();
}
