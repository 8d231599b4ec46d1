#include <io.h>

#include <thread>

#include "command_platform.h"
#include "stream_writer.h"

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

bool writeFully(std::FILE* stream, std::string_view text, const std::atomic<bool>&) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
           std::fflush(stream) == 0;
}

// A console or pipe write on Windows is left to end with the process.
void interruptWrite(std::thread&) {}

}  // namespace vesk
