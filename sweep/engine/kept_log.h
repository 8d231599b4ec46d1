#pragma once

#include <cstdint>
#include <optional>
#include <system_error>

#include "engine/part_findings.h"
#include "report/findings.h"
#include "rule/log_scanner.h"
#include "rule/marker_filter.h"
#include "sweep/file_system.h"

namespace vesk {

// A log as a pass that keeps the logs read it: on its own, its first line apart, as far as it
// reached when it was opened, and not ended, so that reading can go on where it stopped. It stays
// where it is made: its scanner reads into its own filter and findings.
struct KeptLog {
    KeptLog(FindingSpool& spool, PartFindings::Placing placing) : findings(spool, placing) {}
    KeptLog(const KeptLog&) = delete;
    KeptLog& operator=(const KeptLog&) = delete;

    PartFindings findings;
    MarkerFilter filter;
    std::optional<LogScanner> scanner;  // none where nothing could be read
    // The file read, and how it stood when opened.
    FileIdentity identity;
    std::uint64_t size = 0;
    FileTimes times;
    // Of its bytes up to size: see LogPrint.
    std::uint64_t print = 0;
    std::uint64_t head = 0;
};

}  // namespace vesk
