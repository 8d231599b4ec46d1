#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace message_box {

// A modal box owned by the parent. A carriage return in the text starts a new line, as in the
// message boxes the texts were written for; Qt's labels would otherwise run the lines together.
QMessageBox::StandardButton show(QWidget* parent, const QString& text, const QString& title,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 QMessageBox::Icon icon = QMessageBox::NoIcon);

QString withLineBreaks(QString text);

}  // namespace message_box
