#pragma once

#include <QRect>

// Layout is given in twips, 1/1440 inch: 15 to a pixel at 96 dots per inch. Qt scales the
// pixels on denser screens.
constexpr int kTwipsPerPixel = 15;

constexpr int twipsToPixels(int twips) {
    return twips / kTwipsPerPixel;
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}
