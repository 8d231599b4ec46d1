#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <system_error>

#include "engine/part_reading.h"
#include "sweep/file_system.h"

namespace vesk {

// A print of a log's bytes up to a length, by which a log that grew is told from one written
// again, and a copy of a log from a new one: its first bytes, its last, and a few bytes at even
// spaces between them, so that a log written anew with the same first and last lines is told
// apart too, at a cost that does not grow with the log. A rewrite that changes no byte the print
// looks at is not seen; a log written anew changes most.
class LogPrint {
public:
    static constexpr std::size_t kEnds = 64;    // bytes at each end
    static constexpr std::size_t kSamples = 8;  // between them...
    static constexpr std::size_t kSample = 16;  // ...of this many bytes each

    // Where it looks in a log of that size, in order: offsets and lengths.
    struct Window {
        std::uint64_t offset;
        std::size_t size;
    };
    static std::array<Window, kSamples + 2> windows(std::uint64_t size);

    // Of the first `size` bytes of the file, read where the print looks; 0 with ec where they
    // cannot be read (the file is shorter, or a read fails).
    static std::uint64_t of(InputFile& file, std::uint64_t size, std::error_code& ec);
    // Of the first min(size, kEnds) bytes alone: what a log begins with.
    static std::uint64_t headOf(InputFile& file, std::uint64_t size, std::error_code& ec);
    // Of the bytes the windows hold, one after the other.
    static std::uint64_t ofBytes(std::string_view bytes, std::uint64_t size);
    static std::uint64_t headOfBytes(std::string_view bytes);
};

// The print of a log of a known size read from its start, block after block, as it goes by: no
// read of its own.
class PrintWatch final : public BlockWatch {
public:
    explicit PrintWatch(std::uint64_t size);
    void read(std::span<const char> block, std::uint64_t offset) override;
    // Once the blocks went by up to the size.
    std::uint64_t print() const;
    std::uint64_t head() const;

private:
    std::uint64_t size_;
    std::array<LogPrint::Window, LogPrint::kSamples + 2> windows_;
    std::string bytes_;  // what the windows hold, one after the other
};

}  // namespace vesk
