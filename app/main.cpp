#include <QApplication>

#include "app_icon.h"
#include "command_line.h"
#include "program_arguments.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/home_folder.h"
#include "window/font_faces.h"
#include "window/form1.h"
#include "window/mounted_drives.h"

int main(int argc, char** argv) {
    // The arguments are read before any window object exists, so that --help, --version and a
    // wrong argument are answered without a display.
    int status = 0;
    const auto startFolder = folderToOpen(programArguments(argc, argv), status);
    if (!startFolder) {
        return status;
    }
    // They are the program's own: Qt is not to take a folder named like one of its options.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("veskparser"));
    QApplication::setDesktopFileName(QStringLiteral("veskparser"));
    QApplication::setWindowIcon(appIcon());
    addWineFaces();

    const auto fileSystem = vesk::makeNativeFileSystem();
    const vesk::SystemClock clock;
    Form1 form1({*fileSystem, clock, vesk::homeFolder(), *startFolder, mountedDrives()});
    form1.show();
    return QApplication::exec();
}
