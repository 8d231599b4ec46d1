#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app_icon.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/home_folder.h"
#include "sweep/printable.h"
#include "vesk/version.h"
#include "window/font_faces.h"
#include "window/form1.h"
#include "window/mounted_drives.h"
#include "window/native_path.h"

namespace {

// --help and --version end the program here; a folder given opens in place of the home folder,
// as a file manager or a script would hand it over.
std::optional<std::filesystem::path> folderToOpen(const QApplication& app, int& status) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Gathers cheater findings from game server logs, in a window."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("The folder to open (default: your home folder)."),
                                 QStringLiteral("[folder]"));
    parser.process(app);
    const QStringList given = parser.positionalArguments();
    if (given.isEmpty()) {
        return vesk::homeFolder();
    }
    const std::filesystem::path folder = native_path::fromQt(given.front());
    std::error_code ec;
    if (given.size() > 1) {
        std::fputs("veskparser: one folder at most\n", stderr);
    } else if (!std::filesystem::is_directory(folder, ec)) {
        std::fprintf(stderr, "veskparser: %s: %s\n", vesk::printable(folder).c_str(),
                     ec ? ec.message().c_str() : "Not a folder");
    } else {
        return std::filesystem::absolute(folder, ec);
    }
    status = 2;
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veskparser"));
    QApplication::setApplicationVersion(QString::fromLatin1(vesk::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("veskparser"));
    int status = 0;
    const auto startFolder = folderToOpen(app, status);
    if (!startFolder) {
        return status;
    }
    QApplication::setWindowIcon(appIcon());
    addWineFaces();

    const auto fileSystem = vesk::makeNativeFileSystem();
    const vesk::SystemClock clock;
    Form1 form1({*fileSystem, clock, vesk::homeFolder(), *startFolder, mountedDrives()});
    form1.show();
    return QApplication::exec();
}
