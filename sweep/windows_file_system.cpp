#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "file_system.h"
#include "log_name.h"

namespace vesk {
namespace {

// Win32 error numbers with the system's own wording, in UTF-8.
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
};

std::error_code lastError() {
    static const WindowsCategory category;
    return {static_cast<int>(GetLastError()), category};
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (isValid()) {
            CloseHandle(handle_);
        }
    }
    HANDLE get() const { return handle_; }
    bool isValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle_;
};

bool describe(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileInformationByHandle(handle, &info) != 0;
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

class WindowsInputFile final : public InputFile {
public:
    WindowsInputFile(HANDLE handle, FileIdentity identity) : handle_(handle), identity_(identity) {}

    std::size_t read(char* data, std::size_t size, std::error_code& ec) override {
        DWORD n = 0;
        if (!ReadFile(handle_.get(), data, static_cast<DWORD>(size), &n, nullptr)) {
            ec = lastError();
            return 0;
        }
        return n;
    }
    FileIdentity identity() const override { return identity_; }

private:
    Handle handle_;
    FileIdentity identity_;
};

class WindowsOutputFile final : public OutputFile {
public:
    WindowsOutputFile(HANDLE handle, FileIdentity identity)
        : handle_(handle), identity_(identity) {}

    void write(const char* data, std::size_t size, std::error_code& ec) override {
        while (size > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD n = 0;
            if (!WriteFile(handle_.get(), data, chunk, &n, nullptr)) {
                ec = lastError();
                return;
            }
            data += n;
            size -= n;
        }
    }
    void close(std::error_code& ec) override {
        const HANDLE handle = handle_.release();
        if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) {
            ec = lastError();
        }
    }
    FileIdentity identity() const override { return identity_; }

private:
    Handle handle_;
    FileIdentity identity_;
};

constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

// The Windows wildcard enumeration: first match, then next matches, in the file system's order.
class Search {
public:
    Search(const std::filesystem::path& directory, const wchar_t* pattern, std::error_code& ec)
        : handle_(FindFirstFileW((directory / pattern).c_str(), &found_)) {
        if (handle_ == INVALID_HANDLE_VALUE) {
            // No match at all is an empty enumeration, not a failure.
            if (GetLastError() != ERROR_FILE_NOT_FOUND) {
                ec = lastError();
            }
            done_ = true;
        }
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    ~Search() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            FindClose(handle_);
        }
    }
    bool failed() const { return handle_ == INVALID_HANDLE_VALUE && !done_; }

    // The next ordinary, visible file whose name passes the test.
    template <typename NameTest>
    std::optional<std::filesystem::path> nextFile(NameTest test, std::error_code& ec) {
        while (!done_) {
            const WIN32_FIND_DATAW entry = found_;
            if (!FindNextFileW(handle_, &found_)) {
                if (GetLastError() != ERROR_NO_MORE_FILES) {
                    ec = lastError();
                }
                done_ = true;
            }
            const std::wstring_view name = entry.cFileName;
            if ((entry.dwFileAttributes & kNotOrdinary) == 0 && test(name)) {
                return std::filesystem::path(std::wstring(name));
            }
        }
        return std::nullopt;
    }

private:
    WIN32_FIND_DATAW found_{};
    HANDLE handle_;
    bool done_ = false;
};

class WindowsLogEnumeration final : public NameEnumeration {
public:
    WindowsLogEnumeration(const std::filesystem::path& directory, std::error_code& ec)
        : search_(directory, L"*.log", ec) {}

    std::optional<std::filesystem::path> next(std::error_code& ec) override {
        // The pattern also matches short 8.3 aliases, such as FOO~1.LOG for foo.logs.
        return search_.nextFile(hasLogExtension<wchar_t>, ec);
    }

private:
    Search search_;
};

class WindowsFileSystem final : public FileSystem {
public:
    std::unique_ptr<OutputFile> createReport(const std::filesystem::path& path,
                                             std::error_code& ec) override {
        Handle handle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!handle.isValid() || !describe(handle.get(), info)) {
            ec = lastError();
            return nullptr;
        }
        return std::make_unique<WindowsOutputFile>(handle.release(), identityOf(info));
    }

    std::unique_ptr<InputFile> openLog(const std::filesystem::path& path,
                                       std::error_code& ec) override {
        // A running server keeps writing its log: share everything, so that only a log held
        // without read sharing stays closed to us.
        Handle handle(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!handle.isValid() || !describe(handle.get(), info)) {
            ec = lastError();
            return nullptr;
        }
        if (GetFileType(handle.get()) != FILE_TYPE_DISK ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            ec = SweepErrc::notOrdinaryFile;
            return nullptr;
        }
        return std::make_unique<WindowsInputFile>(handle.release(), identityOf(info));
    }

    std::unique_ptr<NameEnumeration> findLogs(const std::filesystem::path& directory,
                                              std::error_code& ec) override {
        auto logs = std::make_unique<WindowsLogEnumeration>(directory, ec);
        return ec ? nullptr : std::move(logs);
    }

    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& directory,
                                                 std::error_code& ec) override {
        std::vector<std::filesystem::path> names;
        Search search(directory, L"*", ec);
        const auto anyName = [](std::wstring_view) { return true; };
        while (auto name = search.nextFile(anyName, ec)) {
            names.push_back(std::move(*name));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

}  // namespace vesk
