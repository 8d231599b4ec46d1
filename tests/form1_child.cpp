// The window's program as a test drives it in a process of its own, offscreen:
//   form1_child FOLDER [named]
// opens Form1 at FOLDER with the machine's file system, says "ready", and on a line "find" on its
// standard input presses Find Cheaters; it prints the completion message, answers it and ends.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/named_drafts.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/home_folder.h"
#include "window/form1.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool named = argc > 2 && std::string(argv[2]) == "named";
    const auto fileSystem =
        named ? vesk::makeFileSystemWithNamedDrafts() : vesk::makeNativeFileSystem();
    const vesk::SystemClock clock;
    Form1 form({*fileSystem, clock, vesk::homeFolder(), argv[1], {}});
    form.show();

    QTimer answerer;
    answerer.callOnTimeout([&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("%s\n", box->text().toUtf8().constData());
            std::fflush(stdout);
            box->button(QMessageBox::Ok)->click();
            QApplication::quit();
        }
    });
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        input.setEnabled(false);  // once: at the end of the input it would fire again and again
        std::string line;
        std::getline(std::cin, line);
        answerer.start(5);
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    });
    std::puts("ready");
    std::fflush(stdout);
    return QApplication::exec();
}
