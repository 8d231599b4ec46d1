#pragma once

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "sweep/clock.h"

namespace vesk {

// The day's report is named "VOReradivu_yyyy-mm-dd.log", for the local date: the name its readers
// look for, written here alone.
inline constexpr std::string_view kReportNameStart = "VOReradivu_";
inline constexpr std::size_t kReportNameSize = kReportNameStart.size() + 10 + 4;

inline std::filesystem::path reportName(LocalDate date) {
    char name[kReportNameSize + 1];
    std::snprintf(name, sizeof name, "%.*s%04d-%02d-%02d.log",
                  static_cast<int>(kReportNameStart.size()), kReportNameStart.data(), date.year,
                  date.month, date.day);
    return name;
}

}  // namespace vesk
