#pragma once

#include <cstdint>
#include <system_error>

#include "sweep/file_system.h"

namespace vesk {

// A log as it was when it was last read: which file, how far, its times then, and prints of its
// first bytes and of all it held (see LogPrint), by which a log written again is told from one
// that grew.
struct LogMark {
    FileIdentity identity;
    std::uint64_t size = 0;
    FileTimes times;
    std::uint64_t print = 0;
    std::uint64_t head = 0;
};

// What became of a log under its name. A log renamed (its file under another name) or gone is
// told apart from these by the folder it is in.
enum class LogChange { unchanged, grown, rewritten };

// Tells what became of a log since it was marked, from the file its name leads to now, opened:
// another file, or one shorter, or one whose bytes up to where the last read ended print
// otherwise, is the log written again; one longer is the log grown. One as long whose
// modification time moved on was written in place, and one whose entry alone changed may have
// been (its time put back, as cp -p and touch -r do): both are read again, and what they held
// before is not told of again.
LogChange tellChange(const LogMark& known, InputFile& now, std::error_code& ec);

}  // namespace vesk
