#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

#include "sweep/file_system.h"

namespace vesk {

// A log as it was when it was last read: which file, how far, its times then, and its first and
// last bytes read, by which a log that was written again is told from one that grew.
struct LogMark {
    static constexpr std::size_t kPrint = 64;  // bytes kept of the head and of the tail

    FileIdentity identity;
    std::uint64_t size = 0;
    FileTimes times;
    std::string head;
    std::string tail;
};

// What became of a log under its name. A log renamed (its file under another name) or gone is
// told apart from these by the folder it is in.
enum class LogChange { unchanged, grown, rewritten };

// Tells what became of a log since it was marked, from the file its name leads to now, opened:
// another file, or one shorter, or with other first bytes, or other bytes where the last read
// ended, is the log written again; one longer is the log grown; one as long whose modification
// time moved on was written in place, and is read again too. A change of its entry alone (its
// permissions, its change time) changes nothing.
LogChange tellChange(const LogMark& known, InputFile& now, std::error_code& ec);

}  // namespace vesk
