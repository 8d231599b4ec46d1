#include "follow/followed_log.h"

#include <algorithm>
#include <string_view>

#include "engine/fnv_hash.h"
#include "engine/log_print.h"
#include "engine/part_reading.h"
#include "follow/telling.h"

namespace vesk {
namespace {

// Lines are known again by a hash of their text, taken a piece at a time.
// The text of kept findings, cut where a finding told of is, its whole length and hash.
struct Text {
    std::string text;
    std::uint64_t length = 0;
    std::uint64_t hash = kFnvStart;
};
// Findings kept aside that cannot be read give a shorter text, so another hash: the finding is
// taken for a new one and told again rather than lost. The next publication reads them too, and
// names the failure.
Text textOf(const Findings& findings, std::span<char> buffer) {
    Text text;
    std::error_code ec;
    findings.forEachPiece(
        buffer,
        [&](std::string_view piece) {
            const std::size_t room =
                Finding::kMostTold - std::min(text.text.size(), Finding::kMostTold);
            text.text.append(piece.substr(0, room));
            text.length += piece.size();
            text.hash = fnvOn(text.hash, piece);
        },
        ec);
    return text;
}

}  // namespace

// What a log held when it was last read, by the hashes of its findings' lines in order: as it is
// read again, a line comes back where it stands among them after the last that came back.
struct FollowedLog::ToldBefore {
    std::map<std::uint64_t, std::vector<std::size_t>> positions;  // of each hash, in order
    std::size_t next = 0;
    std::uint64_t until = 0;  // lines that begin past it are new
    std::optional<std::uint64_t> first;

    void add(std::uint64_t hash) {
        auto& at = positions[hash];
        at.push_back(next++);
    }
    // Whether the line came back, in order. Lines that begin past where the log reached when it
    // was read again are new, and so are all after them.
    bool cameBack(std::uint64_t hash, std::uint64_t offset) {
        if (offset >= until) {
            positions.clear();
        }
        const auto found = positions.find(hash);
        if (found == positions.end()) {
            return false;
        }
        const auto& at = found->second;
        const auto after = std::lower_bound(at.begin(), at.end(), next);
        if (after == at.end()) {
            return false;
        }
        next = *after + 1;
        return true;
    }
};

// Its findings, telling of each line after the first as it ends, unless it came back from what
// the log held before it was written again, or was told of before it was followed here.
class FollowedLog::Sink final : public LineSink {
public:
    explicit Sink(FollowedLog& log) : log_(log) {}
    void tellTo(Telling* telling) { telling_ = telling; }
    bool wantsOffsets() const override { return true; }
    void beginLine(std::uint64_t offset) override;
    void write(std::string_view piece) override;
    void endLine() override;
    // Where a line that passes begins, while it is open.
    std::optional<std::uint64_t> openLine() const {
        return open_ ? std::optional(offset_) : std::nullopt;
    }
    // A line that passes, begun where it was read before: its text so far.
    void takeOpenLine(std::uint64_t offset, std::string_view piece);

private:
    void take(std::string_view piece);

    FollowedLog& log_;
    Telling* telling_ = nullptr;
    std::uint64_t offset_ = 0;
    bool open_ = false;
    std::uint64_t hash_ = kFnvStart;  // of the line's text so far
    std::string line_;
    std::uint64_t length_ = 0;
};

// What reads it on: the scanner, from its start or going on where another stands, into the sink.
struct FollowedLog::Reader {
    explicit Reader(FollowedLog& log) : sink(log), scanner(log.filter_, sink) {}
    Reader(FollowedLog& log, const LogScanner& from)
        : sink(log), scanner(from, log.filter_, sink) {}

    Sink sink;
    LogScanner scanner;
};

void FollowedLog::Sink::beginLine(std::uint64_t offset) {
    offset_ = offset;
    open_ = log_.findings_.firstSeen;
    log_.findings_.beginLine(offset);
}

void FollowedLog::Sink::write(std::string_view piece) {
    if (log_.findings_.firstSeen) {
        take(piece);
    }
    log_.findings_.write(piece);
}

void FollowedLog::Sink::endLine() {
    const bool rest = log_.findings_.firstSeen;
    log_.findings_.endLine();
    if (rest && telling_ != nullptr && offset_ >= log_.quietBefore_ &&
        !(log_.toldBefore_ && log_.toldBefore_->cameBack(hash_, offset_))) {
        telling_->tell(log_, offset_, line_, length_);
    }
    open_ = false;
    hash_ = kFnvStart;
    line_.clear();
    length_ = 0;
}

void FollowedLog::Sink::takeOpenLine(std::uint64_t offset, std::string_view piece) {
    open_ = true;
    offset_ = offset;
    take(piece);
}

void FollowedLog::Sink::take(std::string_view piece) {
    hash_ = fnvOn(hash_, piece);
    line_.append(piece.substr(0, Finding::kMostTold - std::min(line_.size(), Finding::kMostTold)));
    length_ += piece.size();
}

FollowedLog::FollowedLog(const std::filesystem::path& folder, std::filesystem::path name,
                         FindingSpool& spool)
    : folder_(&folder), name_(std::move(name)), findings_(spool) {
    startOver();
}

FollowedLog::FollowedLog(const std::filesystem::path& folder, std::filesystem::path name,
                         KeptLog& kept, FindingSpool& spool, std::span<char> buffer,
                         bool flagBefore, const std::error_code& ec)
    : filter_(kept.filter),
      flagBefore_(flagBefore),
      firstToldOf_(flagBefore && kept.findings.firstSeen),
      folder_(&folder),
      name_(std::move(name)),
      mark_{kept.identity, kept.size, kept.times, kept.print, kept.head},
      findings_(std::move(kept.findings)) {
    if (kept.scanner) {
        reader_ = std::make_unique<Reader>(*this, *kept.scanner);
        adoptOpenLine(buffer);
    } else {
        startOver();
    }
    findings_.unplace();
    // Findings that could not be read back leave it to be read again from its start.
    std::error_code moved;
    findings_.moveTo(spool, buffer, moved);
    if (moved) {
        failure_ = moved;
    }
    if (ec) {
        failure_ = ec;
        named = true;  // by the sweep
    }
    idle();
}

FollowedLog::~FollowedLog() = default;

// Where the run left a line that passes open, its text so far is the sink's, to be told of whole
// once the line ends: the bytes after the last whole line, and where they begin.
void FollowedLog::adoptOpenLine(std::span<char> buffer) {
    if (!findings_.placed() || findings_.restOffsets->size() / 8 <= findings_.restLines) {
        return;
    }
    std::uint64_t offset = 0;
    Findings::Cursor offsets(*findings_.restOffsets);
    // Findings kept aside that cannot be read leave the open line to the run's report alone: it
    // is not told of when it ends. The next publication reads them too, and names the failure.
    std::error_code ec;
    for (std::uint64_t i = 0; i <= findings_.restLines; ++i) {
        offsets.next(reinterpret_cast<char*>(&offset), sizeof offset, ec);
    }
    std::uint64_t lines = 0;
    findings_.rest.forEachPiece(
        buffer,
        [&](std::string_view piece) {
            while (lines < findings_.restLines && !piece.empty()) {
                const std::size_t end = piece.find('\n');
                if (end == std::string_view::npos) {
                    return;
                }
                ++lines;
                piece.remove_prefix(end + 1);
            }
            if (lines == findings_.restLines) {
                reader_->sink.takeOpenLine(offset, piece);
            }
        },
        ec);
}

void FollowedLog::toldBefore(std::uint64_t offset, bool firstTold) {
    quietBefore_ = offset;
    firstToldOf_ = firstTold;
}

std::uint64_t FollowedLog::toldTo() const {
    if (reader_ == nullptr) {
        return mark_.size;
    }
    const std::uint64_t handed = reader_->scanner.handedTo();
    return std::min(handed, reader_->sink.openLine().value_or(handed));
}

FollowedLog::Reader& FollowedLog::reader() {
    if (reader_ == nullptr) {
        reader_ = std::make_unique<Reader>(*this);
        if (mark_.size == 0) {
            reader_->scanner.beginLog();
        } else {
            reader_->scanner.beginPart(mark_.size, afterCr_);
        }
    }
    return *reader_;
}

// Read to a line's start in 8-bit text: nothing of the reader is needed to go on from there.
void FollowedLog::idle() {
    if (reader_ != nullptr && !failure_ && mark_.size > 0 && reader_->scanner.atLineStartIn8Bit()) {
        afterCr_ = reader_->scanner.afterCr();
        reader_.reset();
    }
}

void FollowedLog::startOver() {
    findings_ = PartFindings(findings_.spool());
    filter_ = MarkerFilter();
    filter_.lineEnded(true);  // the first line comes apart
    reader_.reset();
    mark_.size = 0;
    failure_.clear();
    firstToldOf_ = false;
    quietBefore_ = 0;
}

void FollowedLog::readOn(InputFile& file, std::span<char> buffer, Telling& telling,
                         std::error_code& ec) {
    Reader& reader = this->reader();
    reader.sink.tellTo(&telling);
    const std::uint64_t from = mark_.size;
    mark_.size = readStretch(file, from, std::nullopt, buffer, reader.scanner, {}, ec);
    reader.sink.tellTo(nullptr);
    mark_.identity = file.identity();
    mark_.times = file.times();
    if (ec) {
        reader.scanner.abandonLog();
        failure_ = ec;
    }
    if (findings_.firstSeen) {
        findings_.flagAfter = filter_.armed();
    }
    if (ec) {
        return;
    }
    if (from < LogPrint::kEnds) {
        mark_.head = LogPrint::headOf(file, mark_.size, ec);  // it was shorter than its head
    }
    mark_.print = LogPrint::of(file, mark_.size, ec);
    if (ec) {
        failure_ = ec;
    }
    idle();
}

void FollowedLog::rememberTold(std::span<char> buffer) {
    // A first line told of before an earlier rewrite, and not since, is remembered still.
    const auto first = firstToldOf_                        ? textOf(findings_.first, buffer).hash
                       : toldBefore_ && toldBefore_->first ? *toldBefore_->first
                                                           : std::optional<std::uint64_t>();
    toldBefore_ = std::make_unique<ToldBefore>();
    toldBefore_->first = first;
    // Whole lines only: one still open was not told of. Lines that cannot be read back are not
    // remembered: told again when they come back, rather than lost. The next publication reads
    // them too, and names the failure.
    std::uint64_t hash = kFnvStart;
    std::error_code ec;
    findings_.rest.forEachLine(
        findings_.restLines, buffer, [&](std::string_view text) { hash = fnvOn(hash, text); },
        [&] {
            toldBefore_->add(hash);
            hash = kFnvStart;
        },
        ec);
    toldBefore_->next = 0;
}

void FollowedLog::restart(InputFile& file, std::span<char> buffer) {
    if (!failure_ || !toldBefore_) {
        rememberTold(buffer);  // else what it held before it failed
    }
    // A log that begins otherwise is a new one in its place: all it holds is new. So is one whose
    // beginning cannot be read; reading it on names the failure.
    std::error_code ec;
    if (LogPrint::headOf(file, mark_.size, ec) != mark_.head || ec) {
        toldBefore_.reset();
    } else {
        toldBefore_->until = file.size();
    }
    startOver();
}

void FollowedLog::failed(const std::error_code& ec, std::span<char> buffer) {
    if (!failure_) {
        rememberTold(buffer);
        const LogMark before = mark_;  // how it began, to know it again when it can be read
        startOver();
        mark_ = before;
    }
    failure_ = ec;
}

std::optional<PartFindings> FollowedLog::ending() const {
    return reader_ != nullptr ? endingOf(reader_->scanner, filter_, findings_, findings_.spool())
                              : std::nullopt;
}

void FollowedLog::joinInto(ReportJoin& join) {
    const auto end = ending();
    join.add(findings_, end ? &*end : nullptr);
}

bool FollowedLog::flagAfter(bool flagBefore) const {
    const auto end = ending();
    return (end ? *end : findings_).flagAfter.value_or(flagBefore);
}

FollowedLog::Signature FollowedLog::signature() const {
    const auto end = ending();
    const PartFindings& last = end ? *end : findings_;
    return {findings_.first.size() + (end ? end->first.size() : 0), findings_.firstSeen,
            last.firstSeen, findings_.rest.size() + (end ? end->rest.size() : 0), last.flagAfter};
}

void FollowedLog::tellOfFirstLine(bool flagBefore, Telling& telling, std::span<char> buffer) {
    flagBefore_ = flagBefore;
    if (!flagBefore || !findings_.firstSeen || firstToldOf_) {
        return;
    }
    firstToldOf_ = true;
    const Text first = textOf(findings_.first, buffer);
    const bool cameBack = toldBefore_ && toldBefore_->first == first.hash;
    if (toldBefore_) {
        toldBefore_->first.reset();
        if (toldBefore_->positions.empty()) {
            toldBefore_.reset();
        }
    }
    if (!cameBack) {
        telling.tell(*this, findings_.firstOffset, first.text, first.length);
    }
}

}  // namespace vesk
