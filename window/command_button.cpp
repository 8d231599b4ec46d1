#include "command_button.h"

#include <QKeyEvent>

CommandButton::CommandButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
    setAutoDefault(false);
}

void CommandButton::keyPressEvent(QKeyEvent* event) {
    // Outside a dialog Qt's buttons ignore Enter; here it clicks, as Space does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        animateClick();
        return;
    }
    QPushButton::keyPressEvent(event);
}
