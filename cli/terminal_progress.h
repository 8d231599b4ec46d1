#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "sweep/sweep.h"

namespace vesk {

// A run's progress as it goes. Given a terminal, it is drawn there, by bytes: the share of the
// listed bytes read, the log being read, the rate and the time left. It is redrawn at most ten
// times a second, so that a single huge log moves and many tiny ones cost nothing, and a last time
// at the end.
class TerminalProgress final : public SweepEvents {
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;

    // terminal: none where the progress is not shown.
    TerminalProgress(std::FILE* terminal, std::uint64_t bytesListed,
                     Now now = std::chrono::steady_clock::now);

    void logOpened(const std::filesystem::path& folder, const ListedFile& log) override;
    void bytesRead(std::size_t bytes) override;
    // Takes the progress off its line, for a message; the next drawing puts it back.
    void clear();
    // The last line, with what was read in all and how long it took.
    void finish();

private:
    void drawWhenDue();
    void draw(const std::string& tail);
    double seconds() const;

    std::FILE* terminal_;
    std::uint64_t total_;
    Now now_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::uint64_t done_ = 0;
    const ListedFile* log_ = nullptr;  // the one being read
};

}  // namespace vesk
