#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

#include "sweep/change_watcher.h"
#include "sweep/clock.h"

namespace vesk {

// The looks at what the system tells nothing of: once every so often.
struct LookTimer {
    LookTimer(Clock::Steady::duration interval, Clock::Steady::time_point now)
        : every(interval), next(now + interval) {}

    Clock::Steady::duration every;
    Clock::Steady::time_point next;
};

// When a watcher's wait ends besides a stop or a wake: at the caller's deadline, at the next look
// where there are looks, or once the changes that came have been gathered for a few
// milliseconds, which no deadline cuts short. Time is read through the clock alone, so that a
// test can move it.
class WaitTiming {
public:
    using Steady = Clock::Steady;

    WaitTiming(const Clock& clock, ChangeWatcher::Deadline deadline, Steady::duration gatherFor,
               LookTimer* look)
        : clock_(clock), deadline_(deadline), gatherFor_(gatherFor), look_(look) {}

    // The next time the wait is to end; none: for ever. Once a change has come, the gathering's
    // end stands in for the deadline, which would only wake the wait to go on.
    ChangeWatcher::Deadline until() const {
        auto until = gathered_ ? gathered_ : deadline_;
        if (look_ != nullptr) {
            until = std::min(until.value_or(Steady::time_point::max()), look_->next);
        }
        return until;
    }
    // How long the system may wait from now, in whole milliseconds rounded up so that it never
    // wakes early; none: for ever.
    std::optional<std::chrono::milliseconds> left() const {
        const auto end = until();
        if (!end) {
            return std::nullopt;
        }
        return std::chrono::ceil<std::chrono::milliseconds>(
            std::max(*end - clock_.now(), Steady::duration::zero()));
    }
    // A change came: the wait ends once the gathering is over.
    void changed() {
        if (!gathered_) {
            gathered_ = clock_.now() + gatherFor_;
        }
    }
    // How the wait ends now, if it does.
    std::optional<ChangeWatcher::Wake> ended(Changes& changes) {
        const auto now = clock_.now();
        if (look_ != nullptr && now >= look_->next) {
            look_->next = now + look_->every;
            changes.everything = true;
            return ChangeWatcher::Wake::changed;
        }
        if (gathered_ && now >= *gathered_) {
            return ChangeWatcher::Wake::changed;
        }
        if (!gathered_ && deadline_ && now >= *deadline_) {
            return ChangeWatcher::Wake::timeout;
        }
        return std::nullopt;
    }

private:
    const Clock& clock_;
    ChangeWatcher::Deadline deadline_;
    Steady::duration gatherFor_;
    LookTimer* look_;
    std::optional<Steady::time_point> gathered_;  // once a change has come
};

}  // namespace vesk
