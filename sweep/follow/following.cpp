#include "follow/following.h"

#include <algorithm>
#include <set>

#include "engine/log_keeper.h"
#include "engine/log_print.h"
#include "read/name_order.h"
#include "sweep/sweep.h"

namespace vesk {
namespace {

const Changes kEverything{{}, true};

// What following holds of its logs' findings, for as long as it runs, lies in the scratch file
// beyond the first few KiB of each log's: there the system's page cache holds it, and may let it
// go, where memory of the process's own would stay resident, and cost more to touch first.
constexpr std::size_t kFindingsInMemory = 0;

}  // namespace

Following::Following(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
                     std::vector<std::filesystem::path> folders, FollowEvents& events,
                     SweepSettings settings, std::optional<std::filesystem::path> stateFolder)
    : fs_(fs),
      clock_(clock),
      events_(events),
      settings_(settings),
      spool_(kFindingsInMemory),
      buffer_(settings.blockSize),
      telling_(events),
      publication_(fs, clock, std::move(reportFolder), events, settings),
      context_{fs,
               spool_,
               events,
               telling_,
               buffer_.span(),
               [this](const std::filesystem::path& file) { return watchFile(file); },
               [this](std::uint64_t tag) { unwatch(tag); },
               [this] {
                   return ReportPlace{publication_.folderIdentity(), publication_.todaysName()};
               },
               [this](const FollowedFolder& folder, FollowedLog& log, InputFile& file) {
                   recognize(folder, log, file);
               },
               [this](const FollowedFolder& folder, const FollowedLog& log) {
                   if (!log.failure()) {
                       places_.departed(placeOf(folder, log));
                   }
               }},
      places_(fs, stateFolder, folders, publication_.folder()) {
    for (std::size_t i = 0; i < folders.size(); ++i) {
        folders_.push_back(std::make_unique<FollowedFolder>(std::move(folders[i]), i, context_));
    }
}

Following::~Following() {
    watcher_ = nullptr;  // its watches go with it, whether or not it is still there
}

std::uint64_t Following::watchFile(const std::filesystem::path& file) {
    if (watcher_ == nullptr) {
        return 0;
    }
    const std::uint64_t tag = nextTag_++;
    watcher_->watchFile(tag, file);
    return tag;
}

void Following::unwatch(std::uint64_t tag) {
    if (watcher_ != nullptr && tag != 0) {
        watcher_->unwatch(tag);
    }
}

// A folder by its path and its parent, or while it is gone its nearest parent that is there, for
// it to come back; and the folder of each link on its path, for the link to be seen pointing
// elsewhere. The parent tells of the folder removed where something, a shell or a server, still
// has it open: the folder's own watch is told nothing until it is let go.
void Following::watchFolder(std::size_t index) {
    if (watcher_ == nullptr) {
        return;
    }
    for (auto at = folderTags_.begin(); at != folderTags_.end();) {
        if (at->second == index) {
            watcher_->unwatch(at->first);
            at = folderTags_.erase(at);
        } else {
            ++at;
        }
    }
    const std::filesystem::path& path = folders_[index]->path();
    const std::uint64_t tag = nextTag_++;
    auto at = path;
    while (!watcher_->watchFolder(tag, at) && at != at.parent_path()) {
        at = at.parent_path();
    }
    folderTags_.emplace(tag, index);
    if (const auto parent = path.parent_path(); at == path && !parent.empty() && parent != path) {
        const std::uint64_t parentTag = nextTag_++;
        watcher_->watchFolder(parentTag, parent);
        folderTags_.emplace(parentTag, index);
    }
    std::filesystem::path prefix;
    for (const auto& part : path) {
        prefix /= part;
        if (prefix.has_relative_path() && fs_.isLink(prefix)) {
            const std::uint64_t linkTag = nextTag_++;
            watcher_->watchFolder(linkTag, prefix.parent_path());
            folderTags_.emplace(linkTag, index);
        }
    }
}

void Following::watchWith(ChangeWatcher& watcher) {
    watcher_ = &watcher;
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        watchFolder(i);
    }
    const std::uint64_t folderTag = nextTag_++;
    publication_.watchWith(watcher, folderTag, nextTag_++);
}

bool Following::list(std::size_t index) {
    FollowedFolder& folder = *folders_[index];
    const auto identity = folder.identity();
    bool changed = folder.list();
    if (folder.identity() != identity) {
        // Watched anew, then listed again: what came before the watch was set is not missed.
        watchFolder(index);
        changed = folder.list() || changed;
    }
    if (folder.state() == FollowedFolder::State::unlisted) {
        relistAt_ = clock_.now() + settings_.lookEvery;
    }
    return changed;
}

// A run's events for the first sweep: the findings it tells of are told as following tells them.
class Following::FirstSweep final : public SweepEvents {
public:
    FirstSweep(FollowEvents& events, Telling& telling) : events_(events), telling_(telling) {}
    void folderStarted(const ListedFolder& folder) override { events_.folderStarted(folder); }
    void logOpened(const std::filesystem::path& folder, const ListedFile& log) override {
        events_.logOpened(folder, log);
    }
    void bytesRead(std::size_t bytes) override { events_.bytesRead(bytes); }
    void unreadable(const UnreadableLog& what) override { events_.unreadable(what); }
    void logDone() override { events_.logDone(); }
    void finding(const Finding& finding) override { telling_.tell(finding); }

private:
    FollowEvents& events_;
    Telling& telling_;
};

SweepOutcome Following::start() {
    if (const std::error_code ec = places_.load();
        ec && ec != std::errc::no_such_file_or_directory) {
        events_.placeNotRead({places_.file(), ec.message()});
    }
    // Each folder listed once, for the sweep and for following; each log watched before it is
    // read. Not each log's size and times: the sweep takes them as it opens the log, and a call
    // for each costs many logs dear.
    std::vector<std::unique_ptr<ListedFolder>> listed;
    std::vector<const ListedFolder*> swept;
    const ReportPlace report = context_.report();
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        FollowedFolder& folder = *folders_[i];
        auto& one = listed.emplace_back(
            std::make_unique<ListedFolder>(fs_, folder.path(), LogSizes::skipped));
        if (outOfDescriptors(one->error())) {
            // Not the folder's doing: the process cannot follow, and says so rather than wait.
            SweepOutcome outcome;
            outcome.outOfDescriptors = UnreadableLog{folder.path(), one->error().message()};
            events_.started(outcome);
            return outcome;
        }
        if (one->folder() == nullptr || one->error()) {
            folder.lost(one->error());
            watchFolder(i);
            if (folder.state() == FollowedFolder::State::unlisted) {
                relistAt_ = clock_.now() + settings_.lookEvery;
            }
            continue;
        }
        const std::vector<const ListedFile*> logs = one->logs(report);
        folder.listedAs(*one, logs.size());
        for (const ListedFile* log : logs) {
            firstTags_.emplace(log, watchFile(folder.path() / log->name));
        }
        swept.push_back(one.get());
    }
    FirstSweep events(events_, telling_);
    SweepOutcome outcome = Sweep(fs_, clock_, publication_.folder(), settings_)
                               .run(swept, events, {}, RunOptions{false, this});
    if (const auto& failure = outcome.reportFailure; failure && outOfDescriptors(failure->error)) {
        outcome.outOfDescriptors = UnreadableLog{failure->path, failure->reason};
    }
    if (outcome.outOfDescriptors) {
        events_.started(outcome);
        return outcome;
    }
    if (outcome.reportFailure && !logsKept_) {
        // The report could not even be begun: the logs are read all the same, as there when
        // following began, for the publication tried again to hold them.
        telling_.mute(true);
        for (std::size_t i = 0; i < folders_.size(); ++i) {
            if (folders_[i]->state() == FollowedFolder::State::present) {
                list(i);
            }
        }
        tellOfFirstLines();
        telling_.mute(false);
    }
    for (const auto& [log, tag] : firstTags_) {
        unwatch(tag);  // a log the sweep did not hand over
    }
    firstTags_.clear();
    for (const auto& folder : folders_) {
        if (folder->state() != FollowedFolder::State::present) {
            outcome.unreadable.push_back({folder->path(), folder->failureReason()});
        }
    }
    publication_.started(outcome);
    events_.started(outcome);
    keepPlace();
    return outcome;
}

// What was told of a log before it was followed here, where it is known by the places kept: by
// its folder and name, the file it is, or how it begins, where it holds what that place held.
std::optional<Place> Following::knownPlace(const FollowedFolder& folder,
                                           const std::filesystem::path& name, FileIdentity identity,
                                           std::uint64_t head, InputFile* file,
                                           std::optional<std::uint64_t> print) {
    std::uint64_t size = file != nullptr ? file->size() : 0;
    const auto printAt = [&](std::uint64_t at) -> std::optional<std::uint64_t> {
        if (print && at == size) {
            return print;
        }
        std::error_code ec;
        const std::uint64_t printed =
            file != nullptr && at <= size ? LogPrint::of(*file, at, ec) : 0;
        return file != nullptr && at <= size && !ec ? std::optional(printed) : std::nullopt;
    };
    std::vector<Place> followed;
    for (const auto& log : folder.logs()) {
        if (log->mark().head == head && log->mark().identity != identity) {
            followed.push_back(placeOf(folder, *log));  // it may be a copy of one of these
        }
    }
    auto place = places_.match(folder.index(), name, identity, head, printAt, followed);
    if (place && (place->folder != folder.index() || place->name != name)) {
        // A copy's first line follows another log than the one it was copied from did: whether
        // it is a finding, and told of, is its own.
        place->firstTold = false;
    }
    return place;
}

// At the first sweep: nothing is told of where no places were kept (nothing old is new), and of
// a log whose place is known only what came after it; the rest is new since.
std::optional<TellStart> Following::tellFrom(const ListedFolder& listed, const ListedFile& log,
                                             const KeptLog& kept) {
    if (!places_.loaded()) {
        return std::nullopt;
    }
    const auto folder = std::find_if(folders_.begin(), folders_.end(), [&](const auto& one) {
        return one->path() == listed.directoryPath();
    });
    // A log that cannot be opened again is known by its name and file alone: the sweep names it
    // if it cannot read it either.
    std::error_code ec;
    const auto file = kept.size > 0 ? listed.folder()->openLog(log, ec) : nullptr;
    const auto place =
        knownPlace(**folder, log.name, kept.identity, kept.head, file.get(), kept.print);
    return place ? TellStart{place->toldTo, !place->firstTold} : TellStart{};
}

// A log new to a folder while following: a log come back, or a copy of one, tells nothing it
// told before.
void Following::recognize(const FollowedFolder& folder, FollowedLog& log, InputFile& file) {
    // A beginning that cannot be read matches no place by its bytes: the log is still known by
    // its name and file, and reading it names the failure.
    std::error_code ec;
    const std::uint64_t head = LogPrint::headOf(file, file.size(), ec);
    if (const auto place =
            knownPlace(folder, log.name(), file.identity(), head, &file, std::nullopt)) {
        log.toldBefore(place->toldTo, place->firstTold);
    }
}

Place Following::placeOf(const FollowedFolder& folder, const FollowedLog& log) const {
    const LogMark& mark = log.mark();
    return {folder.index(), log.name(), mark.identity, mark.size,
            mark.print,     mark.head,  log.toldTo(),  log.firstTold()};
}

void Following::keepPlace() {
    if (places_.file().empty() || !telling_.update()) {
        return;
    }
    const auto undelivered = telling_.undelivered();
    auto saving = places_.save();
    for (const auto& folder : folders_) {
        for (const auto& log : folder->logs()) {
            if (log->failure()) {
                continue;  // known again by the place kept for it, if any
            }
            Place place = placeOf(*folder, *log);
            if (const auto first = undelivered.empty() ? undelivered.end()
                                                       : undelivered.find(log->path().native());
                first != undelivered.end()) {
                place.toldTo = std::min(place.toldTo, first->second);
            }
            saving.add(place);
        }
    }
    const std::error_code ec = saving.finish();
    if (ec && !placeFailing_) {
        events_.placeNotKept({places_.file(), ec.message()});
    }
    placeFailing_ = static_cast<bool>(ec);
    placeKeptAt_ = clock_.now();
}

void Following::keep(const ListedFolder& listed, const ListedFile& log, KeptLog& kept,
                     bool flagBefore, const std::error_code& ec) {
    const auto folder = std::find_if(folders_.begin(), folders_.end(), [&](const auto& one) {
        return one->path() == listed.directoryPath();
    });
    logsKept_ = true;
    auto followed = std::make_unique<FollowedLog>((*folder)->path(), log.name, kept, spool_,
                                                  buffer_.span(), flagBefore, ec);
    if (const auto tag = firstTags_.find(&log); tag != firstTags_.end()) {
        followed->tag = tag->second;
        firstTags_.erase(tag);
    }
    (*folder)->adopt(std::move(followed));
}

void Following::readChanges(const Changes& changes) {
    const auto told = [&](std::uint64_t tag) {
        return std::find(changes.tags.begin(), changes.tags.end(), tag) != changes.tags.end();
    };
    bool listed = false;  // some folder changed, not only logs
    std::vector<std::pair<std::size_t, FollowedLog*>> changedLogs;
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        FollowedFolder& folder = *folders_[i];
        const bool folderTold =
            std::any_of(folderTags_.begin(), folderTags_.end(),
                        [&](const auto& e) { return e.second == i && told(e.first); });
        if (changes.everything || folderTold) {
            listed = list(i) || listed;
            continue;
        }
        for (const std::uint64_t tag : changes.tags) {
            FollowedLog* log = folder.logWatchedBy(tag);
            if (log == nullptr) {
                continue;
            }
            const auto looked = folder.readOnWatchedLog(*log);
            if (looked == FollowedFolder::Looked::folderChanged) {
                listed = true;
                break;  // its logs are others now
            }
            if (looked == FollowedFolder::Looked::logChanged) {
                changedLogs.emplace_back(i, log);
            }
        }
    }
    if (changes.everything ||
        std::any_of(changes.tags.begin(), changes.tags.end(),
                    [&](std::uint64_t tag) { return publication_.watches(tag); })) {
        publication_.checkReport();
    }
    if (listed || !changedLogs.empty()) {
        publication_.changed();
        if (listed) {
            tellOfFirstLines();
        } else {
            tellOfFirstLinesFrom(std::move(changedLogs));
        }
    }
}

// The logs in order, the flag carried from log to log and folder to folder: each log's first
// line told of where it has become a finding.
void Following::tellOfFirstLines() {
    bool carried = false;
    for (const auto& folder : folders_) {
        for (const auto& log : folder->logs()) {
            log->tellOfFirstLine(carried, telling_, buffer_.span());
            carried = log->flagAfter(carried);
        }
    }
}

// After some logs changed, and nothing else: their first lines, and those after them, told of
// where they have become findings. The flag carried into the first is what it was at the last
// walk, and the walk goes on only while it carries another flag than before, so that an append
// costs the same whatever the number of logs.
void Following::tellOfFirstLinesFrom(std::vector<std::pair<std::size_t, FollowedLog*>> changed) {
    std::vector<std::pair<std::size_t, std::size_t>> at;  // folder, log
    for (const auto& [folder, log] : changed) {
        at.emplace_back(folder, folders_[folder]->indexOf(*log));
    }
    std::sort(at.begin(), at.end());
    for (const auto& [first, firstLog] : at) {
        std::optional<bool> carried;
        const auto visit = [&](FollowedLog& log) {
            if (carried && log.flagBefore() == *carried) {
                return false;  // on from here as it was
            }
            const bool flag = carried.value_or(log.flagBefore());
            log.tellOfFirstLine(flag, telling_, buffer_.span());
            carried = log.flagAfter(flag);
            return true;
        };
        bool on = true;
        for (std::size_t i = first; on && i < folders_.size(); ++i) {
            const auto& logs = folders_[i]->logs();
            for (std::size_t k = i == first ? firstLog : 0; on && k < logs.size(); ++k) {
                on = visit(*logs[k]);
            }
        }
    }
}

// Publishes the report, and keeps the place with it, once a second at most.
bool Following::publish() {
    const bool published = publication_.publish([&](ReportJoin& join) {
        for (const auto& folder : folders_) {
            for (const auto& log : folder->logs()) {
                log->joinInto(join);
            }
        }
    });
    if (!placeKeptAt_ || clock_.now() - *placeKeptAt_ >= std::chrono::seconds(1)) {
        keepPlace();
    }
    return published;
}

void Following::publishWhenDue() {
    const auto now = clock_.now();
    if (publication_.newDay() || (relistAt_ && now >= *relistAt_)) {
        // A new day's report has a name of its own, which may be a log's where it lies among them.
        relistAt_.reset();
        readChanges(kEverything);
    }
    if (publication_.due()) {
        publish();
    }
}

void Following::finish() {
    readChanges(kEverything);
    publication_.checkReport();
    if (publication_.pending()) {
        publish();
    }
    keepPlace();
}

ChangeWatcher::Deadline Following::nextDue() const {
    auto next = publication_.nextDue();
    if (relistAt_) {
        next = next ? std::min(*next, *relistAt_) : *relistAt_;
    }
    return next;
}

SweepOutcome::Status Following::status() const {
    if (publication_.lastFailed()) {
        return SweepOutcome::Status::reportFailed;
    }
    for (const auto& folder : folders_) {
        if (folder->state() != FollowedFolder::State::present || folder->anyLogUnreadable()) {
            return SweepOutcome::Status::someUnreadable;
        }
    }
    return SweepOutcome::Status::completed;
}

}  // namespace vesk
