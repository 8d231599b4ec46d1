#include <windows.h>

#include <algorithm>
#include <vector>

#include "sweep/folder_watcher.h"

namespace vesk {
namespace {

// NTFS brings a directory entry's size up to date only now and then while a server holds its log
// open, so a second never passes without a look, whatever the folder tells.
constexpr DWORD kLookEvery = 1000;

HANDLE stopEvent = nullptr;

BOOL WINAPI stopOnControl(DWORD) {
    SetEvent(stopEvent);
    return TRUE;  // the watcher ends the program itself
}

class WindowsFolderWatcher final : public FolderWatcher {
public:
    explicit WindowsFolderWatcher(const std::vector<std::filesystem::path>& folders) {
        folders_.reserve(folders.size());  // a folder's pending read must not move
        for (const auto& path : folders) {
            Folder& folder = folders_.emplace_back();
            folder.handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
            folder.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (folder.handle == INVALID_HANDLE_VALUE || !watch(folder)) {
                folders_.pop_back();
            }
        }
    }

    ~WindowsFolderWatcher() override {
        for (auto& folder : folders_) {
            CancelIo(folder.handle);
            CloseHandle(folder.handle);
            CloseHandle(folder.overlapped.hEvent);
        }
    }

    Wake wait(std::optional<std::chrono::milliseconds> timeout) override {
        const ULONGLONG start = GetTickCount64();
        for (;;) {
            std::vector<HANDLE> events{stopEvent};
            for (const auto& folder : folders_) {
                events.push_back(folder.overlapped.hEvent);
            }
            DWORD wait = kLookEvery;
            if (timeout) {
                const ULONGLONG passed = GetTickCount64() - start;
                const auto left = static_cast<ULONGLONG>(timeout->count());
                if (passed >= left) {
                    return Wake::timeout;
                }
                wait = static_cast<DWORD>(std::min<ULONGLONG>(left - passed, kLookEvery));
            }
            const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(events.size()),
                                                       events.data(), FALSE, wait);
            if (woken == WAIT_OBJECT_0) {
                return Wake::stop;
            }
            if (woken > WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + events.size()) {
                Folder& folder = folders_[woken - WAIT_OBJECT_0 - 1];
                DWORD bytes = 0;
                GetOverlappedResult(folder.handle, &folder.overlapped, &bytes, FALSE);
                ResetEvent(folder.overlapped.hEvent);
                watch(folder);
                return Wake::changed;
            }
            if (!timeout || GetTickCount64() - start < static_cast<ULONGLONG>(timeout->count())) {
                return Wake::changed;  // a second has passed: look again
            }
        }
    }

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

    std::vector<Folder> folders_;
};

}  // namespace

void holdStopSignals() {
    if (stopEvent == nullptr) {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(stopOnControl, TRUE);
    }
}

std::unique_ptr<FolderWatcher> watchFolders(const std::vector<std::filesystem::path>& folders) {
    holdStopSignals();
    return std::make_unique<WindowsFolderWatcher>(folders);
}

}  // namespace vesk
