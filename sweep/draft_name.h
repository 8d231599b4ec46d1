#pragma once

#include <filesystem>

namespace vesk {

// A hidden name beside the report for its draft: the report's name behind a dot, then random
// letters, so that no one can plant a file or link there in advance. It never ends in ".log".
std::filesystem::path draftNameFor(const std::filesystem::path& reportName);

}  // namespace vesk
