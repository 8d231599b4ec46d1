#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vesk {

// A path as UTF-8 that is safe to show anywhere, escaped as printableText escapes, so a name can
// neither garble a terminal nor vanish from a message.
std::string printable(const std::filesystem::path& path);

// Text (a log's line) made as safe to show, as ls shows names: bytes that are not valid UTF-8 and
// the C0 controls appear as \xNN, the C1 controls (U+0080..U+009F, CSI among them) as \uNNNN.
std::string printableText(std::string_view text);

}  // namespace vesk
