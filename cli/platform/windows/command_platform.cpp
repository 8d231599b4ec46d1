#include <io.h>

#include <cstdlib>
#include <ctime>
#include <thread>

#include "command_platform.h"
#include "stream_writer.h"
#include "sweep/printable.h"

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

std::string pathBytes(const std::filesystem::path& path) {
    try {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    } catch (const std::exception&) {
        return printable(path);  // an unpaired surrogate, which UTF-8 cannot carry
    }
}

std::optional<std::filesystem::path> defaultStateFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local == nullptr || *local == L'\0') {
        return std::nullopt;
    }
    return std::filesystem::path(local) / "veskparser";
}

// Windows gives a new folder the access of the one above it: in %LOCALAPPDATA%, its user's.
std::error_code makePrivateFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return ec;
}

std::tm localTimeOf(std::time_t at, long& offsetMinutes) {
    std::tm local{};
    ::localtime_s(&local, &at);
    std::tm asUtc = local;
    // The local time read as if it were UTC, less the moment: the offset, summer time included.
    offsetMinutes = static_cast<long>(::_mkgmtime(&asUtc) - at) / 60;
    return local;
}

// A console or pipe write on Windows is left to end with the process.
void interruptWrite(std::thread&) {}

}  // namespace vesk
