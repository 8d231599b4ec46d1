#pragma once

#include <QString>
#include <filesystem>

// How to use the program, as the help button shows it: paragraphs joined by two carriage returns.
QString helpText();
// The same where there are no drive letters: it says where the report really is.
QString helpText(const std::filesystem::path& homeFolder);

inline const QString kHelpTitle = QStringLiteral("VESK Parser Help");
