#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vesk {

// A path as UTF-8 that is safe to show anywhere: bytes that are not valid UTF-8 and control
// characters appear as \xNN, so a name can neither garble a terminal nor vanish from a message.
std::string printable(const std::filesystem::path& path);

// Text (a log's line) made as safe to show: bytes that are not valid UTF-8 and control characters
// appear as \xNN, so that they can neither garble a terminal nor vanish from a message.
std::string printableText(std::string_view text);

}  // namespace vesk
