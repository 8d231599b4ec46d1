#include "form1_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>

ModalAnswerer::ModalAnswerer() {
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::answerBox);
    timer_.start(5);
}

void ModalAnswerer::answerBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
        return;
    }
    seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    if (onShown) {
        onShown(seen.back());
    }
    if (answerWithEnter) {
        QTest::keyClick(box, Qt::Key_Return);
    } else {
        box->button(answer)->click();
    }
}

void Form1Test::openWindow(std::vector<Drive> drives) {
    if (drives.empty()) {
        drives.push_back({logs.path().root_path(), "test"});
    }
    form = std::make_unique<Form1>(
        Form1Setup{fileSystem, clock, reports.path(), startFolder, std::move(drives)});
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
}

void Form1Test::click(const char* button) {
    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
}
