#include "report_place.h"

QString whereTheReportIs(const std::filesystem::path&) {
    return QStringLiteral("Then open up the file VOReradivu(todaysdate).log on your 'C:\\' drive");
}
