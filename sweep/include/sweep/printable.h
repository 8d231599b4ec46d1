#pragma once

#include <filesystem>
#include <string>

namespace vesk {

// A path as UTF-8 that is safe to show anywhere: bytes that are not valid UTF-8 and control
// characters appear as \xNN, so a name can neither garble a terminal nor vanish from a message.
std::string printable(const std::filesystem::path& path);

}  // namespace vesk
