#include <algorithm>
#include <map>

#include "follow/followed_folder.h"
#include "read/block_buffer.h"
#include "report/report_file.h"
#include "sweep/follow.h"

namespace vesk {
namespace {

using Steady = std::chrono::steady_clock;

const Changes kEverything{{}, true};

}  // namespace

struct Follower::State {
    State(FileSystem& fileSystem, const Clock& systemClock, std::filesystem::path reports,
          FollowEvents& followEvents, SweepSettings sweepSettings)
        : fs(fileSystem),
          clock(systemClock),
          reportFolder(std::move(reports)),
          events(followEvents),
          settings(sweepSettings),
          spool(settings.findingsInMemory),
          buffer(settings.blockSize),
          context{fs,
                  spool,
                  events,
                  buffer.span(),
                  [this](const std::filesystem::path& log) { return watchFile(log); },
                  [this](std::uint64_t tag) { unwatch(tag); },
                  [this] { return ReportFile::pathFor({}, clock.today()); },
                  reportFolderIdentity()},
          retryDelay(settings.firstRetry) {}

    FileIdentity reportFolderIdentity() {
        std::error_code ec;
        return fs.lookAt(reportFolder, ec).identity;
    }

    std::uint64_t watchFile(const std::filesystem::path& log) {
        if (watcher == nullptr) {
            return 0;
        }
        const std::uint64_t tag = nextTag++;
        watcher->watchFile(tag, log);
        return tag;
    }
    void unwatch(std::uint64_t tag) {
        if (watcher != nullptr && tag != 0) {
            watcher->unwatch(tag);
        }
    }

    // A folder by its path, or while it is gone its nearest parent that is there, for it to
    // come back.
    void watchFolder(std::size_t index) {
        if (watcher == nullptr) {
            return;
        }
        const auto old = std::find_if(folderTags.begin(), folderTags.end(),
                                      [&](const auto& entry) { return entry.second == index; });
        if (old != folderTags.end()) {
            watcher->unwatch(old->first);
            folderTags.erase(old);
        }
        const std::uint64_t tag = nextTag++;
        for (auto at = folders[index]->path(); !watcher->watchFolder(tag, at);) {
            if (at == at.parent_path()) {
                break;
            }
            at = at.parent_path();
        }
        folderTags.emplace(tag, index);
    }

    bool list(std::size_t index) {
        FollowedFolder& folder = *folders[index];
        const auto before = folder.identity();
        const bool changed = folder.list(announce);
        if (folder.identity() != before) {
            watchFolder(index);
        }
        if (folder.state() == FollowedFolder::State::unlisted) {
            relistAt = Steady::now() + settings.lookEvery;
        }
        return changed;
    }

    // The logs in order, the flag carried from log to log and folder to folder: into the report
    // where one is given, and each log's first line told of where it has become a finding.
    void walk(ReportFile* report, FollowEvents* tell) {
        bool carried = false;
        for (const auto& folder : folders) {
            folder->forEachLog([&](FollowedLog& log) {
                log.tellOfFirstLine(carried, tell, buffer.span());
                carried = report != nullptr ? log.writeInto(*report, carried, buffer.span())
                                            : log.flagAfter(carried);
            });
        }
    }

    // After some logs changed, and nothing else: their first lines, and those after them, told of
    // where they have become findings. The flag carried into the first is what it was at the
    // last walk, and the walk goes on only while it carries another flag than before, so that
    // an append costs the same whatever the number of logs.
    void walkFrom(std::vector<std::pair<std::size_t, std::filesystem::path>> changedLogs) {
        std::sort(changedLogs.begin(), changedLogs.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : comesBefore(a.second, b.second);
        });
        for (const auto& [index, name] : changedLogs) {
            std::optional<bool> carried;
            const auto visit = [&](FollowedLog& log) {
                if (carried && log.flagBefore() == *carried) {
                    return false;  // on from here as it was
                }
                const bool flag = carried.value_or(log.flagBefore());
                log.tellOfFirstLine(flag, &events, buffer.span());
                carried = log.flagAfter(flag);
                return true;
            };
            for (std::size_t i = index;
                 i < folders.size() &&
                 folders[i]->forEachLogFrom(i == index ? &name : nullptr, visit);
                 ++i) {
            }
        }
    }

    bool publish() {
        const LocalDate today = clock.today();
        const std::filesystem::path path = ReportFile::pathFor(reportFolder, today);
        ReportFile report(fs);
        try {
            report.open(path);
            walk(&report, announce ? &events : nullptr);
            report.close();
        } catch (const ReportError& error) {
            report.abandon();
            failure = ReportFailure{error.path(), error.reason(), error.keptIn()};
            if (!failureNamed) {
                events.reportFailed(*failure);
                failureNamed = true;
            }
            lastFailed = true;
            retryAt = Steady::now() + retryDelay;
            retryDelay = std::min<Steady::duration>(retryDelay * 2, settings.longestRetry);
            return false;
        }
        findings = report.lines();
        std::error_code ec;
        published = {fs.lookAt(path, ec), today};
        dirty = lastFailed = failureNamed = false;
        due.reset();
        retryAt.reset();
        retryDelay = settings.firstRetry;
        return true;
    }

    // The report on disk is the one published, or is published again: someone removed or
    // replaced it.
    void checkReport() {
        if (!published) {
            return;
        }
        std::error_code ec;
        const FileLook now = fs.lookAt(ReportFile::pathFor(reportFolder, published->day), ec);
        if (ec || now.identity != published->look.identity || now.size != published->look.size ||
            now.times.modified != published->look.times.modified) {
            dirty = true;
            due = Steady::now();
        }
    }

    FileSystem& fs;
    const Clock& clock;
    std::filesystem::path reportFolder;
    FollowEvents& events;
    SweepSettings settings;
    FindingSpool spool;
    BlockBuffer buffer;
    FollowContext context;
    std::vector<std::unique_ptr<FollowedFolder>> folders;
    ChangeWatcher* watcher = nullptr;
    std::uint64_t nextTag = 1;
    std::map<std::uint64_t, std::size_t> folderTags;
    std::uint64_t reportTag = 0;
    bool announce = false;  // findings are told of once the first sweep is over

    struct Published {
        FileLook look;
        LocalDate day;
    };
    std::optional<Published> published;
    std::uint64_t findings = 0;
    bool dirty = true;
    std::optional<Steady::time_point> due;
    std::optional<Steady::time_point> retryAt;
    Steady::duration retryDelay;
    bool lastFailed = false;
    std::optional<ReportFailure> failure;
    bool failureNamed = false;
    std::optional<Steady::time_point> relistAt;
};

Follower::Follower(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
                   std::vector<std::filesystem::path> folders, FollowEvents& events,
                   SweepSettings settings)
    : state_(std::make_unique<State>(fs, clock, std::move(reportFolder), events, settings)) {
    for (auto& folder : folders) {
        state_->folders.push_back(std::make_unique<FollowedFolder>(folder, state_->context));
    }
}

Follower::~Follower() {
    state_->watcher = nullptr;  // its watches go with it, whether or not it is still there
}

SweepOutcome Follower::start() {
    State& state = *state_;
    for (std::size_t i = 0; i < state.folders.size(); ++i) {
        state.list(i);
    }
    SweepOutcome outcome;
    outcome.report = ReportFile::pathFor(state.reportFolder, state.clock.today());
    for (const auto& folder : state.folders) {
        if (folder->state() != FollowedFolder::State::present) {
            outcome.unreadable.push_back({folder->path(), folder->trouble()});
        }
        folder->forEachLog([&](FollowedLog& log) {
            if (log.failure()) {
                outcome.unreadable.push_back({log.path(), *log.failure()});
            } else {
                ++outcome.logsRead;
            }
        });
    }
    if (!state.publish()) {
        outcome.reportFailure = state.failure;
    }
    outcome.findings = state.findings;
    state.announce = true;
    state.events.started(outcome);
    return outcome;
}

void Follower::lookAgain(const Changes& changes) {
    State& state = *state_;
    bool listed = false;  // some folder changed, not only logs
    std::vector<std::pair<std::size_t, std::filesystem::path>> changedLogs;
    for (std::size_t i = 0; i < state.folders.size(); ++i) {
        FollowedFolder& folder = *state.folders[i];
        const auto tag = std::find_if(state.folderTags.begin(), state.folderTags.end(),
                                      [&](const auto& entry) { return entry.second == i; });
        const bool told =
            tag != state.folderTags.end() &&
            std::find(changes.tags.begin(), changes.tags.end(), tag->first) != changes.tags.end();
        if (changes.everything || told) {
            listed = state.list(i) || listed;
            continue;
        }
        for (const std::uint64_t logTag : changes.tags) {
            auto name = folder.logWatchedBy(logTag);
            if (!name) {
                continue;
            }
            const auto looked = folder.lookAt(logTag, state.announce);
            listed = listed || looked == FollowedFolder::Looked::folderChanged;
            if (looked == FollowedFolder::Looked::logChanged) {
                changedLogs.emplace_back(i, std::move(*name));
            }
        }
    }
    if (changes.everything || std::find(changes.tags.begin(), changes.tags.end(),
                                        state.reportTag) != changes.tags.end()) {
        state.checkReport();
    }
    if (listed || !changedLogs.empty()) {
        state.dirty = true;
        state.due = state.due ? state.due : Steady::now() + state.settings.gatherPublication;
        if (listed) {
            state.walk(nullptr, &state.events);
        } else {
            state.walkFrom(std::move(changedLogs));
        }
    }
}

void Follower::publishWhenDue() {
    State& state = *state_;
    const auto now = Steady::now();
    if (state.published && !(state.published->day == state.clock.today())) {
        lookAgain(kEverything);  // a new day: the report's own name is another
        state.publish();
        return;
    }
    if (state.relistAt && now >= *state.relistAt) {
        state.relistAt.reset();
        lookAgain(kEverything);
    }
    if ((state.due && now >= *state.due) || (state.retryAt && now >= *state.retryAt)) {
        state.publish();
    }
}

void Follower::publishNow() {
    State& state = *state_;
    state.checkReport();
    if (state.dirty || state.lastFailed || !state.published ||
        !(state.published->day == state.clock.today())) {
        state.publish();
    }
}

ChangeWatcher::Deadline Follower::nextDue() const {
    const State& state = *state_;
    auto next = Steady::now() + state.clock.untilTomorrow();
    for (const auto& at : {state.due, state.retryAt, state.relistAt}) {
        if (at) {
            next = std::min(next, *at);
        }
    }
    return next;
}

SweepOutcome::Status Follower::status() const {
    const State& state = *state_;
    if (state.lastFailed) {
        return SweepOutcome::Status::reportFailed;
    }
    for (const auto& folder : state.folders) {
        if (folder->state() != FollowedFolder::State::present || folder->anyLogUnreadable()) {
            return SweepOutcome::Status::someUnreadable;
        }
    }
    return SweepOutcome::Status::completed;
}

void Follower::watchWith(ChangeWatcher& watcher) {
    State& state = *state_;
    state.watcher = &watcher;
    for (std::size_t i = 0; i < state.folders.size(); ++i) {
        state.watchFolder(i);
    }
    state.reportTag = state.nextTag++;
    watcher.watchFolder(state.reportTag, state.reportFolder);
}

SweepOutcome::Status Follower::follow(ChangeWatcher& watcher) {
    State& state = *state_;
    watchWith(watcher);
    start();
    while (!state.events.ending()) {
        Changes changes;
        const auto wake = watcher.wait(nextDue(), changes);
        if (wake == ChangeWatcher::Wake::stop) {
            break;
        }
        if (wake == ChangeWatcher::Wake::changed) {
            lookAgain(changes);
        }
        publishWhenDue();
    }
    lookAgain(kEverything);
    publishNow();
    return status();
}

}  // namespace vesk
