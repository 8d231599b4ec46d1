#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <system_error>
#include <vector>

#include "rule/log_scanner.h"
#include "sweep/file_system.h"

namespace vesk {

// Told of each block read, and where in the file it lay.
class BlockWatch {
public:
    virtual ~BlockWatch() = default;
    virtual void read(std::span<const char> block, std::uint64_t offset) = 0;
};

// Reads size bytes at offset, or as many as the file still has: fewer than asked for means it
// became shorter than when it was opened, and sets ec to shrank. Returns how many it read.
std::size_t readFully(InputFile& file, std::uint64_t offset, char* data, std::size_t size,
                      std::error_code& ec);

// Reads the file from `at` into the scanner, a block at a time, up to `until` where it is given,
// else to the file's size when it was opened, looking at the stop request before each block.
// Returns where it stopped. A read that fails, or comes short because the file became shorter,
// sets ec there; a stop requested sets operation_canceled.
std::uint64_t readStretch(InputFile& file, std::uint64_t at, std::optional<std::uint64_t> until,
                          std::span<char> buffer, LogScanner& scanner, const std::stop_token& stop,
                          std::error_code& ec, BlockWatch* watch = nullptr);

// What reading a stretch ahead gave: where its own lines began, unset when it held no line end,
// where the reading ended, and the bytes before its head, which hold no line end.
struct StretchRead {
    std::optional<std::uint64_t> start;
    std::uint64_t end;
    std::uint64_t skipped;
};

// Reads the stretch [from, until) of a log, in the middle of it, once and on its own. Its bytes up
// to and with its first line end byte end the line that began before it: they are kept in head,
// with the few bytes after them that tell the form of a line starting there, for the thread that
// joins to scan after the stretch before, unless they are more than its first
// block: then only the line end is kept, and the bytes before it are skipped, which change nothing
// in a line that neither passes nor is still being matched (the thread that joins reads them
// itself where the line does pass). The lines after go into the scanner, begun as a part, up to
// until, where the last of them goes on into the next stretch.
StretchRead readStretchAhead(InputFile& file, std::uint64_t from, std::uint64_t until,
                             std::span<char> buffer, std::string& head, LogScanner& scanner,
                             const std::stop_token& stop, std::error_code& ec);

}  // namespace vesk
