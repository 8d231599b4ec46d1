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
    } else if (restOffsets != nullptr) {
        restOffsets->append(asBytes(offset));
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

void PartFindings::moveTo(FindingSpool& spool, std::span<char> buffer, std::error_code& ec) {
    for (Findings* findings : {&first, &rest, restOffsets.get()}) {
        if (findings == nullptr) {
            continue;
        }
        Findings moved(spool);
        moved.append(std::move(*findings), buffer, ec);
        *findings = std::move(moved);
    }
}

void joinAfter(const PartFindings& part, const PartFindings* ending, MarkerFilter& filter,
               JoinTarget& into, std::span<char> buffer) {
    const bool flagBefore = filter.armed();
    const std::optional<bool> flagAfter = (ending != nullptr ? *ending : part).flagAfter;
    into.join(part, ending, flagBefore, buffer);
    filter.lineEnded(flagAfter.value_or(flagBefore));
}

void joinAfter(PartFindings& taken, MarkerFilter& filter, JoinTarget& into,
               std::span<char> buffer) {
    const bool flagBefore = filter.armed();
    const std::optional<bool> flagAfter = taken.flagAfter;
    into.joinTaking(taken, flagBefore, buffer);
    filter.lineEnded(flagAfter.value_or(flagBefore));
}

void LogFindings::add(const PartFindings& part, PartFindings* taken, const PartFindings* ending,
                      bool firstPasses, std::span<char> buffer) {
    // Copied, or taken where own is the findings themselves.
    const auto add = [&](Findings& to, const Findings& from, Findings* own) {
        if (own != nullptr) {
            to.append(std::move(*own), buffer, error_);
        } else {
            from.forEachPiece(
                buffer, [&](std::string_view piece) { to.append(piece); }, error_);
        }
    };
    Findings* const ownFirst = taken != nullptr ? &taken->first : nullptr;
    // The first part is the log's start, its first line the log's own; those after it begin at a
    // line's start after the first line of the log ended.
    if (log_.untouched()) {
        add(log_.first, part.first, ownFirst);
        log_.firstSeen = part.firstSeen;
        log_.firstOffset = part.firstOffset;
        log_.flagAfter = part.flagAfter;
        firstPasses = false;
    }
    if (firstPasses) {
        if (log_.placed()) {
            log_.restOffsets->append(asBytes(part.firstOffset));
        }
        add(log_.rest, part.first, ownFirst);
        if (ending != nullptr) {
            add(log_.rest, ending->first, nullptr);
        }
        if ((ending != nullptr ? *ending : part).firstSeen) {
            log_.rest.append("\r\n");
            ++log_.restLines;
        }
    }
    for (const PartFindings* piece : {&part, ending}) {
        if (piece == nullptr) {
            continue;
        }
        PartFindings* const own = piece == &part ? taken : nullptr;
        add(log_.rest, piece->rest, own != nullptr ? &own->rest : nullptr);
        log_.restLines += piece->restLines;
        if (log_.placed() && piece->placed()) {
            add(*log_.restOffsets, *piece->restOffsets,
                own != nullptr ? own->restOffsets.get() : nullptr);
        }
    }
    for (const PartFindings* piece : {&part, ending}) {
        if (piece != nullptr && piece->flagAfter) {
            log_.flagAfter = piece->flagAfter;
        }
    }
}

}  // namespace vesk
