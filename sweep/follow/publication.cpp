#include "follow/publication.h"

#include <algorithm>
#include <new>

#include "report/report_file.h"
#include "report/report_name.h"

namespace vesk {

Publication::Publication(FileSystem& fs, const Clock& clock, std::filesystem::path folder,
                         FollowEvents& events, const SweepSettings& settings)
    : fs_(fs),
      clock_(clock),
      folder_(std::move(folder)),
      events_(events),
      settings_(settings),
      buffer_(settings.blockSize),
      retryDelay_(settings.firstRetry) {
    // A report folder that cannot be looked at has no identity, so no folder followed is taken
    // for it; the first publication, which cannot write there either, names why.
    std::error_code ec;
    folderIdentity_ = fs_.lookAt(folder_, ec).identity;
}

std::filesystem::path Publication::todaysName() const {
    return reportName(clock_.today());
}

void Publication::started(const SweepOutcome& outcome) {
    if (outcome.reportFailure) {
        failed(*outcome.reportFailure);
        return;
    }
    published(outcome.report, clock_.today(), outcome.findings);
}

void Publication::changed() {
    dirty_ = true;
    if (!gathered_ && !lastFailed_) {
        gathered_ = clock_.now() + settings_.gatherPublication;
    }
}

bool Publication::due() const {
    const auto now = clock_.now();
    return (gathered_ && now >= *gathered_) || (retryAt_ && now >= *retryAt_) || newDay();
}

bool Publication::newDay() const {
    return published_ && !(published_->day == clock_.today());
}

bool Publication::pending() const {
    return dirty_ || lastFailed_ || !published_ || !(published_->day == clock_.today());
}

bool Publication::publish(const JoinLogs& joinLogs) {
    const LocalDate today = clock_.today();
    const std::filesystem::path path = ReportFile::pathFor(folder_, today);
    ReportFile report(fs_);
    try {
        report.open(path);
        ReportJoin join(report, buffer_.span());
        joinLogs(join);
        report.close();
    } catch (const ReportError& error) {
        report.abandon();
        failed({error.path(), error.reason(), error.keptIn(), error.error()});
        return false;
    } catch (const std::bad_alloc&) {
        report.abandon();
        const auto ec = std::make_error_code(std::errc::not_enough_memory);
        failed({path, ec.message(), {}, ec});
        return false;
    }
    published(path, today, report.lines());
    return true;
}

void Publication::published(const std::filesystem::path& path, LocalDate day,
                            std::uint64_t findings) {
    // A report that cannot be looked at now has no identity, so it is taken to be changed when
    // next checked, and published again.
    std::error_code ec;
    published_ = {fs_.lookAt(path, ec), day};
    findings_ = findings;
    dirty_ = lastFailed_ = failureNamed_ = false;
    gathered_.reset();
    retryAt_.reset();
    retryDelay_ = settings_.firstRetry;
    // The file itself is watched, as a change in place tells its folder nothing.
    if (watcher_ != nullptr) {
        watcher_->unwatch(fileTag_);
        watcher_->watchFile(fileTag_, path);
    }
}

// Named once, when it first fails after it did not; tried again later each time, and only then:
// the changes that come meanwhile wait for the retry.
void Publication::failed(ReportFailure failure) {
    if (!failureNamed_) {
        events_.reportFailed(failure);
        failureNamed_ = true;
    }
    lastFailed_ = true;
    gathered_.reset();
    retryAt_ = clock_.now() + retryDelay_;
    retryDelay_ = std::min<Steady::duration>(retryDelay_ * 2, settings_.longestRetry);
}

void Publication::checkReport() {
    if (!published_) {
        return;
    }
    std::error_code ec;
    const FileLook now = fs_.lookAt(ReportFile::pathFor(folder_, published_->day), ec);
    const FileLook& then = published_->look;
    if (ec || now.identity != then.identity || now.size != then.size ||
        now.times.modified != then.times.modified) {
        dirty_ = true;
        if (!lastFailed_) {
            gathered_ = clock_.now();
        }
    }
}

std::optional<Publication::Steady::time_point> Publication::nextDue() const {
    auto next = clock_.now() + clock_.untilTomorrow();
    for (const auto& at : {gathered_, retryAt_}) {
        if (at) {
            next = std::min(next, *at);
        }
    }
    return next;
}

void Publication::watchWith(ChangeWatcher& watcher, std::uint64_t folderTag,
                            std::uint64_t fileTag) {
    watcher_ = &watcher;
    folderTag_ = folderTag;
    fileTag_ = fileTag;
    watcher.watchFolder(folderTag_, folder_);
    if (published_) {
        watcher.watchFile(fileTag_, ReportFile::pathFor(folder_, published_->day));
    }
}

}  // namespace vesk
