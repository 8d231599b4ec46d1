#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

#include "sweep/change_watcher.h"

namespace vesk {

// The looks at what the system tells nothing of: once every so often.
struct LookTimer {
    explicit LookTimer(std::chrono::steady_clock::duration interval)
        : every(interval), next(std::chrono::steady_clock::now() + interval) {}

    std::chrono::steady_clock::duration every;
    std::chrono::steady_clock::time_point next;
};

// When a watcher's wait ends besides a stop or a wake: at the caller's deadline, at the next look
// where there are looks, or once the changes that came have been gathered for a few
// milliseconds, which no deadline cuts short.
class WaitTiming {
public:
    using Steady = std::chrono::steady_clock;

    WaitTiming(ChangeWatcher::Deadline deadline, Steady::duration gatherFor, LookTimer* look)
        : deadline_(deadline), gatherFor_(gatherFor), look_(look) {}

    // The next time the wait is to end; none: for ever.
    ChangeWatcher::Deadline until() const {
        auto until = deadline_;
        for (const auto at :
             {look_ != nullptr ? std::optional(look_->next) : std::nullopt, gathered_}) {
            if (at) {
                until = std::min(until.value_or(Steady::time_point::max()), *at);
            }
        }
        return until;
    }
    // A change came: the wait ends once the gathering is over.
    void changed() {
        if (!gathered_) {
            gathered_ = Steady::now() + gatherFor_;
        }
    }
    // How the wait ends now, if it does.
    std::optional<ChangeWatcher::Wake> ended(Changes& changes) {
        const auto now = Steady::now();
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
    ChangeWatcher::Deadline deadline_;
    Steady::duration gatherFor_;
    LookTimer* look_;
    std::optional<Steady::time_point> gathered_;  // once a change has come
};

}  // namespace vesk
