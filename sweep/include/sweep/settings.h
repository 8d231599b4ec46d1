#pragma once

#include <cstddef>
#include <optional>

namespace vesk {

// What a sweep may be tuned in, with the defaults every program uses. Tests and benchmarks set
// them otherwise.
struct SweepSettings {
    // Bytes read from a log at a time: small enough to stay in the processor's cache between the
    // read and the scan.
    std::size_t blockSize = 64 * 1024;
    // Threads that read logs beside the sweep's own; unset, as many as the machine's cores allow.
    std::optional<unsigned> readers;
};

}  // namespace vesk
