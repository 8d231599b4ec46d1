#include "draft_name.h"

#include <random>
#include <string_view>

namespace vesk {

std::filesystem::path draftNameFor(const std::filesystem::path& reportName) {
    constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr int kRandomLetters = 12;
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::filesystem::path::string_type name;
    name += '.';
    name += reportName.native();
    name += '.';
    for (int i = 0; i < kRandomLetters; ++i) {
        name += static_cast<std::filesystem::path::value_type>(kLetters[pick(random)]);
    }
    return name;
}

}  // namespace vesk
