#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "report/findings.h"
#include "rule/line_scanner.h"
#include "rule/marker_filter.h"

namespace vesk {

// What a part of the logs gives when it is read on its own, before the line in front of it is
// known: a log, a stretch of a large one that begins at a line's start, or what a growing log
// added. Its first line is kept apart, since whether it passes depends on the line before it; the
// scanner reading the part starts with its flag up, so that the first line always comes here.
// Where it is placed, it also keeps where each line begins in its log, for lines to be told of.
class PartFindings final : public LineSink {
public:
    enum class Placing { unplaced, placed };

    explicit PartFindings(FindingSpool& spool, Placing placing = Placing::unplaced)
        : first(spool),
          rest(spool),
          restOffsets(placing == Placing::placed ? std::make_unique<Findings>(spool) : nullptr) {}

    bool wantsOffsets() const override { return placed(); }
    void beginLine(std::uint64_t offset) override;
    void write(std::string_view piece) override {
        begun_ = true;
        (firstSeen ? rest : first).append(piece);
    }
    void endLine() override;

    bool placed() const { return restOffsets != nullptr; }
    // Where each line begins is no longer kept.
    void unplace() { restOffsets.reset(); }
    FindingSpool& spool() const { return first.spool(); }
    // Its findings held in another spool from now on; ec where some could not be read back.
    void moveTo(FindingSpool& spool, std::span<char> buffer, std::error_code& ec);
    // Nothing was read into it yet.
    bool untouched() const { return !firstSeen && !begun_; }

    Findings first;
    std::uint64_t firstOffset = 0;
    Findings rest;  // the lines after it that passed, each with CR LF
    std::uint64_t restLines = 0;
    // Where placed: where each of them begins, eight bytes each. Apart, since most parts and
    // every log followed have none.
    std::unique_ptr<Findings> restOffsets;
    // Whether the part's last whole line was a marker line; unset when it has none, and the flag
    // carries through it.
    std::optional<bool> flagAfter;
    bool firstSeen = false;  // the first line has ended, or broke off where a read failed

private:
    bool begun_ = false;
};

// Where parts read on their own are joined in order: the report, or the findings of a whole log.
class JoinTarget : public LineSink {
public:
    // A part, and what it gives if it ends where it was read to (the line still open, ended),
    // when there is that: its first line where that passes, ended where it has ended (else the
    // lines after go on with it), then its other lines.
    virtual void join(const PartFindings& part, const PartFindings* ending, bool firstPasses,
                      std::span<char> buffer) = 0;
    // A part done with once joined, nothing to end it: its findings may be taken, not copied.
    virtual void joinTaking(PartFindings& part, bool firstPasses, std::span<char> buffer) {
        join(part, nullptr, firstPasses, buffer);
    }
};

// The rule at a part's edge, the one place it is written: the part's first line comes where the
// line before it was a marker line, and the flag after the part is its last whole line's, or
// carries through a part that has none. Where taken, the part is done with once joined, and
// nothing ends it.
void joinAfter(const PartFindings& part, const PartFindings* ending, MarkerFilter& filter,
               JoinTarget& into, std::span<char> buffer);
void joinAfter(PartFindings& taken, MarkerFilter& filter, JoinTarget& into, std::span<char> buffer);

// The findings of a whole log read on its own, its parts joined in order: as a part itself.
class LogFindings final : public JoinTarget {
public:
    explicit LogFindings(PartFindings& log) : log_(log) {}
    bool wantsOffsets() const override { return log_.wantsOffsets(); }
    void beginLine(std::uint64_t offset) override { log_.beginLine(offset); }
    void write(std::string_view piece) override { log_.write(piece); }
    void endLine() override { log_.endLine(); }
    void join(const PartFindings& part, const PartFindings* ending, bool firstPasses,
              std::span<char> buffer) override {
        add(part, nullptr, ending, firstPasses, buffer);
    }
    void joinTaking(PartFindings& part, bool firstPasses, std::span<char> buffer) override {
        add(part, &part, nullptr, firstPasses, buffer);
    }
    // Why findings kept aside could not be read back, if they could not.
    const std::error_code& error() const { return error_; }

private:
    // taken: the part itself, where its findings may be taken.
    void add(const PartFindings& part, PartFindings* taken, const PartFindings* ending,
             bool firstPasses, std::span<char> buffer);

    PartFindings& log_;
    std::error_code error_;
};

}  // namespace vesk
