#include <io.h>

#include "command_platform.h"

namespace vesk {

void prepareProcess() {}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

bool writesToFile(std::FILE*, std::uint64_t, std::uint64_t) {
    return false;
}

std::filesystem::path findFolder(const std::filesystem::path& given, std::error_code& ec) {
    return std::filesystem::absolute(given, ec).lexically_normal();
}

}  // namespace vesk
