#include "message_box.h"

#include <QGridLayout>
#include <QSpacerItem>

namespace message_box {
namespace {

// Room for the frame's icon and buttons beside the title.
constexpr int kTitleMargin = 120;

}  // namespace

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
    // Wide enough for its title, which a window frame would otherwise cut short.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int titleWidth = box.fontMetrics().horizontalAdvance(title) + kTitleMargin;
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace message_box
