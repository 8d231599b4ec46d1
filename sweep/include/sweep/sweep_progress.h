#pragma once

#include <cstddef>
#include <filesystem>

namespace vesk {

// Follows a run byte by byte, for a progress finer than the bar's one step per log.
class SweepProgress {
public:
    virtual ~SweepProgress() = default;
    virtual void logOpened(const std::filesystem::path& path) = 0;
    virtual void bytesRead(std::size_t bytes) = 0;
};

}  // namespace vesk
