#include "report_place.h"

#include "window/native_path.h"

QString whereTheReportIs(const std::filesystem::path& reportFolder) {
    return QStringLiteral(
               "Then open up the file VOReradivu(todaysdate).log in your home folder (") +
           native_path::displayName(reportFolder) + QStringLiteral(")");
}
