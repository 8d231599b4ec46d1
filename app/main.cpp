#include <QApplication>

#include "app_icon.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/home_folder.h"
#include "vesk/version.h"
#include "window/font_faces.h"
#include "window/form1.h"
#include "window/mounted_drives.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veskparser"));
    QApplication::setApplicationVersion(QString::fromLatin1(vesk::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("veskparser"));
    QApplication::setWindowIcon(appIcon());
    addWineFaces();

    const auto fileSystem = vesk::makeNativeFileSystem();
    const vesk::SystemClock clock;
    Form1 form1({*fileSystem, clock, vesk::homeFolder(), vesk::homeFolder(), mountedDrives()});
    form1.show();
    return QApplication::exec();
}
