#include "follow/following.h"
#include "platform/machine.h"
#include "sweep/follow.h"

namespace vesk {

Follower::Follower(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
                   std::vector<std::filesystem::path> folders, FollowEvents& events,
                   SweepSettings settings, std::optional<std::filesystem::path> stateFolder)
    : following_(std::make_unique<Following>(fs, clock, std::move(reportFolder), std::move(folders),
                                             events, settings, std::move(stateFolder))),
      events_(events) {}

Follower::~Follower() = default;

void Follower::keepPlace() {
    following_->keepPlace();
}

SweepOutcome::Status Follower::follow(ChangeWatcher& watcher) {
    Following& following = *following_;
    following.watchWith(watcher);
    if (following.start().outOfDescriptors) {
        return SweepOutcome::Status::outOfDescriptors;
    }
    returnFreedMemory();  // the first sweep's blocks and listings
    while (!events_.ending()) {
        Changes changes;
        const auto wake = watcher.wait(following.nextDue(), changes);
        if (wake == ChangeWatcher::Wake::stop) {
            break;
        }
        if (wake == ChangeWatcher::Wake::changed) {
            following.readChanges(changes);
        }
        following.publishWhenDue();
    }
    following.finish();
    return following.status();
}

}  // namespace vesk
