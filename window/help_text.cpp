#include "help_text.h"

#include <QStringList>

#include "report_place.h"

QString helpText(const std::filesystem::path& reportFolder) {
    const QStringList paragraphs = {
        QStringLiteral("How to run the program:"),
        QStringLiteral("Goto the directory which has the logs files you wish to parse "
                       "(ie. unrealtournament.log)."),
        QStringLiteral("This will automatically parse all log files in that directory."),
        QStringLiteral("This makes it very easy if you have multiple servers (log files)."),
        QStringLiteral("Click  'Find Cheaters'"),
        whereTheReportIs(reportFolder),
        QStringLiteral("The program appends the today's date onto the log file "
                       "(ie. VOReradivu_2001-07-10.log)"),
    };
    return paragraphs.join(QStringLiteral("\r\r"));
}
