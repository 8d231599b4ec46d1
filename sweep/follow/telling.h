#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "follow/followed_log.h"
#include "sweep/follow.h"

namespace vesk {

// Findings told of as following goes, each with where it lies, and which of them have reached
// their reader: the place kept across a restart is before the first that has not.
class Telling {
public:
    explicit Telling(FollowEvents& events) : events_(events) {}

    void tell(const FollowedLog& log, std::uint64_t offset, std::string_view line,
              std::uint64_t length) {
        tell({log.folder(), log.path(), offset, line, length});
    }
    void tell(const Finding& finding) {
        if (muted_) {
            return;
        }
        if (pending_.size() < kMostPending) {
            pending_.push_back({told_, &*logs_.insert(finding.log.native()).first, finding.offset});
        } else {
            overflowed_ = true;
        }
        ++told_;
        events_.finding(finding);
    }

    // While muted, findings are taken as told: they were there when following began.
    void mute(bool muted) { muted_ = muted; }

    // Asks which have been delivered. False where too many were told and not delivered to keep
    // track of them: the place kept is then not to move on.
    bool update() {
        const std::uint64_t delivered = events_.delivered(told_);
        while (!pending_.empty() && pending_.front().sequence < delivered) {
            pending_.pop_front();
        }
        if (pending_.empty()) {
            logs_.clear();
            overflowed_ = false;
        }
        return !overflowed_;
    }
    // Where the first finding not yet delivered begins, by log, for the logs that have one.
    std::map<std::filesystem::path::string_type, std::uint64_t> undelivered() const {
        std::map<std::filesystem::path::string_type, std::uint64_t> first;
        for (const auto& told : pending_) {
            const auto [at, added] = first.emplace(*told.log, told.offset);
            at->second = std::min(at->second, told.offset);
        }
        return first;
    }

private:
    // Findings told and not yet delivered kept track of at most, about 1.5 MiB: a reader stalled
    // for long, or a line lost, is not to make memory grow with what is told after it.
    static constexpr std::size_t kMostPending = 1 << 16;

    struct Told {
        std::uint64_t sequence;
        const std::filesystem::path::string_type* log;  // in logs_
        std::uint64_t offset;
    };

    FollowEvents& events_;
    std::uint64_t told_ = 0;
    std::deque<Told> pending_;
    std::set<std::filesystem::path::string_type> logs_;  // those pending_ names, each once
    bool overflowed_ = false;
    bool muted_ = false;
};

}  // namespace vesk
