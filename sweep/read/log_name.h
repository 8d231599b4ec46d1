#pragma once

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace vesk {

namespace detail {
template <typename Char>
Char upper(Char c) {
    return c >= 'a' && c <= 'z' ? static_cast<Char>(c - 'a' + 'A') : c;
}

// The suffix is given in upper case.
template <typename Char>
bool endsWithIgnoringCase(std::basic_string_view<Char> name, std::string_view suffix) {
    if (name.size() < suffix.size()) {
        return false;
    }
    const auto tail = name.substr(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (upper(tail[i]) != static_cast<Char>(suffix[i])) {
            return false;
        }
    }
    return true;
}
}  // namespace detail

// What the "*.log" pattern matches.
template <typename Char>
bool hasLogExtension(std::basic_string_view<Char> name) {
    return detail::endsWithIgnoringCase(name, ".LOG");
}

// Whether two names lead to the same file in one folder: in any letter case where the file
// system ignores case, as Windows does.
bool sameFileName(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace vesk
