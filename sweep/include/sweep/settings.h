#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vesk {

// What a sweep may be tuned in, with the defaults every program uses. Tests and benchmarks set
// them otherwise.
struct SweepSettings {
    // Bytes read from a log at a time: small enough to stay in the processor's cache between the
    // read and the scan.
    std::size_t blockSize = 64 * 1024;
    // Threads that read logs beside the sweep's own; unset, one for each core the process may use
    // beside it.
    std::optional<unsigned> readers;
    // Where there are such threads, a log at least twice this long is read in stretches of this
    // size, each by a thread of its own.
    std::uint64_t stretchSize = 4 * 1024 * 1024;
};

}  // namespace vesk
