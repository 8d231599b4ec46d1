#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "sweep/file_system.h"

namespace vesk {

inline std::error_code lastError() {
    return {errno, std::system_category()};
}

inline FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

inline FileTimes timesOf(const struct stat& st) {
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    return {nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

inline FileLook lookOf(const struct stat& st) {
    return {identityOf(st), static_cast<std::uint64_t>(st.st_size), timesOf(st)};
}

// A file descriptor, closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset();
        fd_ = other.release();
        return *this;
    }
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) {
            ::close(release());
        }
    }

private:
    int fd_;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Listing = std::unique_ptr<DIR, DirCloser>;

// The entries of the folder open as folderFd, from its first, through a descriptor of the
// listing's own; null with the reason where it cannot be read.
inline Listing listFolder(int folderFd, std::error_code& ec) {
    Descriptor duplicate(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    Listing dir(duplicate.get() < 0 ? nullptr : ::fdopendir(duplicate.get()));
    if (dir == nullptr) {
        ec = lastError();
        return dir;
    }
    duplicate.release();
    ::rewinddir(dir.get());  // the duplicate shares its position with the folder's descriptor
    return dir;
}

// The report's draft, nameless until it is whole where the file system can do that, unless a
// named one is asked for.
std::unique_ptr<ReportDraft> createPosixDraft(const std::filesystem::path& report, bool named,
                                              std::error_code& ec);

}  // namespace vesk
