#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
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

// Where the first line that starts at or after `from` begins: right after a line end (CR LF, CR
// or LF). Unset when none starts before `until`.
std::optional<std::uint64_t> firstLineStart(InputFile& file, std::uint64_t from,
                                            std::uint64_t until, std::span<char> buffer,
                                            std::error_code& ec);

// Reads the file from `at` into the scanner, a block at a time: to the first line that starts at
// or after `boundary` where one is given, else to the file's size when it was opened. Returns
// where it stopped. A read that fails, or comes short because the file became shorter, sets ec
// there; a stop requested sets operation_canceled.
std::uint64_t readStretch(InputFile& file, std::uint64_t at, std::optional<std::uint64_t> boundary,
                          std::span<char> buffer, LogScanner& scanner, const std::stop_token& stop,
                          std::error_code& ec, BlockWatch* watch = nullptr);

}  // namespace vesk
