#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

#include "platform/posix/interrupts.h"
#include "platform/posix/posix_io.h"
#include "platform/sorted_pairs.h"
#include "platform/wait_timing.h"
#include "sweep/change_watcher.h"

namespace vesk {
namespace {

using Steady = Clock::Steady;

// A folder's files coming and going, itself going; its files' writes are watched on the files.
constexpr std::uint32_t kFolderChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFileChanges = IN_MODIFY | IN_ATTRIB;

// File systems that tell no one of changes made on other machines.
bool isNetworkFolder(const std::filesystem::path& folder) {
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0) {
        return false;
    }
    constexpr unsigned long kNetwork[] = {
        0x6969 /* nfs */,      0x517B /* smb */,    0xFF534D42 /* cifs */, 0xFE534D42 /* smb2 */,
        0x65735546 /* fuse */, 0x01021997 /* 9p */, 0x00C36400 /* ceph */, 0x5346414F /* afs */};
    const auto type = static_cast<unsigned long>(info.f_type);
    return std::find(std::begin(kNetwork), std::end(kNetwork), type) != std::end(kNetwork);
}

class InotifyWatcher final : public ChangeWatcher {
public:
    explicit InotifyWatcher(const SweepSettings& settings)
        : look_(settings.lookEvery, clock_.now()),
          gatherFor_(settings.gatherChanges),
          changes_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          woken_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        // The signals that end a run end following too.
        const sigset_t signals = interrupts::signalSet();
        signals_ = Descriptor(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
        polled_ = changes_.get() < 0;
    }

    // Whether its descriptors for a stop and a wake could be had; without inotify it looks
    // every second instead.
    bool canStop() const { return signals_.get() >= 0 && woken_.get() >= 0; }

    bool watchFolder(std::uint64_t tag, const std::filesystem::path& folder) override {
        if (isNetworkFolder(folder)) {
            polled_ = true;
            return true;
        }
        return add(tag, folder, kFolderChanges);
    }

    void watchFile(std::uint64_t tag, const std::filesystem::path& file) override {
        add(tag, file, kFileChanges);
    }

    void unwatch(std::uint64_t tag) override {
        std::optional<std::uint64_t> watch;
        watches_.forEach(tag, [&](std::uint64_t one) { watch = one; });
        if (!watch) {
            return;
        }
        watches_.erase(tag);
        tags_.erase(*watch, tag);
        bool others = false;
        tags_.forEach(*watch, [&](std::uint64_t) { others = true; });
        if (!others) {
            ::inotify_rm_watch(changes_.get(), static_cast<int>(*watch));  // its last tag
        }
    }

    Wake wait(Deadline deadline, Changes& changes) override {
        std::array<pollfd, 3> watched{
            {{signals_.get(), POLLIN, 0}, {woken_.get(), POLLIN, 0}, {changes_.get(), POLLIN, 0}}};
        WaitTiming timing(clock_, deadline, gatherFor_, polled_ ? &look_ : nullptr);
        for (;;) {
            const auto left = timing.left();
            const int ready =
                ::poll(watched.data(), watched.size(),
                       left ? static_cast<int>(std::min<long long>(left->count(), 1 << 30)) : -1);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if ((watched[0].revents & POLLIN) != 0) {
                signalfd_siginfo taken{};
                static_cast<void>(::read(signals_.get(), &taken, sizeof taken));
                return Wake::stop;
            }
            if ((watched[1].revents & POLLIN) != 0) {
                std::uint64_t count = 0;
                static_cast<void>(::read(woken_.get(), &count, sizeof count));
                return Wake::changed;
            }
            if ((watched[2].revents & POLLIN) != 0) {
                drain(changes);
                timing.changed();
            }
            if (const auto wake = timing.ended(changes)) {
                return *wake;
            }
        }
    }

    void wake() override {
        const std::uint64_t one = 1;
        static_cast<void>(::write(woken_.get(), &one, sizeof one));
    }

private:
    // Where the system has run out of watches, what is left unwatched is looked at once a second.
    bool add(std::uint64_t tag, const std::filesystem::path& path, std::uint32_t mask) {
        const int watch =
            changes_.get() < 0 ? -1 : ::inotify_add_watch(changes_.get(), path.c_str(), mask);
        if (watch < 0) {
            polled_ = polled_ || errno == ENOSPC || errno == ENOMEM || changes_.get() < 0;
            return false;
        }
        const auto key = static_cast<std::uint64_t>(watch);
        if (!tags_.contains(key, tag)) {
            tags_.insert(key, tag);
        }
        watches_.erase(tag);
        watches_.insert(tag, key);
        return true;
    }

    // The tags of what changed; a watch the system dropped (its file gone) is told of too.
    void drain(Changes& changes) {
        alignas(inotify_event) char events[16 * 1024];
        for (ssize_t n; (n = ::read(changes_.get(), events, sizeof events)) > 0;) {
            for (const char* p = events; p < events + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                p += sizeof(inotify_event) + event->len;
                if ((event->mask & IN_Q_OVERFLOW) != 0) {
                    changes.everything = true;
                    continue;
                }
                const auto watch = static_cast<std::uint64_t>(event->wd);
                tags_.forEach(watch, [&](std::uint64_t tag) {
                    changes.tags.push_back(tag);
                    if ((event->mask & IN_IGNORED) != 0) {
                        watches_.erase(tag, watch);
                    }
                });
                if ((event->mask & IN_IGNORED) != 0) {
                    tags_.erase(watch);
                }
            }
        }
        std::sort(changes.tags.begin(), changes.tags.end());
        changes.tags.erase(std::unique(changes.tags.begin(), changes.tags.end()),
                           changes.tags.end());
    }

    const SystemClock clock_;  // before the look, which starts from it
    LookTimer look_;
    const Steady::duration gatherFor_;
    Descriptor changes_;
    Descriptor signals_;
    Descriptor woken_;
    SortedPairs watches_;  // of each tag
    SortedPairs tags_;     // of each watch
    bool polled_ = false;
};

}  // namespace

void holdStopSignals() {
    const sigset_t signals = interrupts::signalSet();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

std::unique_ptr<ChangeWatcher> makeChangeWatcher(const SweepSettings& settings,
                                                 std::error_code& ec) {
    auto watcher = std::make_unique<InotifyWatcher>(settings);
    if (!watcher->canStop()) {
        ec = lastError();  // with no way to hear a stop, it could never end
        return nullptr;
    }
    return watcher;
}

}  // namespace vesk
