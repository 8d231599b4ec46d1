#include "modal_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::answer);
    timer_.start(5);
}

void ModalAnswerer::answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
        return;
    }
    const Seen shown{box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    seen.push_back(shown);
    if (onShown) {
        onShown(shown);
    }
    if (answerWithEnter) {
        QTest::keyClick(box, Qt::Key_Return);
    } else if (QAbstractButton* button = box->button(answer_)) {
        button->click();
    } else {
        box->reject();
    }
}
