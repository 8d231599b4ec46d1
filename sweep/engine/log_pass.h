#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <system_error>
#include <vector>

#include "engine/kept_log.h"
#include "engine/log_part.h"
#include "report/findings.h"
#include "report/report_file.h"
#include "rule/marker_filter.h"
#include "sweep/file_system.h"
#include "sweep/settings.h"

namespace vesk {

// A log to read, as its folder listed it.
struct LogToRead {
    LogFolder* folder;
    const ListedFile* log;
};

// What the pass tells of the log it joins, on the joining thread.
class PassEvents {
public:
    virtual ~PassEvents() = default;
    virtual void opened() = 0;
    virtual void read(std::uint64_t bytes) = 0;
};

// The logs of a run read in parts, each part read and scanned by one thread on its own, and
// joined in the listing's order, so that what is joined is byte for byte what one thread reading
// log after log writes.
//
// A part is a whole log, or a stretch of a log larger than a few blocks; each byte is read by one
// thread only. The thread that joins reads the part it is to join next itself. Other threads read
// ahead, each part on its own: the bytes up to its first line end are the end of the line before
// it, kept for the joining thread; its first line after them is kept apart, as whether it passes
// depends on the line before it, the rest kept as findings. A stretch read ahead takes its lines'
// start to be 8-bit text; where the text there is otherwise (in UTF-16LE text), it is read again
// from there. A stretch whose first block holds no line end is read on by the joining thread, in
// order.
class LogPass {
public:
    // workers: threads beside the joining one; none reads every log on the joining thread.
    LogPass(std::vector<LogToRead> logs, unsigned workers, PassMode mode,
            const SweepSettings& settings, FindingSpool& spool, std::stop_token stop);
    ~LogPass();
    LogPass(const LogPass&) = delete;
    LogPass& operator=(const LogPass&) = delete;

    // Joins the next log straight into the report, the flag carried in filter. Returns why it
    // could not be opened, or read to its end (what was read of it is joined), or
    // operation_canceled where a stop was asked for.
    std::error_code joinNext(ReportFile& report, MarkerFilter& filter, PassEvents& events);
    // Reads the next log on its own into kept, in a pass that keeps them; the same returns.
    std::error_code keepNext(KeptLog& kept, PassEvents& events);

private:
    struct Shared;
    class Join;
    std::unique_ptr<Shared> shared_;
};

}  // namespace vesk
