#pragma once

#include <cstdint>
#include <optional>
#include <system_error>

#include "engine/kept_log.h"
#include "sweep/listed_folder.h"

namespace vesk {

// The findings of a log to tell of: those whose lines begin at or after the offset, and its first
// line where first, wherever it begins.
struct TellStart {
    std::uint64_t offset = 0;
    bool first = true;
};

// Takes each log a run reads on its own, as far as it was read, to go on reading it: following.
class LogKeeper {
public:
    virtual ~LogKeeper() = default;
    // Once the log was read: which of its findings are told of; none, where none are.
    virtual std::optional<TellStart> tellFrom(const ListedFolder& folder, const ListedFile& log,
                                              const KeptLog& kept) = 0;
    // The log as read, joined into the report after a line that was a marker line or not; what
    // it holds may be taken, and is held in the run's own memory and scratch file until the run
    // ends. ec: why it could not be opened, or read to its end.
    virtual void keep(const ListedFolder& folder, const ListedFile& log, KeptLog& kept,
                      bool flagBefore, const std::error_code& ec) = 0;
};

}  // namespace vesk
