#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#include "sweep/file_system.h"

namespace vesk {

// A log to read, as its folder listed it.
struct LogToRead {
    LogFolder* folder;
    const ListedFile* log;
};

// The logs of a sweep, one after another in the listing's order, each as blocks of its bytes as
// far as it reached when it was opened.
class LogBlocks {
public:
    virtual ~LogBlocks() = default;
    // Opens the next log; false with the reason when it cannot be.
    virtual bool open(std::error_code& ec) = 0;
    // The open log's next block, valid until the next call; empty at its end, or with the reason
    // when it could not be read to its end (what was read of it came before).
    virtual std::span<const char> next(std::error_code& ec) = 0;
};

// The number of threads that read ahead of the scanner: one for each core the program has that
// no other task keeps busy now, beside the scanner's own, which reads too while it would wait.
unsigned defaultReaders();

// That number for the cores the program has and the system's /proc/loadavg line; where the line
// says nothing, every core but the scanner's.
unsigned readersBeside(unsigned cores, std::string_view loadavg);

// The logs read on the scanner's own thread when readers is 0; else read ahead on that many
// threads, small logs several at a time and a large log in blocks from several offsets, within
// 2 MiB of buffers.
std::unique_ptr<LogBlocks> readLogs(std::vector<LogToRead> logs, unsigned readers);

}  // namespace vesk
