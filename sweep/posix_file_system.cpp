#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "file_system.h"
#include "log_name.h"

namespace vesk {
namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, FileIdentity identity) : fd_(fd), identity_(identity) {}

    std::size_t read(char* data, std::size_t size, std::error_code& ec) override {
        for (;;) {
            const ssize_t n = ::read(fd_.get(), data, size);
            if (n >= 0) {
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) {
                ec = lastError();
                return 0;
            }
        }
    }
    FileIdentity identity() const override { return identity_; }

private:
    Descriptor fd_;
    FileIdentity identity_;
};

class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(int fd, FileIdentity identity) : fd_(fd), identity_(identity) {}

    void write(const char* data, std::size_t size, std::error_code& ec) override {
        while (size > 0) {
            const ssize_t n = ::write(fd_.get(), data, size);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ec = lastError();
                return;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }
    void close(std::error_code& ec) override {
        const int fd = fd_.release();
        if (fd >= 0 && ::close(fd) != 0) {
            ec = lastError();
        }
    }
    FileIdentity identity() const override { return identity_; }

private:
    Descriptor fd_;
    FileIdentity identity_;
};

bool isHidden(std::string_view name) {
    return name.starts_with('.');
}

// Symbolic links are followed; a link that leads nowhere names no file.
enum class Kind { ordinary, other, unknown };

Kind kindOf(int dirFd, const dirent& entry) {
    if (entry.d_type == DT_REG) {
        return Kind::ordinary;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return Kind::other;
    }
    struct stat st {};
    if (::fstatat(dirFd, entry.d_name, &st, 0) != 0) {
        return errno == ENOENT ? Kind::other : Kind::unknown;
    }
    return S_ISREG(st.st_mode) ? Kind::ordinary : Kind::other;
}

class Directory {
public:
    explicit Directory(const std::filesystem::path& path, std::error_code& ec)
        : dir_(::opendir(path.c_str())) {
        if (dir_ == nullptr) {
            ec = lastError();
        }
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    ~Directory() {
        if (dir_ != nullptr) {
            ::closedir(dir_);
        }
    }
    bool isOpen() const { return dir_ != nullptr; }

    // The next visible entry whose name passes the test and that may be an ordinary file; an
    // entry that cannot be examined is handed on so that opening it names the reason.
    template <typename NameTest>
    const dirent* nextFile(NameTest test, std::error_code& ec) {
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir_);
            if (entry == nullptr) {
                if (errno != 0) {
                    ec = lastError();
                }
                return nullptr;
            }
            const std::string_view name = entry->d_name;
            if (!isHidden(name) && test(name) && kindOf(::dirfd(dir_), *entry) != Kind::other) {
                return entry;
            }
        }
    }

private:
    DIR* dir_;
};

class PosixLogEnumeration final : public NameEnumeration {
public:
    PosixLogEnumeration(const std::filesystem::path& directory, std::error_code& ec)
        : dir_(directory, ec) {}
    bool isOpen() const { return dir_.isOpen(); }

    std::optional<std::filesystem::path> next(std::error_code& ec) override {
        const dirent* entry = dir_.nextFile(hasLogExtension<char>, ec);
        if (entry == nullptr) {
            return std::nullopt;
        }
        return std::filesystem::path(entry->d_name);
    }

private:
    Directory dir_;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<OutputFile> createReport(const std::filesystem::path& path,
                                             std::error_code& ec) override {
        Descriptor fd(
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            ec = lastError();
            return nullptr;
        }
        return std::make_unique<PosixOutputFile>(fd.release(), identityOf(st));
    }

    std::unique_ptr<InputFile> openLog(const std::filesystem::path& path,
                                       std::error_code& ec) override {
        // Non-blocking, so that a FIFO put in a log's place cannot stall the run.
        Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            ec = lastError();
            return nullptr;
        }
        if (!S_ISREG(st.st_mode)) {
            ec = SweepErrc::notOrdinaryFile;
            return nullptr;
        }
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        return std::make_unique<PosixInputFile>(fd.release(), identityOf(st));
    }

    std::unique_ptr<NameEnumeration> findLogs(const std::filesystem::path& directory,
                                              std::error_code& ec) override {
        auto logs = std::make_unique<PosixLogEnumeration>(directory, ec);
        return logs->isOpen() ? std::move(logs) : nullptr;
    }

    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& directory,
                                                 std::error_code& ec) override {
        std::vector<std::filesystem::path> names;
        Directory dir(directory, ec);
        if (!dir.isOpen()) {
            return names;
        }
        const auto anyName = [](std::string_view) { return true; };
        while (const dirent* entry = dir.nextFile(anyName, ec)) {
            names.emplace_back(entry->d_name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace vesk
