#pragma once

#include <cstdint>
#include <string_view>

namespace vesk {

// FNV-1a: quick, and enough to tell apart bytes that no one chose to collide. Taken a piece at a
// time where the bytes come in pieces.
constexpr std::uint64_t kFnvStart = 14695981039346656037u;

inline std::uint64_t fnvOn(std::uint64_t hash, std::string_view bytes) {
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    }
    return hash;
}

inline std::uint64_t fnv(std::string_view bytes) {
    return fnvOn(kFnvStart, bytes);
}

}  // namespace vesk
