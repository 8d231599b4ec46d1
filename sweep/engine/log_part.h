#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <system_error>

#include "engine/part_findings.h"
#include "engine/part_reading.h"
#include "report/findings.h"
#include "rule/log_scanner.h"
#include "sweep/file_system.h"

namespace vesk {

struct PassLog;  // the log it is a part of, as the pass holds it

// What a pass does with the logs: joins them straight into the report, or keeps each log read
// on its own, its last line left open and where each finding begins known, for following.
enum class PassMode { report, keep };

// A part of a log: the bytes from `from` to `until` (the log's end for its last part), each read
// by one thread only.
struct LogPart {
    enum class State { waiting, reading, done };

    PassLog* log = nullptr;
    std::size_t index = 0;
    std::uint64_t from = 0;
    std::uint64_t until = 0;
    bool last = false;
    State state = State::waiting;
    // What a part read ahead found; a part the joiner read went straight into its target.
    std::uint64_t skipped = 0;  // looked through: a long line's bytes before its head
    std::string head;           // up to its first line end, the end of the line before it, and
                                // a few bytes after
    bool empty = false;         // no line end in it
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::error_code ec;
    // Held in place: a part of many small logs is a whole one, and allocations cost there.
    MarkerFilter filter;
    std::optional<PartFindings> findings;
    std::optional<LogScanner> scanner;

    // Where it ends: at until, or with the log.
    std::optional<std::uint64_t> boundary() const {
        return last ? std::nullopt : std::optional(until);
    }
    // Reads it on its own, not knowing the line before it: its first line apart, the flag up
    // before it so that it comes. The last part of a log ends it, unless the log is kept.
    void readOnItsOwn(InputFile& file, FindingSpool& spool, std::span<char> buffer,
                      const std::stop_token& stop, PassMode mode, BlockWatch* watch = nullptr);
};

}  // namespace vesk
