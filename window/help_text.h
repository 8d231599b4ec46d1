#pragma once

#include <QString>
#include <filesystem>

// How to use the program, as the help button shows it: paragraphs joined by two carriage returns,
// one of them saying where the reports are.
QString helpText(const std::filesystem::path& reportFolder);

inline const QString kHelpTitle = QStringLiteral("VESK Parser Help");
