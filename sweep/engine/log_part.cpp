#include "engine/log_part.h"

namespace vesk {

void LogPart::readOnItsOwn(InputFile& file, FindingSpool& spool, std::span<char> buffer,
                           const std::stop_token& stop, PassMode mode, BlockWatch* watch) {
    filter.lineEnded(true);
    findings.emplace(spool, mode == PassMode::keep);
    scanner.emplace(filter, *findings);
    if (index == 0) {
        scanner->beginLog();
    } else {
        const auto first = firstLineStart(file, from, until, buffer, ec);
        empty = !first && !ec;
        if (!first) {
            return;
        }
        start = *first;
        scanner->beginPart(start);
    }
    end = readStretch(file, start, boundary(), buffer, *scanner, stop, ec, watch);
    // A line broken off by a failed read says nothing of the flag.
    const bool wholeLine = findings->firstSeen;
    if (ec) {
        scanner->abandonLog();
    } else if (last && mode == PassMode::report) {
        scanner->endLog();
    }
    cleanEnd = scanner->atLineStartIn8Bit();
    if (ec ? wholeLine : findings->firstSeen) {
        findings->flagAfter = filter.armed();
    }
}

}  // namespace vesk
