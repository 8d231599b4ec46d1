#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "platform/wait_timing.h"
#include "platform/windows/windows_error.h"
#include "sweep/change_watcher.h"

namespace vesk {
namespace {

using Steady = Clock::Steady;

HANDLE stopEvent = nullptr;

BOOL WINAPI stopOnControl(DWORD) {
    SetEvent(stopEvent);
    return TRUE;  // the watcher ends the program itself
}

// Folders are watched with ReadDirectoryChangesW. NTFS brings a directory entry's size up to
// date only now and then while a server holds its log open, and nothing tells of a file's writes
// alone, so everything is looked at again at least once a second, whatever the folders tell.
class WindowsChangeWatcher final : public ChangeWatcher {
public:
    explicit WindowsChangeWatcher(const SweepSettings& settings)
        : look_(settings.lookEvery, clock_.now()),
          gatherFor_(settings.gatherChanges),
          woken_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    ~WindowsChangeWatcher() override {
        for (auto& [tag, folder] : folders_) {
            close(*folder);
        }
        CloseHandle(woken_);
    }

    bool watchFolder(std::uint64_t tag, const std::filesystem::path& path) override {
        auto folder = std::make_unique<Folder>();
        folder->handle =
            CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        folder->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (folder->handle == INVALID_HANDLE_VALUE || !watch(*folder)) {
            close(*folder);
            return false;
        }
        folders_[tag] = std::move(folder);
        return true;
    }

    void watchFile(std::uint64_t, const std::filesystem::path&) override {}

    void unwatch(std::uint64_t tag) override {
        const auto folder = folders_.find(tag);
        if (folder != folders_.end()) {
            close(*folder->second);
            folders_.erase(folder);
        }
    }

    Wake wait(Deadline deadline, Changes& changes) override {
        WaitTiming timing(clock_, deadline, gatherFor_, &look_);
        for (;;) {
            std::vector<HANDLE> events{stopEvent, woken_};
            std::vector<std::uint64_t> tags;
            for (const auto& [tag, folder] : folders_) {
                events.push_back(folder->overlapped.hEvent);
                tags.push_back(tag);
            }
            const auto wait = timing.left().value_or(std::chrono::milliseconds(1000));
            const DWORD woken =
                WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE,
                                       static_cast<DWORD>(std::min<long long>(wait.count(), 1000)));
            if (woken == WAIT_OBJECT_0) {
                return Wake::stop;
            }
            if (woken == WAIT_OBJECT_0 + 1) {
                return Wake::changed;
            }
            if (woken >= WAIT_OBJECT_0 + 2 && woken < WAIT_OBJECT_0 + events.size()) {
                const std::uint64_t tag = tags[woken - WAIT_OBJECT_0 - 2];
                Folder& folder = *folders_[tag];
                DWORD bytes = 0;
                GetOverlappedResult(folder.handle, &folder.overlapped, &bytes, FALSE);
                ResetEvent(folder.overlapped.hEvent);
                watch(folder);
                changes.tags.push_back(tag);
                timing.changed();
            }
            if (const auto wake = timing.ended(changes)) {
                return *wake;
            }
        }
    }

    void wake() override { SetEvent(woken_); }

private:
    struct Folder {
        HANDLE handle = INVALID_HANDLE_VALUE;
        OVERLAPPED overlapped{};
        alignas(DWORD) char changes[16 * 1024];
    };

    // What changed is looked at afresh: the notices only wake the follower.
    static bool watch(Folder& folder) {
        constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                   FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_CREATION;
        return ReadDirectoryChangesW(folder.handle, folder.changes, sizeof folder.changes, FALSE,
                                     kChanges, nullptr, &folder.overlapped, nullptr) != 0;
    }

    static void close(Folder& folder) {
        if (folder.handle != INVALID_HANDLE_VALUE) {
            CancelIo(folder.handle);
            CloseHandle(folder.handle);
        }
        if (folder.overlapped.hEvent != nullptr) {
            CloseHandle(folder.overlapped.hEvent);
        }
    }

    const SystemClock clock_;  // before the look, which starts from it
    LookTimer look_;
    const Steady::duration gatherFor_;
    HANDLE woken_;
    std::map<std::uint64_t, std::unique_ptr<Folder>> folders_;
};

}  // namespace

void holdStopSignals() {
    if (stopEvent == nullptr) {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(stopOnControl, TRUE);
    }
}

std::unique_ptr<ChangeWatcher> makeChangeWatcher(const SweepSettings& settings,
                                                 std::error_code& ec) {
    holdStopSignals();
    if (stopEvent == nullptr) {
        ec = lastWindowsError();
        return nullptr;
    }
    return std::make_unique<WindowsChangeWatcher>(settings);
}

}  // namespace vesk
