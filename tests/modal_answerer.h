#pragma once

#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

// Answers the message boxes a test brings up, keeping what each one said.
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);

    void setAnswer(QMessageBox::StandardButton answer) { answer_ = answer; }
    // Presses Enter in the box, as a person at the keyboard would, instead of clicking.
    bool answerWithEnter = false;
    // Runs before the box is answered, while it is still up.
    std::function<void(const Seen&)> onShown;
    std::vector<Seen> seen;

private:
    void answer();

    QMessageBox::StandardButton answer_;
    QTimer timer_;
};
