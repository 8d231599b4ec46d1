#include "engine/part_findings.h"

#include <utility>

namespace vesk {
namespace {

std::string_view asBytes(const std::uint64_t& offset) {
    return {reinterpret_cast<const char*>(&offset), sizeof offset};
}

}  // namespace

void PartFindings::beginLine(std::uint64_t offset) {
    if (!firstSeen) {
        firstOffset = offset;
        begun_ = true;
    } else if (placed_) {
        restOffsets.append(asBytes(offset));
    }
}

void PartFindings::endLine() {
    if (!firstSeen) {
        firstSeen = true;
        begun_ = true;
        return;
    }
    rest.append("\r\n");
    ++restLines;
}

void joinAfter(const PartFindings& part, const PartFindings* ending, MarkerFilter& filter,
               JoinTarget& into, std::span<char> buffer) {
    const bool flagBefore = filter.armed();
    into.join(part, ending, flagBefore, buffer);
    filter.lineEnded((ending != nullptr ? *ending : part).flagAfter.value_or(flagBefore));
}

void LogFindings::join(const PartFindings& part, const PartFindings* ending, bool firstPasses,
                       std::span<char> buffer) {
    const auto append = [&](Findings& to, const Findings& from) {
        from.forEachPiece(
            buffer, [&](std::string_view piece) { to.append(piece); }, error_);
    };
    // The first part is the log's start, its first line the log's own; those after it begin at a
    // line's start after the first line of the log ended.
    if (log_.untouched()) {
        append(log_.first, part.first);
        log_.firstSeen = part.firstSeen;
        log_.firstOffset = part.firstOffset;
        log_.flagAfter = part.flagAfter;
        firstPasses = false;
    }
    if (firstPasses) {
        if (log_.placed()) {
            log_.restOffsets.append(asBytes(part.firstOffset));
        }
        append(log_.rest, part.first);
        if (ending != nullptr) {
            append(log_.rest, ending->first);
        }
        if ((ending != nullptr ? *ending : part).firstSeen) {
            log_.rest.append("\r\n");
            ++log_.restLines;
        }
    }
    for (const PartFindings* piece : {&part, ending}) {
        if (piece != nullptr) {
            append(log_.rest, piece->rest);
            log_.restLines += piece->restLines;
            if (log_.placed() && piece->placed()) {
                append(log_.restOffsets, piece->restOffsets);
            }
        }
    }
    for (const PartFindings* piece : {&part, ending}) {
        if (piece != nullptr && piece->flagAfter) {
            log_.flagAfter = piece->flagAfter;
        }
    }
}

}  // namespace vesk
