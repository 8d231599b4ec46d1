#include "window/font_faces.h"

#include <QFontDatabase>

const QStringList kSansSerif = {"MS Sans Serif",   "Microsoft Sans Serif", "Tahoma",
                                "Liberation Sans", "DejaVu Sans",          "Sans Serif"};
const QStringList kTitleFace = {"Copperplate Gothic Bold", "Copperplate Gothic", "Liberation Serif",
                                "DejaVu Serif", "Serif"};

void addWineFaces() {
#ifndef _WIN32
    for (const char* file : {"ms_sans_serif.ttf", "tahoma.ttf"}) {
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/") +
                                          QLatin1String(file));
    }
#endif
}
