#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sweep/file_system.h"

namespace vesk {

// Reads small logs of the folder open as folderFd through io_uring, each as LogFolder::readLogs
// says: the opens, each with a look at what it opened, submitted together, then the reads, each
// with its close; the logs are held by descriptors of the ring's own, not the process's. Returns
// how many of the logs, from the first, it read: none where io_uring cannot be had (the system
// has none, or refuses it: seccomp, io_uring_disabled), or lacks what it takes (descriptors of
// the ring's own); the rest are for plain calls.
std::size_t readLogsTogether(int folderFd, std::span<LogRead> logs);

// Whether the system refused io_uring, so that no thread asks it again.
bool readingTogetherRefused();

// Logs read so far through io_uring, by every thread: for tests.
std::uint64_t logsReadTogether();

}  // namespace vesk
