#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/fnv_hash.h"
#include "engine/kept_log.h"
#include "engine/part_findings.h"
#include "engine/report_join.h"
#include "follow/log_change.h"
#include "report/findings.h"
#include "rule/log_scanner.h"

namespace vesk {

class Telling;

// A log being followed, read on its own from its start as far as it has been read, as a run
// reads a part of the logs: its first line apart, since whether that passes depends on the log
// before it. Its findings are kept aside, and its lines that pass told of as they end.
class FollowedLog {
public:
    // A log new to following, read from its start. folder: the path of the folder it is in,
    // which outlives it.
    FollowedLog(const std::filesystem::path& folder, std::filesystem::path name,
                FindingSpool& spool);
    // A log the first sweep read, taken over as far as it was read, its findings moved into the
    // spool; its first line passed or not there, and counts as told of. ec: why it could not be
    // opened, or read to its end.
    FollowedLog(const std::filesystem::path& folder, std::filesystem::path name, KeptLog& kept,
                FindingSpool& spool, std::span<char> buffer, bool flagBefore,
                const std::error_code& ec);
    ~FollowedLog();
    FollowedLog(const FollowedLog&) = delete;
    FollowedLog& operator=(const FollowedLog&) = delete;

    const std::filesystem::path& folder() const { return *folder_; }
    // Its name alone is held: a whole path holds each of its parts apart, and logs may be many.
    const std::filesystem::path& name() const { return name_; }
    std::filesystem::path path() const { return *folder_ / name_; }
    // Renamed: the same log under another name; nothing of it is new.
    void rename(std::filesystem::path name) { name_ = std::move(name); }
    const LogMark& mark() const { return mark_; }
    std::uint64_t tag = 0;  // its watch
    bool named = false;     // as unreadable, until it is read again

    // Reads on from where it was read to, to the file's size when it was opened, telling of the
    // lines that end and pass.
    void readOn(InputFile& file, std::span<char> buffer, Telling& telling, std::error_code& ec);
    // Written again: read from its start. Where it begins as it did, the findings it held are
    // not told of again as they come back in their order; lines it gains later are new.
    void restart(InputFile& file, std::span<char> buffer);
    // It cannot be read: it holds nothing until it can, and then tells of nothing it held.
    void failed(const std::error_code& ec, std::span<char> buffer);
    // None where it could be read.
    const std::error_code& failure() const { return failure_; }

    // Into the report, as if it ended where it was read to.
    void joinInto(ReportJoin& join);
    // Its first line, once it has ended, when it passes and has not been told of: told of.
    void tellOfFirstLine(bool flagBefore, Telling& telling, std::span<char> buffer);
    // The flag carried into it when its first line was last looked at.
    bool flagBefore() const { return flagBefore_; }

    // What was told of it before it was followed here (after a restart, or when it is a log come
    // back or copied): the lines that begin before the offset, and its first line where told.
    void toldBefore(std::uint64_t offset, bool firstTold);
    // Where, as read so far, findings begin that have not been told of: the line still open
    // where it passes, or bytes held back to tell their form.
    std::uint64_t toldTo() const;
    bool firstTold() const { return firstToldOf_; }
    // The flag it leaves, as if it ended where it was read to.
    bool flagAfter(bool flagBefore) const;

    // What it gives the report, and whether its first line has ended, in short: where two differ,
    // the report may, or the first line may be a finding to tell of.
    struct Signature {
        std::uint64_t first = 0;
        bool firstEnded = false;
        bool firstSeen = false;
        std::uint64_t rest = 0;
        std::optional<bool> flag;
        friend bool operator==(const Signature&, const Signature&) = default;
    };
    Signature signature() const;

private:
    class Sink;
    struct Reader;
    struct ToldBefore;

    std::optional<PartFindings> ending() const;
    Reader& reader();
    void idle();
    void startOver();
    void rememberTold(std::span<char> buffer);
    void adoptOpenLine(std::span<char> buffer);

    // The few bytes first, beside the tag's flag: logs may be many.
    MarkerFilter filter_;
    bool flagBefore_ = false;
    bool firstToldOf_ = false;
    bool afterCr_ = false;  // where it was read to: right after a CR, whose LF may follow
    const std::filesystem::path* folder_;
    std::filesystem::path name_;
    LogMark mark_;
    PartFindings findings_;
    // Held while it stands within a line or text held back: at a line's start in 8-bit text it
    // is made again where the log was read to, so that the many logs idle between appends cost
    // little.
    std::unique_ptr<Reader> reader_;
    std::error_code failure_;
    std::uint64_t quietBefore_ = 0;  // told of before it was followed here
    // After it was written again: what it held before, not to be told of again.
    std::unique_ptr<ToldBefore> toldBefore_;
};

}  // namespace vesk
