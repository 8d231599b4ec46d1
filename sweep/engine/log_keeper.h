#pragma once

#include <cstdint>
#include <optional>
#include <system_error>

#include "engine/kept_log.h"
#include "sweep/listed_folder.h"

namespace vesk {

// Takes each log a run reads on its own, as far as it was read, to go on reading it: following.
class LogKeeper {
public:
    virtual ~LogKeeper() = default;
    // Where the findings of the logs it keeps are kept, and so those the run reads.
    virtual FindingSpool& spool() = 0;
    // Once the log was read: where its findings begin to be told of; none, where none are.
    virtual std::optional<std::uint64_t> tellFrom(const ListedFolder& folder, const ListedFile& log,
                                                  const KeptLog& kept) = 0;
    // The log as read, joined into the report after a line that was a marker line or not; what
    // it holds may be taken. ec: why it could not be opened, or read to its end.
    virtual void keep(const ListedFolder& folder, const ListedFile& log, KeptLog& kept,
                      bool flagBefore, const std::error_code& ec) = 0;
};

}  // namespace vesk
