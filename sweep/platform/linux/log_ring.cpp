#include "platform/linux/log_ring.h"

#include <fcntl.h>
#include <liburing.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <vector>

namespace vesk {
namespace {

// Logs in flight at once, and so the ring's own descriptors.
constexpr unsigned kLogs = 32;

// Once the system has refused, no thread asks again.
std::atomic<bool> refused{false};
std::atomic<std::uint64_t> readTogether{0};

bool refusal(int error) {
    return error != EMFILE && error != ENFILE && error != ENOMEM && error != EAGAIN &&
           error != EINTR;
}

// A thread's ring, made at its first batch and closed with the thread.
class Ring {
public:
    Ring() = default;
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
    ~Ring() {
        if (ready_) {
            ::io_uring_queue_exit(&ring_);
        }
    }

    // Sets it up where it is not; the error where that fails.
    int make() {
        if (ready_) {
            return 0;
        }
        // Completions only when the thread asks for them: fewer interruptions, where the kernel
        // knows these flags.
        io_uring_params params{};
        params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN;
        int error = ::io_uring_queue_init_params(4 * kLogs, &ring_, &params);
        if (error == -EINVAL) {
            params = {};
            error = ::io_uring_queue_init_params(4 * kLogs, &ring_, &params);
        }
        if (error < 0) {
            return -error;
        }
        error = ::io_uring_register_files_sparse(&ring_, kLogs);
        if (error < 0) {
            ::io_uring_queue_exit(&ring_);
            return -error;
        }
        ready_ = true;
        return 0;
    }

    io_uring_sqe* entry() { return ::io_uring_get_sqe(&ring_); }

    // Submits what was prepared and takes the results of all of it, by each entry's user data.
    int complete(unsigned count, std::vector<int>& results) {
        int submitted = ::io_uring_submit_and_wait(&ring_, count);
        while (submitted == -EINTR) {
            submitted = ::io_uring_submit_and_wait(&ring_, count);
        }
        if (submitted < 0) {
            return submitted;
        }
        for (unsigned seen = 0; seen < count;) {
            io_uring_cqe* cqe = nullptr;
            const int error = ::io_uring_wait_cqe(&ring_, &cqe);
            if (error == -EINTR) {
                continue;
            }
            if (error < 0) {
                return error;
            }
            results[static_cast<std::size_t>(cqe->user_data)] = cqe->res;
            ::io_uring_cqe_seen(&ring_, cqe);
            ++seen;
        }
        return 0;
    }

private:
    io_uring ring_{};
    bool ready_ = false;
};

std::error_code systemError(int error) {
    return {error, std::system_category()};
}

// What openLog would say of the file the name led to: an ordinary file, the one listed or a file
// mounted over it.
std::error_code refusedAs(const ListedFile& log, const struct statx& status) {
    if (!S_ISREG(status.stx_mode)) {
        return SweepErrc::notOrdinaryFile;
    }
    const FileIdentity identity{makedev(status.stx_dev_major, status.stx_dev_minor),
                                status.stx_ino};
#ifdef STATX_ATTR_MOUNT_ROOT
    const bool mountRoot = (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                           (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#else
    const bool mountRoot = false;
#endif
    if (log.identity.known() && identity != log.identity && !mountRoot) {
        return SweepErrc::replaced;
    }
    return {};
}

// Up to kLogs logs: the opens, each with a look at what its name leads to, then the reads of the
// ordinary files that fit, each with its close. False where the ring failed them, with the logs
// as they were.
bool readSome(Ring& ring, int folderFd, std::span<LogRead> logs) {
    thread_local std::vector<int> results(2 * kLogs);
    thread_local std::vector<struct statx> looks(kLogs);
    const auto count = static_cast<unsigned>(logs.size());
    for (unsigned i = 0; i < count; ++i) {
        io_uring_sqe* open = ring.entry();
        // Non-blocking, so that a FIFO put in a log's place cannot stall the run.
        ::io_uring_prep_openat_direct(open, folderFd, logs[i].log->name.c_str(),
                                      O_RDONLY | O_NOCTTY | O_NONBLOCK, 0,
                                      IORING_FILE_INDEX_ALLOC - 1);
        open->flags |= IOSQE_IO_LINK;
        open->user_data = 2 * i;
        // The name looked at right after the open: the file it leads to is the one opened, unless
        // it was swapped twice in between.
        io_uring_sqe* look = ring.entry();
        ::io_uring_prep_statx(look, folderFd, logs[i].log->name.c_str(), AT_STATX_SYNC_AS_STAT,
                              STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME,
                              &looks[i]);
        look->user_data = 2 * i + 1;
    }
    if (ring.complete(2 * count, results) < 0) {
        refused = true;  // with nothing known of what was opened, the ring is not used again
        return false;
    }
    bool directRefused = false;
    for (unsigned i = 0; i < count; ++i) {
        directRefused |= results[2 * i] == -EINVAL;
    }
    unsigned submitted = 0;
    for (unsigned i = 0; i < count; ++i) {
        LogRead& log = logs[i];
        const int slot = results[2 * i];
        if (slot < 0) {
            log.ec = systemError(-slot);
            continue;
        }
        if (results[2 * i + 1] < 0) {
            log.ec = systemError(-results[2 * i + 1]);
        } else if (!directRefused) {
            log.ec = refusedAs(*log.log, looks[i]);
        }
        const bool read = !directRefused && !log.ec;
        if (read) {
            const struct statx& look = looks[i];
            const auto nanoseconds = [](const statx_timestamp& t) {
                return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
            };
            log.size = look.stx_size;
            log.identity = {makedev(look.stx_dev_major, look.stx_dev_minor), look.stx_ino};
            log.times = {nanoseconds(look.stx_mtime), nanoseconds(look.stx_ctime)};
            log.larger = log.size > log.into.size();
        }
        if (read && !log.larger && log.size > 0) {
            io_uring_sqe* sqe = ring.entry();
            ::io_uring_prep_read(sqe, slot, log.into.data(), static_cast<unsigned>(log.size), 0);
            sqe->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
            sqe->user_data = 2 * i;
            ++submitted;
        } else {
            results[2 * i] = 0;
        }
        io_uring_sqe* close = ring.entry();
        ::io_uring_prep_close_direct(close, static_cast<unsigned>(slot));
        close->user_data = 2 * i + 1;
        ++submitted;
    }
    // Where the reads' outcome is not known, or opening into the ring's table was refused, the
    // logs are left for plain calls, and the ring, whose descriptors may be left open, unused.
    if ((submitted > 0 && ring.complete(submitted, results) < 0) || directRefused) {
        for (LogRead& log : logs) {
            log.ec.clear();
            log.size = 0;
            log.larger = false;
        }
        refused = true;
        return false;
    }
    for (unsigned i = 0; i < count; ++i) {
        LogRead& log = logs[i];
        if (log.ec || log.larger || log.size == 0) {
            continue;
        }
        const int read = results[2 * i];
        if (read < 0) {
            log.ec = systemError(-read);
        } else {
            log.read = static_cast<std::size_t>(read);
            if (log.read < log.size) {
                log.ec = SweepErrc::shrank;
            }
        }
    }
    return true;
}

}  // namespace

std::size_t readLogsTogether(int folderFd, std::span<LogRead> logs) {
    if (refused) {
        return 0;
    }
    thread_local Ring ring;
    // A thread short of descriptors for a ring reads with plain calls from then on, rather than
    // take one from the logs' opens at each batch.
    thread_local bool shortOfDescriptors = false;
    if (shortOfDescriptors) {
        return 0;
    }
    if (const int error = ring.make()) {
        refused = refused || refusal(error);
        shortOfDescriptors = !refusal(error);
        return 0;
    }
    std::size_t at = 0;
    while (at < logs.size()) {
        const std::size_t count = std::min<std::size_t>(kLogs, logs.size() - at);
        if (!readSome(ring, folderFd, logs.subspan(at, count))) {
            break;
        }
        at += count;
    }
    readTogether += at;
    return at;
}

bool readingTogetherRefused() {
    return refused;
}

std::uint64_t logsReadTogether() {
    return readTogether;
}

}  // namespace vesk
