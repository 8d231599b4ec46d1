#include "platform/windows/windows_error.h"

#include <string>

namespace vesk {
namespace {

class WindowsCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int code) const override {
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
            reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (length == 0 || text == nullptr) {
            return "Windows error " + std::to_string(code);
        }
        std::wstring wide(text, length);
        LocalFree(text);
        while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' ||
                                 wide.back() == L' ' || wide.back() == L'.')) {
            wide.pop_back();
        }
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                            size, nullptr, nullptr);
        return utf8;
    }

    // The errors that the sweep tells apart, as the portable conditions they are.
    std::error_condition default_error_condition(int code) const noexcept override {
        switch (code) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return std::errc::no_such_file_or_directory;
            case ERROR_DIRECTORY:
                return std::errc::not_a_directory;
            case ERROR_ACCESS_DENIED:
                return std::errc::permission_denied;
            case ERROR_TOO_MANY_OPEN_FILES:
                return std::errc::too_many_files_open;
            case ERROR_DISK_FULL:
            case ERROR_HANDLE_DISK_FULL:
                return std::errc::no_space_on_device;
            default:
                return {code, *this};
        }
    }
};

// Constant-initialized: no first-use initialization can run between a failing call and the
// reading of its error, which such initialization would reset.
const WindowsCategory kWindowsCategory;

}  // namespace

std::error_code windowsError(DWORD code) {
    return {static_cast<int>(code), kWindowsCategory};
}

}  // namespace vesk
