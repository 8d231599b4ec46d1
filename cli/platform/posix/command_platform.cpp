#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <thread>

#include "command_platform.h"
#include "stream_writer.h"

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
