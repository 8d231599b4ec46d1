#include "follow/followed_log.h"

#include <algorithm>

#include "engine/part_reading.h"

namespace vesk {
namespace {

// A finding told of is cut here: the report holds it whole.
constexpr std::size_t kMostTold = 64 * 1024;

// Lines are known again by a hash of their bytes, taken a piece at a time.
constexpr std::uint64_t kHashStart = 14695981039346656037u;
std::uint64_t hashOn(std::uint64_t hash, std::string_view piece) {
    for (const char c : piece) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    }
    return hash;
}

// The hashes of the lines of kept findings, each ended by CR LF.
std::vector<std::uint64_t> lineHashes(const Findings& findings, std::span<char> buffer) {
    std::vector<std::uint64_t> hashes;
    std::uint64_t hash = kHashStart;
    std::error_code ec;
    findings.forEachPiece(
        buffer,
        [&](std::string_view piece) {
            for (std::size_t at = 0; at < piece.size();) {
                const std::size_t end = std::min(piece.find('\n', at), piece.size());
                hash = hashOn(hash, piece.substr(at, end - at));
                if (end < piece.size()) {
                    hashes.push_back(hash);  // the CR before it is hashed, as in every line
                    hash = kHashStart;
                }
                at = end + 1;
            }
        },
        ec);
    return hashes;
}

std::string textOf(const Findings& findings, std::span<char> buffer) {
    std::string text;
    std::error_code ec;
    findings.forEachPiece(
        buffer, [&](std::string_view piece) { text.append(piece.substr(0, kMostTold)); }, ec);
    return text.substr(0, kMostTold);
}

}  // namespace

// The log's findings, telling of each line after the first as it ends, unless it is one of those
// the log held before it was written again.
class FollowedLog::Sink final : public LineSink {
public:
    explicit Sink(FollowedLog& log) : log_(log) {}

    void tellTo(FollowEvents* events) { events_ = events; }

    void write(std::string_view piece) override {
        if (log_.findings_.firstSeen) {
            hash_ = hashOn(hash_, piece);
            if (events_ != nullptr && line_.size() < kMostTold) {
                line_.append(piece.substr(0, kMostTold - line_.size()));
            }
        }
        log_.findings_.write(piece);
    }

    void endLine() override {
        const bool rest = log_.findings_.firstSeen;
        log_.findings_.endLine();
        if (rest) {
            hash_ = hashOn(hash_, "\r");
            auto& before = log_.toldBefore_;
            if (log_.stillSame_ < before.size() && before[log_.stillSame_] == hash_) {
                ++log_.stillSame_;
            } else {
                before.clear();
                if (events_ != nullptr) {
                    events_->finding(log_.path_, line_);
                }
            }
        }
        hash_ = kHashStart;
        line_.clear();
    }

private:
    FollowedLog& log_;
    FollowEvents* events_ = nullptr;
    std::uint64_t hash_ = kHashStart;
    std::string line_;
};

FollowedLog::FollowedLog(std::filesystem::path path, FindingSpool& spool)
    : path_(std::move(path)),
      spool_(spool),
      findings_(spool),
      sink_(std::make_unique<Sink>(*this)),
      scanner_(filter_, *sink_) {
    filter_.lineEnded(true);  // the first line comes apart
    scanner_.beginLog();
}

FollowedLog::~FollowedLog() = default;

void FollowedLog::readOn(InputFile& file, std::span<char> buffer, FollowEvents* events,
                         std::error_code& ec) {
    // The first and last bytes read, to know the log again.
    class Marking final : public BlockWatch {
    public:
        explicit Marking(LogMark& mark) : mark_(mark) {}
        void read(std::span<const char> block, std::uint64_t offset) override {
            if (offset < LogMark::kPrint) {
                mark_.head.append(block.data(),
                                  std::min<std::size_t>(block.size(), LogMark::kPrint - offset));
            }
            const std::size_t kept = std::min(block.size(), LogMark::kPrint);
            mark_.tail.append(block.data() + block.size() - kept, kept);
            mark_.tail.erase(0, mark_.tail.size() - std::min(mark_.tail.size(), LogMark::kPrint));
        }

    private:
        LogMark& mark_;
    } marking(mark_);
    if (failure_) {
        restart(buffer);
    }
    sink_->tellTo(events);
    mark_.size = readStretch(file, mark_.size, std::nullopt, buffer, scanner_, {}, ec, &marking);
    sink_->tellTo(nullptr);
    mark_.identity = file.identity();
    mark_.times = file.times();
    ending_.reset();
    if (ec) {
        scanner_.abandonLog();
        failure_ = ec.message();
    }
}

void FollowedLog::restart(std::span<char> buffer) {
    toldBefore_ = lineHashes(findings_.rest, buffer);
    stillSame_ = 0;
    firstToldBefore_.reset();
    if (firstToldOf_) {
        firstToldBefore_ = hashOn(kHashStart, textOf(findings_.first, buffer));
    }
    findings_ = PartFindings(spool_);
    filter_ = MarkerFilter();
    filter_.lineEnded(true);
    scanner_.beginLog();
    mark_ = {};
    ending_.reset();
    failure_.reset();
    firstToldOf_ = false;
}

void FollowedLog::failed(const std::string& reason, std::span<char> buffer) {
    if (!failure_) {
        restart(buffer);
    }
    failure_ = reason;
}

const FollowedLog::Ending& FollowedLog::ending() {
    if (!ending_) {
        Ending& ending = ending_.emplace(spool_);
        ending.findings.firstSeen = findings_.firstSeen;
        MarkerFilter filter = filter_;
        LogScanner end(scanner_, filter, ending.findings);
        end.endLog();
        if (ending.findings.firstSeen) {
            ending.flagAfter = filter.armed();
        }
    }
    return *ending_;
}

bool FollowedLog::writeInto(ReportFile& report, bool flagBefore, std::span<char> buffer) {
    const Ending& end = ending();
    if (end.findings.firstSeen && flagBefore) {
        report.write(findings_.first, buffer);
        report.write(end.findings.first, buffer);
        report.endLine();
    }
    report.write(findings_.rest, buffer, findings_.restLines);
    report.write(end.findings.rest, buffer, end.findings.restLines);
    return end.flagAfter.value_or(flagBefore);
}

void FollowedLog::tellOfFirstLine(bool flagBefore, FollowEvents* events, std::span<char> buffer) {
    flagBefore_ = flagBefore;
    if (flagBefore && findings_.firstSeen && !firstToldOf_) {
        firstToldOf_ = true;
        if (events != nullptr) {
            const std::string line = textOf(findings_.first, buffer);
            if (firstToldBefore_ != hashOn(kHashStart, line)) {
                events->finding(path_, line);
            }
        }
        firstToldBefore_.reset();
    }
}

bool FollowedLog::flagAfter(bool flagBefore) {
    return ending().flagAfter.value_or(flagBefore);
}

FollowedLog::Signature FollowedLog::signature() {
    const Ending& end = ending();
    return {findings_.first.size() + end.findings.first.size(), end.findings.firstSeen,
            findings_.rest.size() + end.findings.rest.size(), end.flagAfter};
}

}  // namespace vesk
