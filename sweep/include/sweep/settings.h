#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace vesk {

// What a sweep may be tuned in, with the defaults every program uses. Tests and benchmarks set
// them otherwise.
struct SweepSettings {
    // Bytes read from a log at a time: small enough to stay in the processor's cache between the
    // read and the scan, large enough that the calls to read cost little beside the copying (as
    // many as cat makes).
    std::size_t blockSize = 128 * 1024;
    // Threads that read logs beside the sweep's own; unset, one for each core the process may use
    // beside it.
    std::optional<unsigned> readers;
    // Where there are such threads, a log at least twice this long is read in stretches of this
    // size, each by a thread of its own.
    std::uint64_t stretchSize = 4 * 1024 * 1024;
    // Findings that wait to be written, read ahead of the report, are held in memory up to this
    // much in all, and beyond it in a scratch file, so that memory does not grow with what the
    // logs hold. Following holds the findings it keeps in the scratch file beyond the first few
    // KiB of each log's, whatever this is.
    std::size_t findingsInMemory = 8 * 1024 * 1024;

    // Following: after a change, those that come with it are gathered for this long at most, so
    // that a writer's burst is read once and a writer that never pauses is read all the same...
    std::chrono::milliseconds gatherChanges{5};
    // ...and a burst of changes is gathered into one publication of the report this long after
    // its first.
    std::chrono::milliseconds gatherPublication{250};
    // Folders and files the system tells nothing of are looked at this often.
    std::chrono::milliseconds lookEvery{1000};
    // A publication that failed is tried again after this long, twice as long each time after,
    // up to the longest.
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestRetry{30000};
};

}  // namespace vesk
