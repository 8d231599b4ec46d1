#include "read/log_name.h"

namespace vesk {

bool sameFileName(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a == b;
}

}  // namespace vesk
