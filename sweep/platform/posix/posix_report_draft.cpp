#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/posix/interrupts.h"
#include "platform/posix/posix_io.h"
#include "report/draft_name.h"

namespace vesk {
namespace {

// What the day's earlier report was made with: the new one takes it over, as an editor's save
// does.
struct Ownership {
    mode_t mode;
    uid_t owner;
    gid_t group;
};

// A nameless file is named through /proc; without it, drafts are named from the start.
bool canNameLater() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Takes away the drafts that runs which died left in the folder. A live run holds a lock on its
// draft for as long as it lives; the lock of one that died went with it.
void removeDeadDrafts(int folder) {
    std::error_code ignored;  // a folder that cannot be listed keeps what it holds
    const Listing dir = listFolder(folder, ignored);
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isDraftName(entry->d_name)) {
            continue;
        }
        const Descriptor draft(::openat(folder, entry->d_name,
                                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat held {};
        struct stat named {};
        if (draft.get() >= 0 && ::fstat(draft.get(), &held) == 0 && S_ISREG(held.st_mode) &&
            ::flock(draft.get(), LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(folder, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            identityOf(held) == identityOf(named)) {
            ::unlinkat(folder, entry->d_name, 0);
        }
    }
}

class PosixReportDraft final : public ReportDraft {
public:
    PosixReportDraft(Descriptor folder, FileIdentity folderIdentity,
                     std::filesystem::path folderPath, std::string reportName,
                     std::optional<Ownership> earlier)
        : folder_(std::move(folder)),
          folderIdentity_(folderIdentity),
          folderPath_(std::move(folderPath)),
          reportName_(std::move(reportName)),
          earlier_(earlier) {}

    // Nameless where the file system allows it, else under a name held by this run's lock.
    void create(bool named, std::error_code& ec) {
        if (!named && canNameLater()) {
            file_ = Descriptor(
                ::openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0666));
            const int error = errno;
            if (file_.get() >= 0) {
                ::flock(file_.get(), LOCK_EX);  // held once it has a name
                return;
            }
            if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
                ec = {error, std::system_category()};
                return;
            }
        }
        // A signal between the draft's creation and its arming would leave it behind.
        const interrupts::Held held;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = draftNameFor(reportName_).native();
            Descriptor file(
                ::openat(folder_.get(), name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666));
            if (file.get() < 0) {
                if (errno != EEXIST) {
                    ec = lastError();
                    return;
                }
                continue;
            }
            // Another run may have taken it for a dead one's before the lock was on it.
            struct stat st {};
            if (::flock(file.get(), LOCK_EX) == 0 && ::fstat(file.get(), &st) == 0 &&
                st.st_nlink > 0) {
                file_ = std::move(file);
                setName(std::move(name));
                return;
            }
        }
        ec = std::make_error_code(std::errc::file_exists);
    }

    ~PosixReportDraft() override {
        if (state_ != State::published && state_ != State::kept && !name_.empty()) {
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
        if (earlier_) {
            // The owner and group where this run may set them; the mode after them, since a
            // change of owner clears the set-id bits.
            if (::fchown(file_.get(), earlier_->owner, earlier_->group) != 0) {
                ::fchown(file_.get(), static_cast<uid_t>(-1), earlier_->group);
            }
            ::fchmod(file_.get(), earlier_->mode & 07777);
        }
        // The disk may refuse only now what write() took in, as delayed allocation does.
        if (::fsync(file_.get()) != 0) {
            ec = lastError();
            return;
        }
        state_ = State::finished;
    }

    void publish(std::error_code& ec) override {
        // Named and moved over the report with the signals held back, so that neither step is
        // cut short.
        const interrupts::Held held;
        if (name_.empty() && !nameNow(ec)) {
            return;
        }
        if (::renameat(folder_.get(), name_.c_str(), folder_.get(), reportName_.c_str()) != 0) {
            ec = lastError();
            keep();
            return;
        }
        interrupts::disarmDraft();
        state_ = State::published;
        file_.reset();
        // Makes the new name outlast a crash. Nothing is lost when that fails (some file systems
        // cannot flush a folder at all), so it is not the run's failure.
        ::fsync(folder_.get());
    }

    const std::filesystem::path& draftPath() const override { return keptPath_; }
    FileIdentity folderIdentity() const override { return folderIdentity_; }

private:
    enum class State { writing, finished, published, kept };

    void setName(std::string name) {
        name_ = std::move(name);
        interrupts::armDraft(folder_.get(), name_);
    }

    // The nameless draft, whole, gets a hidden name of its own.
    bool nameNow(std::error_code& ec) {
        const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = draftNameFor(reportName_).native();
            if (::linkat(AT_FDCWD, self.c_str(), folder_.get(), name.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                setName(std::move(name));
                return true;
            }
            if (errno != EEXIST) {
                ec = lastError();
                return false;
            }
        }
        ec = std::make_error_code(std::errc::file_exists);
        return false;
    }

    // The draft could not take the report's place: it is kept, with the run's findings, under a
    // name that no later run takes away.
    void keep() {
        const std::string kept = keptNameFor(reportName_).native();
        if (::renameat(folder_.get(), name_.c_str(), folder_.get(), kept.c_str()) == 0) {
            name_ = kept;
        }
        interrupts::disarmDraft();
        keptPath_ = folderPath_ / name_;
        state_ = State::kept;
    }

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

    Descriptor folder_;
    FileIdentity folderIdentity_;
    std::filesystem::path folderPath_;
    std::string reportName_;
    std::optional<Ownership> earlier_;
    Descriptor file_;
    std::string name_;  // empty while the draft has none
    std::filesystem::path keptPath_;
    State state_ = State::writing;
    std::uint64_t written_ = 0;
    std::uint64_t sentToDisk_ = 0;
};

}  // namespace

std::unique_ptr<ReportDraft> createPosixDraft(const std::filesystem::path& report, bool named,
                                              std::error_code& ec) {
    interrupts::install();
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
    std::optional<Ownership> earlier;
    if (::fstatat(folder.get(), reportName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            ec = std::make_error_code(std::errc::is_a_directory);
            return nullptr;
        }
        if (S_ISREG(existing.st_mode)) {
            earlier = Ownership{existing.st_mode, existing.st_uid, existing.st_gid};
        }
    }
    removeDeadDrafts(folder.get());
    auto draft = std::make_unique<PosixReportDraft>(std::move(folder), identityOf(st), folderPath,
                                                    reportName, earlier);
    draft->create(named, ec);
    return ec ? nullptr : std::move(draft);
}

}  // namespace vesk
