#pragma once

#include <QString>
#include <filesystem>

// The help's paragraph that says where to find the day's report: on the C:\ drive where there
// are drive letters, else in the report folder, named.
QString whereTheReportIs(const std::filesystem::path& reportFolder);
