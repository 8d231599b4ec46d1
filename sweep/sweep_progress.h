#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace vesk {

// Follows a run byte by byte, for a progress finer than the bar's one step per log.
class SweepProgress {
public:
    virtual ~SweepProgress() = default;
    // A folder's logs were listed; bytes is their length then.
    virtual void folderListed(std::size_t logs, std::uint64_t bytes) = 0;
    virtual void logOpened(const std::filesystem::path& path) = 0;
    virtual void bytesRead(std::size_t bytes) = 0;
};

}  // namespace vesk
