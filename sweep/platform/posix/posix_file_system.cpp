#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/named_drafts.h"
#include "platform/plain_calls.h"
#ifdef VESK_IO_URING
#include "platform/linux/log_ring.h"
#endif
#include "platform/posix/posix_io.h"
#include "read/log_name.h"
#include "sweep/file_system.h"

namespace vesk {
namespace {

bool isHidden(std::string_view name) {
    return name.starts_with('.');
}

// A listed entry that may be an ordinary file, with its status when that was looked up: always
// when the entry's type says too little (a link, an unknown type), else when the caller asks.
// A lookup that fails for a reason other than absence hands the entry on without a status, so
// that opening it names the reason.
struct FileEntry {
    const dirent* entry;
    const struct stat* status;
};

template <typename StatusWanted, typename Found>
void forEachFile(DIR* dir, StatusWanted statusWanted, Found found, std::error_code& ec) {
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) {
                ec = lastError();
            }
            return;
        }
        const std::string_view name = entry->d_name;
        const bool typeSays = entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN;
        if (isHidden(name) || (typeSays && entry->d_type != DT_REG)) {
            continue;
        }
        if (typeSays && !statusWanted(name)) {
            found(FileEntry{entry, nullptr});
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0) {
            if (errno != ENOENT) {
                found(FileEntry{entry, nullptr});
            }
        } else if (S_ISREG(st.st_mode)) {
            found(FileEntry{entry, &st});
        }
    }
}

// readdir's inode numbers are the files' own only on some file systems (not on overlayfs, for
// one); elsewhere each log's identity is looked up while listing.
bool directoryInodesAreReliable(int dirFd) {
    struct statfs info {};
    if (::fstatfs(dirFd, &info) != 0) {
        return false;
    }
    constexpr unsigned long kReliable[] = {0xEF53 /* ext2, ext3, ext4 */, 0x58465342 /* xfs */,
                                           0x9123683E /* btrfs */, 0x01021994 /* tmpfs */,
                                           0xF2F52010 /* f2fs */};
    const auto type = static_cast<unsigned long>(info.f_type);
    return std::find(std::begin(kReliable), std::end(kReliable), type) != std::end(kReliable);
}

bool isMountRoot(int fd) {
#ifdef STATX_ATTR_MOUNT_ROOT
    struct statx status {};
    return ::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &status) == 0 &&
           (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#else
    static_cast<void>(fd);
    return false;
#endif
}

// Reading ahead pays only when a log is several blocks long.
constexpr off_t kSequentialHintFrom = 1024 * 1024;

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(Descriptor fd, const struct stat& st)
        : fd_(std::move(fd)),
          size_(static_cast<std::uint64_t>(st.st_size)),
          identity_(identityOf(st)),
          times_(timesOf(st)) {}

    std::size_t readAt(std::uint64_t offset, char* data, std::size_t size,
                       std::error_code& ec) override {
        for (;;) {
            const ssize_t n = ::pread(fd_.get(), data, size, static_cast<off_t>(offset));
            if (n >= 0) {
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) {
                ec = lastError();
                return 0;
            }
        }
    }
    std::uint64_t size() const override { return size_; }
    FileIdentity identity() const override { return identity_; }
    FileTimes times() const override { return times_; }

private:
    Descriptor fd_;
    std::uint64_t size_;
    FileIdentity identity_;
    FileTimes times_;
};

class PosixLogFolder final : public LogFolder {
public:
    PosixLogFolder(Descriptor fd, FileIdentity identity, bool plainCalls)
        : fd_(std::move(fd)),
          identity_(identity),
          inodesReliable_(directoryInodesAreReliable(fd_.get())),
          plainCalls_(plainCalls) {}

    FileIdentity identity() const override { return identity_; }

    std::vector<ListedFile> listFiles(LogSizes sizes, std::error_code& ec) override {
        std::vector<ListedFile> files;
        const Listing dir = listFolder(fd_.get(), ec);
        if (dir == nullptr) {
            return files;
        }
        const auto statusWanted = [&](std::string_view name) {
            return (sizes == LogSizes::listed || !inodesReliable_) && hasLogExtension(name);
        };
        // One way to a log's identity, whatever else is looked up: the folder's own entry where
        // its inode number is the file's, else the file's status.
        const auto found = [&](const FileEntry& file) {
            ListedFile& listed = files.emplace_back(ListedFile{file.entry->d_name, {}, 0, {}});
            if (file.entry->d_type == DT_REG && inodesReliable_) {
                listed.identity = {identity_.volume, static_cast<std::uint64_t>(file.entry->d_ino)};
            } else if (file.status != nullptr) {
                listed.identity = identityOf(*file.status);
            }
            if (file.status != nullptr) {
                listed.size = static_cast<std::uint64_t>(file.status->st_size);
                listed.times = timesOf(*file.status);
            }
        };
        forEachFile(dir.get(), statusWanted, found, ec);
        return files;
    }

    std::unique_ptr<InputFile> openLog(const ListedFile& log, std::error_code& ec) override {
        // Non-blocking, so that a FIFO put in a log's place cannot stall the run.
        Descriptor fd(
            ::openat(fd_.get(), log.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            ec = lastError();
            return nullptr;
        }
        if (!S_ISREG(st.st_mode)) {
            ec = SweepErrc::notOrdinaryFile;
            return nullptr;
        }
        // A file mounted over the listed name (as containers mount a single log) is not the one
        // the folder's entry names underneath it: the listing says nothing of it.
        if (log.identity.known() && identityOf(st) != log.identity && !isMountRoot(fd.get())) {
            ec = SweepErrc::replaced;
            return nullptr;
        }
        if (st.st_size >= kSequentialHintFrom) {
            ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        }
        return std::make_unique<PosixInputFile>(std::move(fd), st);
    }

    bool readsTogether() const override {
#ifdef VESK_IO_URING
        return !plainCalls_ && !readingTogetherRefused();
#else
        return false;
#endif
    }

    void readLogs(std::span<LogRead> logs) override {
#ifdef VESK_IO_URING
        if (!plainCalls_) {
            logs = logs.subspan(readLogsTogether(fd_.get(), logs));
        }
#endif
        LogFolder::readLogs(logs);
    }

private:
    Descriptor fd_;
    FileIdentity identity_;
    bool inodesReliable_;
    bool plainCalls_;
};

class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem(bool namedDrafts, bool plainCalls)
        : namedDrafts_(namedDrafts), plainCalls_(plainCalls) {}

    std::unique_ptr<ReportDraft> draftReport(const std::filesystem::path& report,
                                             std::error_code& ec) override {
        return createPosixDraft(report, namedDrafts_, ec);
    }

    std::unique_ptr<LogFolder> openFolder(const std::filesystem::path& directory,
                                          std::error_code& ec) override {
        Descriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            ec = lastError();
            return nullptr;
        }
        return std::make_unique<PosixLogFolder>(std::move(fd), identityOf(st), plainCalls_);
    }

    FileLook lookAt(const std::filesystem::path& path, std::error_code& ec) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            ec = lastError();
            return {};
        }
        return lookOf(st);
    }

    bool isLink(const std::filesystem::path& path) override {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }

private:
    bool namedDrafts_;
    bool plainCalls_;
};

}  // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() {
    return std::make_unique<PosixFileSystem>(false, false);
}

std::unique_ptr<FileSystem> makeFileSystemWithNamedDrafts() {
    return std::make_unique<PosixFileSystem>(true, false);
}

std::unique_ptr<FileSystem> makeFileSystemWithPlainCalls() {
    return std::make_unique<PosixFileSystem>(false, true);
}

}  // namespace vesk
