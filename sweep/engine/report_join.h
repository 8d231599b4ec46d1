#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "engine/part_findings.h"
#include "engine/report_target.h"
#include "report/findings.h"
#include "report/report_file.h"
#include "rule/log_scanner.h"
#include "rule/marker_filter.h"
#include "sweep/sweep.h"

namespace vesk {

// Whose findings are told of, and which: those whose lines begin at or after the offset, and
// the first line where first.
struct TellFrom {
    SweepEvents& events;
    const std::filesystem::path& folder;
    const std::filesystem::path& log;
    std::uint64_t offset = 0;
    bool first = true;
};

// Logs read on their own, joined into the report in the listing's order: each log's first line
// where the log before it ended on a marker line, then its other lines, the flag carried from log
// to log. A run that keeps its logs and every publication of following put the report together
// here; findings to be told of are told here as they are joined, each whose line has ended.
class ReportJoin {
public:
    ReportJoin(ReportFile& report, std::span<char> buffer) : target_(report), buffer_(buffer) {}

    // A log as far as it was read, and what it gives if it ends there.
    void add(const PartFindings& read, const PartFindings* ending,
             const std::optional<TellFrom>& tell = std::nullopt);
    // The flag carried into the next log.
    bool flag() const { return filter_.armed(); }

private:
    void tell(const PartFindings& read, bool firstPasses, const TellFrom& to);

    MarkerFilter filter_;
    ReportTarget target_;
    std::span<char> buffer_;
};

// What a log read on its own gives if it ends where the scanner stands: the line still open
// ended. Unset where that adds nothing, the scanner being at a line's start in 8-bit text.
std::optional<PartFindings> endingOf(const LogScanner& scanner, const MarkerFilter& filter,
                                     const PartFindings& read, FindingSpool& spool);

}  // namespace vesk
