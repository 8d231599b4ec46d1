#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <system_error>

namespace vesk {

// A file of the process's own for what does not fit in memory: nameless, or removed with its last
// handle, so that nothing is left of it however the process ends.
class ScratchFile {
public:
    virtual ~ScratchFile() = default;
    virtual void writeAt(std::uint64_t offset, const char* data, std::size_t size,
                         std::error_code& ec) = 0;
    virtual void readAt(std::uint64_t offset, char* data, std::size_t size,
                        std::error_code& ec) = 0;
    // The bytes are no longer needed: the disk may have their room back.
    virtual void discard(std::uint64_t offset, std::uint64_t size) = 0;
};

// In the system's folder for temporary files.
std::unique_ptr<ScratchFile> openScratchFile(std::error_code& ec);

}  // namespace vesk
