#pragma once

#include <QLabel>
#include <QStringList>

// A label that takes no focus, with a font, colour and alignment of its own. Where the named font
// is missing, the fallbacks stand in, and the size shrinks until the text fits the label.
class CaptionLabel : public QLabel {
    Q_OBJECT

public:
    CaptionLabel(const QString& text, QWidget* parent);

    void setFontFace(const QStringList& families, qreal pointSize, int weight = QFont::Normal,
                     bool italic = false);
    void setTextColor(const QColor& color);
    void setHighlightTextColor();

    // Called once the label has its final size.
    void fitText();
};
