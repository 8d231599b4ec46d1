#include <QApplication>

#include "app_icon.h"
#include "clock.h"
#include "file_system.h"
#include "font_faces.h"
#include "form1.h"
#include "home_folder.h"
#include "mounted_drives.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veskparser"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setDesktopFileName(QStringLiteral("veskparser"));
    QApplication::setWindowIcon(appIcon());
    addWineFaces();

    const auto fileSystem = vesk::makeNativeFileSystem();
    const vesk::SystemClock clock;
    Form1 form1({*fileSystem, clock, vesk::homeFolder(), vesk::homeFolder(), mountedDrives()});
    form1.show();
    return QApplication::exec();
}
