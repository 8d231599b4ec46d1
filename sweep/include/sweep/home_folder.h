#pragma once

#include <filesystem>

namespace vesk {

// Where the system's "c:\" lies: the start folder and the report folder. That is C:\ itself on
// Windows and the user's home folder elsewhere.
std::filesystem::path homeFolder();

}  // namespace vesk
