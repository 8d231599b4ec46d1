#include <windows.h>

#include <string>

#include "platform/scratch_file.h"
#include "platform/windows/windows_error.h"

namespace vesk {
namespace {

class WindowsScratchFile final : public ScratchFile {
public:
    explicit WindowsScratchFile(HANDLE handle) : handle_(handle) {}
    ~WindowsScratchFile() override { CloseHandle(handle_); }

    void writeAt(std::uint64_t offset, const char* data, std::size_t size,
                 std::error_code& ec) override {
        transfer(offset, const_cast<char*>(data), size, ec, true);
    }
    void readAt(std::uint64_t offset, char* data, std::size_t size, std::error_code& ec) override {
        transfer(offset, data, size, ec, false);
    }

    // The file is not sparse: its room comes back when it goes.
    void discard(std::uint64_t, std::uint64_t) override {}

private:
    void transfer(std::uint64_t offset, char* data, std::size_t size, std::error_code& ec,
                  bool write) {
        while (size > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD n = 0;
            const BOOL done = write ? WriteFile(handle_, data, chunk, &n, &at)
                                    : ReadFile(handle_, data, chunk, &n, &at);
            if (!done || n == 0) {
                ec = done ? std::make_error_code(std::errc::io_error) : lastWindowsError();
                return;
            }
            data += n;
            size -= n;
            offset += n;
        }
    }

    HANDLE handle_;
};

}  // namespace

std::unique_ptr<ScratchFile> openScratchFile(std::error_code& ec) {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"vsk", 0, name) == 0) {
        ec = lastWindowsError();
        return nullptr;
    }
    const HANDLE handle =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ec = lastWindowsError();
        DeleteFileW(name);
        return nullptr;
    }
    return std::make_unique<WindowsScratchFile>(handle);
}

}  // namespace vesk
