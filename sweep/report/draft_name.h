#pragma once

#include <filesystem>

namespace vesk {

// A hidden name beside the report for its draft: the report's name behind a dot, then random
// letters, so that no one can plant a file or link there in advance. It never ends in ".log".
std::filesystem::path draftNameFor(const std::filesystem::path& reportName);

// Whether a name in a folder is that of a report's draft, of any day: those a run that died
// left behind are taken away by the next run.
bool isDraftName(const std::filesystem::path& name);

// Where a draft that could not take the report's place is kept for its owner, never taken away:
// one name for each day's report, so that a later run's kept findings replace an earlier one's.
std::filesystem::path keptNameFor(const std::filesystem::path& reportName);

}  // namespace vesk
