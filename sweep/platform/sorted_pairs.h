#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk {

// Pairs of numbers by the first, each key's values in the order they came: a watch for each log
// followed, which may be many, is 16 bytes a pair where a hashed map's node and bucket take 40. A
// pair taken out is marked, and the marked are swept out once they are half of the list; pairs come
// in mostly in order, at its end.
class SortedPairs {
public:
    void insert(std::uint64_t key, std::uint64_t value) {
        pairs_.insert(std::upper_bound(pairs_.begin(), pairs_.end(), key, byKeyBefore),
                      {key, value});
    }
    // Calls each(value) for each value the key has.
    template <typename Each>
    void forEach(std::uint64_t key, Each each) const {
        for (auto at = find(pairs_, key); at != pairs_.end() && at->key == key; ++at) {
            if (at->value != kGone) {
                each(at->value);
            }
        }
    }
    bool contains(std::uint64_t key, std::uint64_t value) const {
        bool found = false;
        forEach(key, [&](std::uint64_t one) { found = found || one == value; });
        return found;
    }
    // Takes out the pair, or every pair of the key where the value is kGone.
    void erase(std::uint64_t key, std::uint64_t value = kGone) {
        for (auto at = find(pairs_, key); at != pairs_.end() && at->key == key; ++at) {
            if (at->value != kGone && (value == kGone || at->value == value)) {
                at->value = kGone;
                ++gone_;
            }
        }
        if (gone_ * 2 > pairs_.size()) {
            std::erase_if(pairs_, [](const Pair& pair) { return pair.value == kGone; });
            gone_ = 0;
        }
    }

    static constexpr std::uint64_t kGone = ~std::uint64_t{0};

private:
    struct Pair {
        std::uint64_t key;
        std::uint64_t value;
    };
    static bool byKeyBefore(std::uint64_t key, const Pair& pair) { return key < pair.key; }
    // The first pair of the key, or where it would be.
    template <typename Pairs>
    static auto find(Pairs& pairs, std::uint64_t key) -> decltype(pairs.begin()) {
        return std::lower_bound(pairs.begin(), pairs.end(), key,
                                [](const Pair& pair, std::uint64_t k) { return pair.key < k; });
    }

    std::vector<Pair> pairs_;
    std::size_t gone_ = 0;
};

}  // namespace vesk
