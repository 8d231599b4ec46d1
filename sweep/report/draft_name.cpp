#include "report/draft_name.h"

#include <algorithm>
#include <random>
#include <string_view>

#include "report/report_name.h"

namespace vesk {
namespace {

constexpr std::string_view kLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLetters = 12;

}  // namespace

std::filesystem::path draftNameFor(const std::filesystem::path& reportName) {
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::filesystem::path::string_type name;
    name += '.';
    name += reportName.native();
    name += '.';
    for (std::size_t i = 0; i < kRandomLetters; ++i) {
        name += static_cast<std::filesystem::path::value_type>(kLetters[pick(random)]);
    }
    return name;
}

bool isDraftName(const std::filesystem::path& name) {
    const auto& text = name.native();
    if (text.size() != 1 + kReportNameSize + 1 + kRandomLetters || text[0] != '.' ||
        text[1 + kReportNameSize] != '.') {
        return false;
    }
    const auto isLetter = [](auto c) {
        return c < 0x80 && kLetters.find(static_cast<char>(c)) != std::string_view::npos;
    };
    const auto reportStart = text.begin() + 1;
    return std::equal(kReportNameStart.begin(), kReportNameStart.end(), reportStart) &&
           std::all_of(text.end() - kRandomLetters, text.end(), isLetter);
}

std::filesystem::path keptNameFor(const std::filesystem::path& reportName) {
    std::filesystem::path::string_type name;
    name += '.';
    name += reportName.native();
    name += std::filesystem::path(".kept").native();
    return name;
}

}  // namespace vesk
