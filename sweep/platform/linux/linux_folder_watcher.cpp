#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "platform/posix/interrupts.h"
#include "platform/posix/posix_io.h"
#include "sweep/folder_watcher.h"

namespace vesk {
namespace {

constexpr auto kPollEvery = std::chrono::seconds(1);
// After the first change, others that come with it are waited for this long, so that a writer's
// burst is read once.
constexpr auto kGatherFor = std::chrono::milliseconds(5);

// File systems that tell no one of changes made on other machines.
bool isNetworkFolder(const std::filesystem::path& folder) {
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0) {
        return true;
    }
    constexpr unsigned long kNetwork[] = {
        0x6969 /* nfs */,      0x517B /* smb */,    0xFF534D42 /* cifs */, 0xFE534D42 /* smb2 */,
        0x65735546 /* fuse */, 0x01021997 /* 9p */, 0x00C36400 /* ceph */, 0x5346414F /* afs */};
    const auto type = static_cast<unsigned long>(info.f_type);
    return std::find(std::begin(kNetwork), std::end(kNetwork), type) != std::end(kNetwork);
}

class LinuxFolderWatcher final : public FolderWatcher {
public:
    explicit LinuxFolderWatcher(const std::vector<std::filesystem::path>& folders)
        : changes_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        // The signals that end a run end following too.
        const sigset_t signals = interrupts::signalSet();
        signals_ = Descriptor(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
        constexpr std::uint32_t kChanges = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                           IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
        for (const auto& folder : folders) {
            polled_ = polled_ || changes_.get() < 0 || isNetworkFolder(folder) ||
                      ::inotify_add_watch(changes_.get(), folder.c_str(), kChanges) < 0;
        }
    }

    Wake wait(std::optional<std::chrono::milliseconds> timeout) override {
        const auto deadline = timeout ? std::optional(Steady::now() + *timeout) : std::nullopt;
        std::array<pollfd, 2> watched{{{signals_.get(), POLLIN, 0}, {changes_.get(), POLLIN, 0}}};
        for (;;) {
            auto wait = deadline ? std::max(*deadline - Steady::now(), Steady::duration::zero())
                                 : Steady::duration::max();
            if (polled_) {
                wait = std::min<Steady::duration>(wait, kPollEvery);
            }
            const int ready = ::poll(watched.data(), watched.size(), milliseconds(wait));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if ((watched[0].revents & POLLIN) != 0) {
                signalfd_siginfo taken{};
                static_cast<void>(::read(signals_.get(), &taken, sizeof taken));
                return Wake::stop;
            }
            if ((watched[1].revents & POLLIN) != 0) {
                drain();
                pollfd more{changes_.get(), POLLIN, 0};
                while (::poll(&more, 1, static_cast<int>(kGatherFor.count())) > 0) {
                    drain();
                }
                return Wake::changed;
            }
            if (deadline && Steady::now() >= *deadline) {
                return Wake::timeout;
            }
            if (polled_ && ready == 0) {
                return Wake::changed;  // a second has passed: look again
            }
        }
    }

private:
    using Steady = std::chrono::steady_clock;

    static int milliseconds(Steady::duration wait) {
        if (wait == Steady::duration::max()) {
            return -1;
        }
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
        return static_cast<int>(std::min<long long>(ms, 1 << 30));
    }

    // What changed is looked at afresh: the events only wake the follower.
    void drain() {
        alignas(inotify_event) char events[16 * 1024];
        while (::read(changes_.get(), events, sizeof events) > 0) {
        }
    }

    Descriptor changes_;
    Descriptor signals_;
    bool polled_ = false;
};

}  // namespace

void holdStopSignals() {
    const sigset_t signals = interrupts::signalSet();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

std::unique_ptr<FolderWatcher> watchFolders(const std::vector<std::filesystem::path>& folders) {
    return std::make_unique<LinuxFolderWatcher>(folders);
}

}  // namespace vesk
