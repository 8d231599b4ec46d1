#include "app_icon.h"

#include <QPainter>
#include <QPixmap>

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pixmap(64, 64);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0x44, 0x44, 0x44), 2));
        painter.setBrush(QColor(0xf4, 0xf4, 0xf0));
        painter.drawRoundedRect(QRectF(10, 6, 36, 48), 3, 3);
        painter.setPen(QPen(QColor(0x99, 0x99, 0x99), 2));
        for (int y : {16, 22, 34}) {
            painter.drawLine(16, y, 40, y);
        }
        painter.setPen(QPen(QColor(0xd0, 0x10, 0x10), 3));
        painter.drawLine(16, 28, 40, 28);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0x1a, 0x4f, 0x9c), 4));
        painter.drawEllipse(QPointF(42, 40), 11, 11);
        painter.setPen(QPen(QColor(0x1a, 0x4f, 0x9c), 5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(50, 48, 59, 57);
        painter.end();
        icon.addPixmap(pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    return icon;
}
