#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    const std::size_t common = std::min(a.size(), b.size());
    // One pass: the first difference in capitals decides, and the first in code units breaks a
    // tie between names that differ only in letter case.
    int tie = 0;
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) {
            continue;
        }
        const Unit x = capital(a[i]);
        const Unit y = capital(b[i]);
        if (x != y) {
            return x < y;
        }
        if (tie == 0) {
            tie = static_cast<Unit>(a[i]) < static_cast<Unit>(b[i]) ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return tie < 0;
}

inline bool comesBefore(const std::filesystem::path& a, const std::filesystem::path& b) {
    using Char = std::filesystem::path::value_type;
    return comesBefore(std::basic_string_view<Char>(a.native()),
                       std::basic_string_view<Char>(b.native()));
}

// Puts the items in name order, by keys made once: each name in capitals, then the name itself
// where two are alike in capitals. A path is dear to compare, so the keys are sorted and the items
// then moved into place along the order's cycles, each once.
template <typename Item, typename Name>
void sortByName(std::vector<Item>& items, Name name) {
    using Char = std::filesystem::path::value_type;
    struct Key {
        std::basic_string<Char> capitals;
        std::size_t at;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    for (std::size_t at = 0; at < items.size(); ++at) {
        std::basic_string<Char> capitals = std::invoke(name, items[at]).native();
        std::transform(capitals.begin(), capitals.end(), capitals.begin(), detail::upper<Char>);
        keys.push_back({std::move(capitals), at});
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        const int order = a.capitals.compare(b.capitals);
        return order != 0 ? order < 0
                          : std::invoke(name, items[a.at]).native() <
                                std::invoke(name, items[b.at]).native();
    });
    for (std::size_t start = 0; start < keys.size(); ++start) {
        if (keys[start].at == start) {
            continue;
        }
        Item held = std::move(items[start]);
        std::size_t at = start;
        while (keys[at].at != start) {
            const std::size_t from = std::exchange(keys[at].at, at);
            items[at] = std::move(items[from]);
            at = from;
        }
        keys[at].at = at;
        items[at] = std::move(held);
    }
}

}  // namespace vesk
