#include "engine/log_part.h"

namespace vesk {

void LogPart::readOnItsOwn(InputFile& file, FindingSpool& spool, std::span<char> buffer,
                           const std::stop_token& stop, PassMode mode, BlockWatch* watch) {
    filter.lineEnded(true);
    findings.emplace(spool, mode == PassMode::keep ? PartFindings::Placing::placed
                                                   : PartFindings::Placing::unplaced);
    scanner.emplace(filter, *findings);
    if (index == 0) {
        scanner->beginLog();
        end = readStretch(file, from, boundary(), buffer, *scanner, stop, ec, watch);
    } else {
        const StretchRead read =
            readStretchAhead(file, from, until, buffer, head, *scanner, stop, ec);
        skipped = read.skipped;
        empty = !read.start;
        end = read.end;
        if (empty) {
            return;
        }
        start = *read.start;
    }
    // A line broken off by a failed read says nothing of the flag.
    const bool wholeLine = findings->firstSeen;
    if (ec) {
        scanner->abandonLog();
    } else if (last && mode == PassMode::report) {
        scanner->endLog();
    }
    if (ec ? wholeLine : findings->firstSeen) {
        findings->flagAfter = filter.armed();
    }
}

}  // namespace vesk
