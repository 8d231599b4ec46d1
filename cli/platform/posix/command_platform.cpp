#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "command_platform.h"
#include "stream_writer.h"
#include "sweep/home_folder.h"

namespace vesk {

void prepareProcess() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);  // takes the lowest free number
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit descriptors{};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 &&
        descriptors.rlim_cur < descriptors.rlim_max) {
        descriptors.rlim_cur = descriptors.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &descriptors);
    }
}

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

bool writesToFile(std::FILE* stream, std::uint64_t device, std::uint64_t inode) {
    struct stat file {};
    return ::fstat(::fileno(stream), &file) == 0 && file.st_dev == device && file.st_ino == inode;
}

std::filesystem::path findFolder(const std::filesystem::path& given, std::error_code& ec) {
    return std::filesystem::canonical(given, ec);
}

bool writeFully(std::FILE* stream, std::string_view text, const std::atomic<bool>& stop) {
    const int fd = ::fileno(stream);
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR && !stop) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string pathBytes(const std::filesystem::path& path) {
    return path.native();
}

std::optional<std::filesystem::path> defaultStateFolder() {
    if (const char* named = std::getenv("STATE_DIRECTORY"); named != nullptr && *named != '\0') {
        const std::string_view paths(named);
        return std::filesystem::path(paths.substr(0, paths.find(':')));
    }
    // A relative XDG_STATE_HOME is to be ignored, as the base directory rules say.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
        return std::filesystem::path(state) / "veskparser";
    }
    return homeFolder() / ".local/state/veskparser";
}

std::error_code makePrivateFolder(const std::filesystem::path& folder) {
    std::filesystem::path made;
    for (const auto& part : folder) {
        made /= part;
        // A folder already there may refuse a mkdir for other reasons, such as a read-only
        // file system above the state directory.
        if (::mkdir(made.c_str(), 0700) != 0) {
            const int error = errno == EEXIST ? ENOTDIR : errno;
            std::error_code ec;
            if (!std::filesystem::is_directory(made, ec)) {
                return {error, std::generic_category()};
            }
        }
    }
    return {};
}

std::tm localTimeOf(std::time_t at, long& offsetMinutes) {
    std::tm local{};
    ::localtime_r(&at, &local);
    offsetMinutes = local.tm_gmtoff / 60;
    return local;
}

namespace {

// Does nothing but make a blocked write return, as it is installed without SA_RESTART.
extern "C" void unblockWrite(int) {}

}  // namespace

void interruptWrite(std::thread& thread) {
    static const int signal = [] {
        struct sigaction action {};
        action.sa_handler = unblockWrite;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGRTMIN, &action, nullptr);
        return SIGRTMIN;
    }();
    ::pthread_kill(thread.native_handle(), signal);
}

}  // namespace vesk
