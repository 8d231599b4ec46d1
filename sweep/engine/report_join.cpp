#include "engine/report_join.h"

#include <algorithm>
#include <string>

namespace vesk {

void ReportJoin::add(const PartFindings& read, const PartFindings* ending,
                     const std::optional<TellFrom>& tell) {
    const bool flagBefore = filter_.armed();
    joinAfter(read, ending, filter_, target_, buffer_);
    if (tell) {
        this->tell(read, flagBefore && read.firstSeen, *tell);
    }
}

// The lines that ended in what was read, each with where it begins: the first where it passed,
// then the others, as many as their offsets tell of.
void ReportJoin::tell(const PartFindings& read, bool firstPasses, const TellFrom& to) {
    std::error_code ec;
    std::string line;
    std::uint64_t length = 0;
    const auto told = [&](std::uint64_t offset, bool wanted) {
        if (wanted) {
            to.events.finding({to.folder, to.log, offset, line, length});
        }
        line.clear();
        length = 0;
    };
    const auto take = [&](std::string_view piece) {
        line.append(
            piece.substr(0, Finding::kMostTold - std::min(line.size(), Finding::kMostTold)));
        length += piece.size();
    };
    if (firstPasses) {
        read.first.forEachPiece(buffer_, take, ec);
        told(read.firstOffset, to.first || read.firstOffset >= to.offset);
    }
    if (!read.placed() || read.restLines == 0) {
        return;
    }
    Findings::Cursor offsets(*read.restOffsets);
    read.rest.forEachLine(
        read.restLines, buffer_, take,
        [&] {
            std::uint64_t offset = 0;
            offsets.next(reinterpret_cast<char*>(&offset), sizeof offset, ec);
            told(offset, offset >= to.offset);
        },
        ec);
}

std::optional<PartFindings> endingOf(const LogScanner& scanner, const MarkerFilter& filter,
                                     const PartFindings& read, FindingSpool& spool) {
    if (scanner.atLineStartIn8Bit()) {
        return std::nullopt;
    }
    std::optional<PartFindings> ending(std::in_place, spool);
    ending->firstSeen = read.firstSeen;
    MarkerFilter endFilter = filter;
    LogScanner end(scanner, endFilter, *ending);
    end.endLog();
    if (ending->firstSeen) {
        ending->flagAfter = endFilter.armed();
    }
    return ending;
}

}  // namespace vesk
