#pragma once

#include <QString>

// How to use the program, as the help button shows it: paragraphs joined by two carriage returns.
QString helpText();

inline const QString kHelpTitle = QStringLiteral("VESK Parser Help");
