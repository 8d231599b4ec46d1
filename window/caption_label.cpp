#include "caption_label.h"

#include <QFontMetricsF>

namespace {

constexpr qreal kSmallestPointSize = 6.0;

}  // namespace

CaptionLabel::CaptionLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CaptionLabel::setFontFace(const QStringList& families, qreal pointSize, int weight,
                               bool italic) {
    QFont face = font();
    face.setFamilies(families);
    face.setPointSizeF(pointSize);
    face.setWeight(static_cast<QFont::Weight>(weight));
    face.setItalic(italic);
    setFont(face);
}

void CaptionLabel::setTextColor(const QColor& color) {
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, color);
    setPalette(colors);
}

void CaptionLabel::setHighlightTextColor() {
    setTextColor(palette().color(QPalette::Active, QPalette::Highlight));
}

void CaptionLabel::fitText() {
    QFont face = font();
    const qreal room = contentsRect().width();
    while (QFontMetricsF(face).horizontalAdvance(text()) > room &&
           face.pointSizeF() > kSmallestPointSize) {
        face.setPointSizeF(face.pointSizeF() - 0.25);
    }
    setFont(face);
}
