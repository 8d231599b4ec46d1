#include "sweep/follow.h"

#include <algorithm>
#include <utility>

#include "read/log_name.h"
#include "report/report_file.h"
#include "rule/log_scanner.h"
#include "sweep/listed_folder.h"

namespace vesk {
namespace {

// A burst of changes is gathered into one publication this long after its first.
constexpr auto kGather = std::chrono::milliseconds(250);
constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kTailSize = 64;

// A log's findings as following keeps them: its first line apart, since whether it is a finding
// depends on the log before it, and the lines after it that passed.
class LogLines final : public LineSink {
public:
    LogLines(FollowEvents* events, const bool* announce, std::filesystem::path path)
        : events_(events), announce_(announce), path_(std::move(path)) {}

    void write(std::string_view piece) override { (firstEnded ? rest : first).append(piece); }
    void endLine() override {
        if (!firstEnded) {
            firstEnded = true;
            return;
        }
        if (events_ != nullptr && *announce_) {
            events_->finding(path_, std::string_view(rest).substr(lineStart_));
        }
        rest += "\r\n";
        lineStart_ = rest.size();
    }

    std::string first;
    bool firstEnded = false;
    std::string rest;  // each line with its CR LF

private:
    FollowEvents* events_;
    const bool* announce_;
    std::filesystem::path path_;
    std::size_t lineStart_ = 0;
};

}  // namespace

// A log as far as it was read. Its filter starts raised, so that its first line passes into the
// findings apart, whatever the log before it ends with.
struct Follower::Log {
    Log(std::filesystem::path logName, FollowEvents& events, const bool& announce,
        const std::filesystem::path& path)
        : name(std::move(logName)), findings(&events, &announce, path) {
        filter.lineEnded(true);
        scanner.beginLog();
    }

    std::filesystem::path name;
    FileIdentity identity;
    std::uint64_t position = 0;
    std::string tail;  // the last bytes read, to know the log again when it has grown
    MarkerFilter filter;
    LogLines findings;
    LogScanner scanner{filter, findings};
    bool failing = false;
    std::string failure;
    bool firstAnnounced = false;
};

struct Follower::Folder {
    std::filesystem::path path;
    std::vector<std::unique_ptr<Log>> logs;  // in the listing's order
    bool gone = false;
};

Follower::Follower(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
                   std::vector<std::filesystem::path> folders, FollowEvents& events)
    : fs_(fs), clock_(clock), reportFolder_(std::move(reportFolder)), events_(events) {
    for (auto& path : folders) {
        folders_.push_back(std::make_unique<Folder>(Folder{std::move(path), {}, false}));
    }
}

Follower::~Follower() = default;

SweepOutcome Follower::start() {
    for (auto& folder : folders_) {
        readFolder(*folder);
    }
    SweepOutcome outcome;
    outcome.report = ReportFile::pathFor(reportFolder_, clock_.today());
    for (const auto& folder : folders_) {
        for (const auto& log : folder->logs) {
            outcome.logsRead += log->failing ? 0 : 1;
            if (log->failing) {
                outcome.unreadable.push_back({folder->path / log->name, log->failure});
            }
        }
    }
    if (!publish()) {
        outcome.reportFailure = ReportFailure{outcome.report, "told of as it failed", {}};
    }
    outcome.findings =
        static_cast<std::uint64_t>(std::count(published_.begin(), published_.end(), '\n'));
    announce_ = true;
    return outcome;
}

void Follower::refresh() {
    for (auto& folder : folders_) {
        if (!folder->gone) {
            readFolder(*folder);
        }
    }
    // What changed is gathered for half a second at most; the report is written only if what a
    // run would write differs from what was published.
    if (std::exchange(changed_, false)) {
        walk(nullptr);
        due_ = due_ ? due_ : std::chrono::steady_clock::now() + kGather;
    }
}

void Follower::readFolder(Folder& folder) {
    const ListedFolder listed(fs_, folder.path, true);
    if (listed.folder() == nullptr || listed.error()) {
        folder.gone = true;
        folder.logs.clear();
        changed_ = true;
        events_.folderGone({folder.path, listed.error().message()});
        return;
    }
    // The day's report, where it lies among the logs, is no log.
    const std::filesystem::path report = ReportFile::pathFor(reportFolder_, clock_.today());
    std::error_code ec;
    const bool reportHere = std::filesystem::equivalent(folder.path, reportFolder_, ec);
    std::vector<std::unique_ptr<Log>> logs;
    for (const ListedFile* file : listed.logs()) {
        if (reportHere && sameFileName(file->name, report.filename())) {
            continue;
        }
        auto known = std::find_if(folder.logs.begin(), folder.logs.end(), [&](const auto& log) {
            return log != nullptr && log->name == file->name;
        });
        auto& log = logs.emplace_back(known != folder.logs.end() ? std::move(*known) : nullptr);
        if (log == nullptr) {
            log = std::make_unique<Log>(file->name, events_, announce_, folder.path / file->name);
        }
        read(folder, log, *listed.folder(), *file);
    }
    const auto names = [](const auto& list) {
        std::vector<std::filesystem::path> all;
        for (const auto& log : list) {
            all.push_back(log != nullptr ? log->name : std::filesystem::path());
        }
        return all;
    };
    changed_ = changed_ || names(logs) != names(folder.logs);
    folder.logs = std::move(logs);  // a log gone takes its findings with it
}

bool Follower::sameTail(InputFile& input, const Log& log) {
    std::string now(log.tail.size(), '\0');
    std::error_code ec;
    const std::uint64_t at = log.position - log.tail.size();
    return input.readAt(at, now.data(), now.size(), ec) == now.size() && !ec && now == log.tail;
}

void Follower::read(Folder& folder, std::unique_ptr<Log>& log, LogFolder& opened,
                    const ListedFile& file) {
    if (log->position > 0 && file.identity == log->identity && file.size == log->position) {
        return;  // nothing new
    }
    const std::filesystem::path path = folder.path / file.name;
    const auto fail = [&](const std::error_code& ec) {
        const bool announced = log->failing;
        log = std::make_unique<Log>(file.name, events_, announce_, path);
        log->failing = true;
        log->failure = ec.message();
        changed_ = true;
        if (!announced) {
            events_.unreadable({path, ec.message()});
        }
    };
    std::error_code ec;
    const auto input = opened.openLog(file, ec);
    if (input == nullptr) {
        fail(ec);
        return;
    }
    // Truncated or replaced, as rotation does: read again from its start. A log truncated and
    // written again past where it was read is known by the bytes it now has there.
    if (log->failing || input->identity() != log->identity || input->size() < log->position ||
        !sameTail(*input, *log)) {
        log = std::make_unique<Log>(file.name, events_, announce_, path);
        log->identity = input->identity();
        changed_ = true;
    }
    std::vector<char> block(kBlockSize);
    while (log->position < input->size()) {
        const std::size_t n = input->readAt(log->position, block.data(),
                                            static_cast<std::size_t>(std::min<std::uint64_t>(
                                                input->size() - log->position, block.size())),
                                            ec);
        if (n == 0 && !ec) {
            ec = SweepErrc::shrank;
        }
        if (ec) {
            fail(ec);
            return;
        }
        log->scanner.scan(block.data(), n);
        log->position += n;
        const std::size_t kept = std::min(n, kTailSize);
        log->tail.append(block.data() + n - kept, kept);
        log->tail.erase(0, log->tail.size() - std::min(log->tail.size(), kTailSize));
        changed_ = true;
    }
}

// What a run would write now, into out where given: each log as if it ended here, the flag
// carried from log to log. First lines that have become findings are told of once.
void Follower::walk(std::string* out) {
    bool carried = false;
    for (const auto& folder : folders_) {
        for (const auto& log : folder->logs) {
            MarkerFilter filter = log->filter;
            LogLines tail(nullptr, nullptr, {});
            tail.firstEnded = log->findings.firstEnded;
            LogScanner ending(log->scanner, filter, tail);
            ending.endLog();
            const bool anyLine = log->findings.firstEnded || tail.firstEnded;
            const bool firstPasses = anyLine && carried;
            if (firstPasses && log->findings.firstEnded && !log->firstAnnounced && announce_) {
                events_.finding(folder->path / log->name, log->findings.first);
            }
            log->firstAnnounced = log->firstAnnounced || (carried && log->findings.firstEnded);
            if (out != nullptr) {
                if (firstPasses) {
                    *out += log->findings.first + tail.first + "\r\n";
                }
                *out += log->findings.rest + tail.rest;
            }
            carried = anyLine ? filter.armed() : carried;
        }
    }
}

std::string Follower::content() {
    std::string out;
    walk(&out);
    return out;
}

bool Follower::publish() {
    const LocalDate today = clock_.today();
    std::string text = content();
    due_.reset();
    if (publishedDay_ && *publishedDay_ == today && text == published_) {
        return true;
    }
    ReportFile report(fs_);
    try {
        report.open(ReportFile::pathFor(reportFolder_, today));
        report.write(text);
        report.close();
    } catch (const ReportError& error) {
        report.abandon();
        events_.reportFailed({error.path(), error.reason(), error.keptIn()});
        return false;
    }
    published_ = std::move(text);
    publishedDay_ = today;
    return true;
}

void Follower::publishWhenDue() {
    const bool newDay = publishedDay_ && !(*publishedDay_ == clock_.today());
    if (newDay || (due_ && std::chrono::steady_clock::now() >= *due_)) {
        publish();
    }
}

void Follower::publishNow() {
    publish();
}

std::optional<std::chrono::milliseconds> Follower::nextDue() const {
    auto next = clock_.untilTomorrow();
    if (due_) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(*due_ - std::chrono::steady_clock::now());
        next = std::min(next, std::max(left, std::chrono::milliseconds(0)));
    }
    return next;
}

bool Follower::anyFolderLeft() const {
    return std::any_of(folders_.begin(), folders_.end(),
                       [](const auto& folder) { return !folder->gone; });
}

bool Follower::anyLogUnreadable() const {
    return std::any_of(folders_.begin(), folders_.end(), [](const auto& folder) {
        return std::any_of(folder->logs.begin(), folder->logs.end(),
                           [](const auto& log) { return log->failing; });
    });
}

int Follower::run(FolderWatcher& watcher) {
    for (;;) {
        const auto wake = watcher.wait(nextDue());
        if (wake == FolderWatcher::Wake::stop) {
            publishNow();
            return anyLogUnreadable() ? 1 : 0;
        }
        if (wake == FolderWatcher::Wake::changed) {
            refresh();
        }
        if (!anyFolderLeft()) {
            return 2;
        }
        publishWhenDue();
    }
}

}  // namespace vesk
