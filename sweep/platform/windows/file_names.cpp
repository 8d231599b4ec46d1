#include <algorithm>

#include "read/log_name.h"

namespace vesk {

bool sameFileName(const std::filesystem::path& a, const std::filesystem::path& b) {
    const auto sameLetter = [](wchar_t x, wchar_t y) {
        return detail::upper(x) == detail::upper(y);
    };
    return std::equal(a.native().begin(), a.native().end(), b.native().begin(), b.native().end(),
                      sameLetter);
}

}  // namespace vesk
