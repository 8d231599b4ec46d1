#pragma once

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "read/log_name.h"

namespace vesk {

// The order logs are swept in, the same on every system: by name as the original platform's file
// system lists them, ASCII letters compared as capitals and every other byte (or UTF-16 unit, on
// Windows) as it is. Names that differ only in letter case, which only some file systems can hold
// at once, follow their own code units.
template <typename Char>
bool comesBefore(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    using Unit = std::make_unsigned_t<Char>;
    const auto capital = [](Char c) { return static_cast<Unit>(detail::upper(c)); };
    const auto less = [&](Char x, Char y) { return capital(x) < capital(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) {
        return true;
    }
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) {
        return false;
    }
    const auto unit = [](Char x, Char y) { return static_cast<Unit>(x) < static_cast<Unit>(y); };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), unit);
}

inline bool comesBefore(const std::filesystem::path& a, const std::filesystem::path& b) {
    using Char = std::filesystem::path::value_type;
    return comesBefore(std::basic_string_view<Char>(a.native()),
                       std::basic_string_view<Char>(b.native()));
}

}  // namespace vesk
