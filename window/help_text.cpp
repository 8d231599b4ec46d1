#include "help_text.h"

#include <QStringList>

#include "window/native_path.h"

namespace {

constexpr int kWhereTheReportIs = 5;

QStringList paragraphs() {
    return {
        QStringLiteral("How to run the program:"),
        QStringLiteral("Goto the directory which has the logs files you wish to parse "
                       "(ie. unrealtournament.log)."),
        QStringLiteral("This will automatically parse all log files in that directory."),
        QStringLiteral("This makes it very easy if you have multiple servers (log files)."),
        QStringLiteral("Click  'Find Cheaters'"),
        QStringLiteral("Then open up the file VOReradivu(todaysdate).log on your 'C:\\' drive"),
        QStringLiteral("The program appends the today's date onto the log file "
                       "(ie. VOReradivu_2001-07-10.log)"),
    };
}

}  // namespace

QString helpText() {
    return paragraphs().join(QStringLiteral("\r\r"));
}

QString helpText(const std::filesystem::path& homeFolder) {
    QStringList text = paragraphs();
    text[kWhereTheReportIs] =
        QStringLiteral("Then open up the file VOReradivu(todaysdate).log in your home folder (") +
        native_path::displayName(homeFolder) + QStringLiteral(")");
    return text.join(QStringLiteral("\r\r"));
}
