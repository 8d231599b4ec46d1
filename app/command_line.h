#pragma once

#include <filesystem>
#include <optional>
#include <vector>

// The folder the window opens at: the one given, else the home folder. --help and --version are
// answered on standard output, a wrong argument is refused on standard error, and then there is
// none: the program ends with `status`. Nothing here needs a display.
std::optional<std::filesystem::path> folderToOpen(
    const std::vector<std::filesystem::path>& arguments, int& status);
