#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "report/findings.h"
#include "report/report_file.h"
#include "rule/line_scanner.h"

namespace vesk {

// What a part of the logs gives when it is read on its own, before the line in front of it is
// known: a log, a stretch of a large one that begins at a line's start, or what a growing log
// added. Its first line is kept apart, since whether it passes depends on the line before it; the
// scanner reading the part starts with its flag up, so that the first line always comes here.
class PartFindings final : public LineSink {
public:
    explicit PartFindings(FindingSpool& spool) : first(spool), rest(spool) {}

    void write(std::string_view piece) override { (firstSeen ? rest : first).append(piece); }
    void endLine() override;

    // Into the report, after a part whose last line was a marker line or not: the first line
    // where it passes, then the rest.
    void writeInto(ReportFile& report, bool flagBefore, std::span<char> buffer) const;

    Findings first;
    bool firstSeen = false;  // the first line has ended, or broke off where a read failed
    Findings rest;           // the lines after it that passed, each with CR LF
    std::uint64_t restLines = 0;
    // Whether the part's last whole line was a marker line; unset when it has none, and the flag
    // carries through it.
    std::optional<bool> flagAfter;
};

}  // namespace vesk
