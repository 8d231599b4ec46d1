#include "message_box.h"

namespace message_box {

QString withLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QMessageBox::StandardButton show(QWidget* parent, const QString& text, const QString& title,
                                 QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
    QMessageBox box(icon, title, withLineBreaks(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::WindowModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace message_box
