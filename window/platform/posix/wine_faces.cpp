#include <QFontDatabase>

#include "window/font_faces.h"

void addWineFaces() {
    for (const char* file : {"ms_sans_serif.ttf", "tahoma.ttf"}) {
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/") +
                                          QLatin1String(file));
    }
}
