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

#include "draft_name.h"
#include "interrupts.h"
#include "log_name.h"
#include "sweep/file_system.h"

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
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&&) = delete;
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

// Reading ahead pays only when a log is several blocks long.
constexpr off_t kSequentialHintFrom = 1024 * 1024;

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(Descriptor fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}

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
    std::uint64_t size() const override { return size_; }

private:
    Descriptor fd_;
    std::uint64_t size_;
};

class PosixLogFolder final : public LogFolder {
public:
    PosixLogFolder(Descriptor fd, FileIdentity identity)
        : fd_(std::move(fd)),
          identity_(identity),
          inodesReliable_(directoryInodesAreReliable(fd_.get())) {}

    FileIdentity identity() const override { return identity_; }

    std::vector<ListedFile> listFiles(bool withLogSizes, std::error_code& ec) override {
        std::vector<ListedFile> files;
        Descriptor duplicate(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
        DIR* dir = duplicate.get() < 0 ? nullptr : ::fdopendir(duplicate.get());
        if (dir == nullptr) {
            ec = lastError();
            return files;
        }
        duplicate.release();
        ::rewinddir(dir);  // the duplicate shares its position with the folder's descriptor
        const auto statusWanted = [&](std::string_view name) {
            return (withLogSizes || !inodesReliable_) && hasLogExtension(name);
        };
        const auto found = [&](const FileEntry& file) {
            ListedFile& listed = files.emplace_back(ListedFile{file.entry->d_name, {}, 0});
            if (file.status != nullptr) {
                listed.identity = identityOf(*file.status);
                listed.size = static_cast<std::uint64_t>(file.status->st_size);
            } else if (file.entry->d_type == DT_REG) {
                listed.identity = {identity_.volume, static_cast<std::uint64_t>(file.entry->d_ino)};
            }
        };
        forEachFile(dir, statusWanted, found, ec);
        ::closedir(dir);
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
        // A file mounted over the listed name lies on another volume, where the listing's inode
        // number says nothing.
        const FileIdentity opened = identityOf(st);
        if (log.identity.known() && opened != log.identity &&
            opened.volume == log.identity.volume) {
            ec = SweepErrc::replaced;
            return nullptr;
        }
        if (st.st_size >= kSequentialHintFrom) {
            ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        }
        return std::make_unique<PosixInputFile>(std::move(fd),
                                                static_cast<std::uint64_t>(st.st_size));
    }

private:
    Descriptor fd_;
    FileIdentity identity_;
    bool inodesReliable_;
};

class PosixReportDraft final : public ReportDraft {
public:
    static std::unique_ptr<ReportDraft> create(const std::filesystem::path& report,
                                               std::error_code& ec) {
        const std::filesystem::path folderPath =
            report.has_parent_path() ? report.parent_path() : std::filesystem::path(".");
        Descriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (folder.get() < 0 || ::fstat(folder.get(), &st) != 0) {
            ec = lastError();
            return nullptr;
        }
        const std::string reportName = report.filename().native();
        struct stat existing {};
        if (::fstatat(folder.get(), reportName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(existing.st_mode)) {
            ec = std::make_error_code(std::errc::is_a_directory);
            return nullptr;
        }
        // A signal between the draft's creation and its arming would leave it behind.
        const interrupts::Held held;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = draftNameFor(reportName).native();
            Descriptor file(
                ::openat(folder.get(), name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666));
            if (file.get() >= 0) {
                return std::unique_ptr<ReportDraft>(
                    new PosixReportDraft(std::move(folder), identityOf(st), std::move(file), name,
                                         reportName, folderPath / name));
            }
            if (errno != EEXIST) {
                ec = lastError();
                return nullptr;
            }
        }
        ec = std::make_error_code(std::errc::file_exists);
        return nullptr;
    }

    ~PosixReportDraft() override {
        if (state_ == State::writing || state_ == State::finished) {
            file_.reset();
            ::unlinkat(folder_.get(), name_.c_str(), 0);
            interrupts::disarmDraft();  // only now, as in publish()
        }
    }

    void write(const char* data, std::size_t size, std::error_code& ec) override {
        while (size > 0) {
            const ssize_t n = ::write(file_.get(), data, size);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ec = lastError();
                return;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
            written_ += static_cast<std::uint64_t>(n);
        }
        startWriteBack();
    }

    void finish(std::error_code& ec) override {
        // The disk may refuse only now what write() took in, as delayed allocation does.
        if (::fsync(file_.get()) != 0 || ::close(file_.release()) != 0) {
            ec = lastError();
            return;
        }
        state_ = State::finished;
    }

    void publish(std::error_code& ec) override {
        const int renamed =
            ::renameat(folder_.get(), name_.c_str(), folder_.get(), reportName_.c_str());
        interrupts::disarmDraft();  // only now: until the rename, a signal must still take it away
        if (renamed != 0) {
            ec = lastError();
            state_ = State::kept;
            return;
        }
        state_ = State::published;
        // Makes the new name outlast a crash. Nothing is lost when that fails (some file systems
        // cannot flush a folder at all), so it is not the run's failure.
        ::fsync(folder_.get());
    }

    const std::filesystem::path& draftPath() const override { return path_; }
    FileIdentity folderIdentity() const override { return folderIdentity_; }

private:
    enum class State { writing, finished, published, kept };

    // Sends what is written on to the disk while the run reads on, so that the flush at the end
    // has little left to wait for.
    void startWriteBack() {
#ifdef __linux__
        constexpr std::uint64_t kWriteBackEvery = 1024 * 1024;
        if (written_ - sentToDisk_ >= kWriteBackEvery) {
            ::sync_file_range(file_.get(), static_cast<off_t>(sentToDisk_),
                              static_cast<off_t>(written_ - sentToDisk_), SYNC_FILE_RANGE_WRITE);
            sentToDisk_ = written_;
        }
#endif
    }

    PosixReportDraft(Descriptor folder, FileIdentity folderIdentity, Descriptor file,
                     std::string name, std::string reportName, std::filesystem::path path)
        : folder_(std::move(folder)),
          folderIdentity_(folderIdentity),
          file_(std::move(file)),
          name_(std::move(name)),
          reportName_(std::move(reportName)),
          path_(std::move(path)) {
        interrupts::armDraft(folder_.get(), name_);
    }

    Descriptor folder_;
    FileIdentity folderIdentity_;
    Descriptor file_;
    std::string name_;
    std::string reportName_;
    std::filesystem::path path_;
    State state_ = State::writing;
    std::uint64_t written_ = 0;
    std::uint64_t sentToDisk_ = 0;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<ReportDraft> draftReport(const std::filesystem::path& report,
                                             std::error_code& ec) override {
        return PosixReportDraft::create(report, ec);
    }

    std::unique_ptr<LogFolder> openFolder(const std::filesystem::path& directory,
                                          std::error_code& ec) override {
        Descriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            ec = lastError();
            return nullptr;
        }
        return std::make_unique<PosixLogFolder>(std::move(fd), identityOf(st));
    }
};

}  // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace vesk
