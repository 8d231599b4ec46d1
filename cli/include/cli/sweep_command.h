#pragma once

#include <filesystem>
#include <vector>

namespace vesk {

// Exit statuses of veskparser-sweep.
enum ExitStatus { kAllRead = 0, kSomeUnreadable = 1, kFailed = 2 };

// veskparser-sweep [--quiet] [--report-folder DIR] [FOLDER...]: the window's Find Cheaters from
// a shell, over one folder or several.
int sweepCommand(const std::vector<std::filesystem::path>& arguments);

}  // namespace vesk
