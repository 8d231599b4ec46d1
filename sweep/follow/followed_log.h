#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "engine/part_findings.h"
#include "follow/log_change.h"
#include "report/findings.h"
#include "report/report_file.h"
#include "rule/log_scanner.h"
#include "sweep/follow.h"

namespace vesk {

// A log being followed, read on its own from its start as far as it has been read, as a run
// reads a part of the logs: its first line apart, since whether that passes depends on the log
// before it. Its findings are kept aside, its lines that pass told of as they end once following
// has begun.
class FollowedLog {
public:
    FollowedLog(std::filesystem::path path, FindingSpool& spool);
    ~FollowedLog();
    FollowedLog(const FollowedLog&) = delete;
    FollowedLog& operator=(const FollowedLog&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Renamed: the same log under another name; nothing of it is new.
    void moveTo(std::filesystem::path path) { path_ = std::move(path); }
    const LogMark& mark() const { return mark_; }

    // Reads on from where it was read to, to the file's size when it was opened. Lines that pass
    // are told of where events are given.
    void readOn(InputFile& file, std::span<char> buffer, FollowEvents* events, std::error_code& ec);
    // The log was written again: read from its start, it tells only of the findings past those it
    // held before, where they are the same.
    void restart(std::span<char> buffer);
    // It cannot be read: it holds nothing until it can.
    void failed(const std::string& reason, std::span<char> buffer);
    const std::optional<std::string>& failure() const { return failure_; }

    // Into the report, after a log whose last line was a marker line or not, as if it ended
    // where it was read to: returns the flag it leaves.
    bool writeInto(ReportFile& report, bool flagBefore, std::span<char> buffer);
    // Its first line, once it has ended, when it passes and has not been told of: told of.
    // Without events it is only taken as told of: it was there when following began.
    void tellOfFirstLine(bool flagBefore, FollowEvents* events, std::span<char> buffer);
    // The flag carried into it when its first line was last looked at.
    bool flagBefore() const { return flagBefore_; }
    // The flag it leaves, as if it ended where it was read to.
    bool flagAfter(bool flagBefore);

    // What it gives the report, in short: where two differ, the report may.
    struct Signature {
        std::uint64_t first = 0;
        bool firstSeen = false;
        std::uint64_t rest = 0;
        std::optional<bool> flag;
        friend bool operator==(const Signature&, const Signature&) = default;
    };
    Signature signature();

private:
    class Sink;
    // What the log gives if it ends where it was read to: the line still open, ended.
    struct Ending {
        explicit Ending(FindingSpool& spool) : findings(spool) {}
        PartFindings findings;
        std::optional<bool> flagAfter;
    };
    const Ending& ending();

    std::filesystem::path path_;
    FindingSpool& spool_;
    LogMark mark_;
    MarkerFilter filter_;
    PartFindings findings_;
    std::unique_ptr<Sink> sink_;
    LogScanner scanner_;
    std::optional<Ending> ending_;  // until the log is read on
    std::optional<std::string> failure_;
    bool flagBefore_ = false;
    bool firstToldOf_ = false;
    // Before a restart: the lines told of, by their hashes, not to be told of again in order.
    std::vector<std::uint64_t> toldBefore_;
    std::size_t stillSame_ = 0;
    std::optional<std::uint64_t> firstToldBefore_;
};

}  // namespace vesk
