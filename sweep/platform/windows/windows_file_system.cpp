#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/named_drafts.h"
#include "platform/windows/interrupts.h"
#include "platform/windows/windows_error.h"
#include "platform/windows/windows_handle.h"
#include "report/draft_name.h"
#include "report/report_name.h"
#include "sweep/file_system.h"

namespace vesk {
namespace {

std::int64_t nanoseconds(LARGE_INTEGER time) {
    return time.QuadPart * 100;  // in 100 ns steps, since 1601
}

std::int64_t nanoseconds(FILETIME time) {
    LARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = static_cast<LONG>(time.dwHighDateTime);
    return nanoseconds(value);
}

// The times of an open file; its change time where the system tells it.
FileTimes timesOf(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info) {
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        return {nanoseconds(basic.LastWriteTime), nanoseconds(basic.ChangeTime)};
    }
    return {nanoseconds(info.ftLastWriteTime), nanoseconds(info.ftLastWriteTime)};
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

// A folder opened for listing. Without delete sharing, no one can rename or remove it while the
// handle is held, so its path keeps naming the folder that was listed.
Handle openDirectory(const std::filesystem::path& directory, FileIdentity& identity,
                     std::error_code& ec) {
    Handle handle(CreateFileW(directory.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle.isValid() || !GetFileInformationByHandle(handle.get(), &info)) {
        ec = lastWindowsError();
        return Handle();
    }
    identity = identityOf(info);
    return handle;
}

// Calls found for each ordinary, visible file of the folder, in the file system's order.
template <typename Found>
void forEachFile(HANDLE directory, Found found, std::error_code& ec) {
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    const DWORD bufferSize = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(directory, request, buffer.data(), bufferSize)) {
        request = FileIdBothDirectoryInfo;
        auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            if ((info->FileAttributes & kNotOrdinary) == 0) {
                found(*info,
                      std::wstring_view(info->FileName, info->FileNameLength / sizeof(wchar_t)));
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            at += info->NextEntryOffset;
        }
    }
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        ec = windowsError(error);
    }
}

class WindowsInputFile final : public InputFile {
public:
    WindowsInputFile(Handle handle, std::uint64_t size, FileIdentity identity, FileTimes times)
        : handle_(std::move(handle)), size_(size), identity_(identity), times_(times) {}

    std::size_t readAt(std::uint64_t offset, char* data, std::size_t size,
                       std::error_code& ec) override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        if (!ReadFile(handle_.get(), data,
                      static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &n, &at)) {
            const std::error_code error = lastWindowsError();
            if (error.value() != ERROR_HANDLE_EOF) {
                ec = error;
            }
            return 0;
        }
        return n;
    }
    std::uint64_t size() const override { return size_; }
    FileIdentity identity() const override { return identity_; }
    FileTimes times() const override { return times_; }

private:
    Handle handle_;
    std::uint64_t size_;
    FileIdentity identity_;
    FileTimes times_;
};

class WindowsLogFolder final : public LogFolder {
public:
    WindowsLogFolder(Handle handle, std::filesystem::path path, FileIdentity identity)
        : handle_(std::move(handle)), path_(std::move(path)), identity_(identity) {}

    FileIdentity identity() const override { return identity_; }

    std::vector<ListedFile> listFiles(LogSizes, std::error_code& ec) override {
        std::vector<ListedFile> files;
        const auto found = [&](const FILE_ID_BOTH_DIR_INFO& info, std::wstring_view name) {
            // A link's own number is not its target's.
            const bool link = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            files.push_back({std::wstring(name),
                             link ? FileIdentity{}
                                  : FileIdentity{identity_.volume,
                                                 static_cast<std::uint64_t>(info.FileId.QuadPart)},
                             static_cast<std::uint64_t>(info.EndOfFile.QuadPart),
                             {nanoseconds(info.LastWriteTime), nanoseconds(info.ChangeTime)}});
        };
        forEachFile(handle_.get(), found, ec);
        return files;
    }

    std::unique_ptr<InputFile> openLog(const ListedFile& log, std::error_code& ec) override {
        // A running server keeps writing its log: share everything, so that only a log held
        // without read sharing stays closed to us.
        Handle handle(CreateFileW((path_ / log.name).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!handle.isValid() || !GetFileInformationByHandle(handle.get(), &info)) {
            ec = lastWindowsError();
            return nullptr;
        }
        if (GetFileType(handle.get()) != FILE_TYPE_DISK ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            ec = SweepErrc::notOrdinaryFile;
            return nullptr;
        }
        if (log.identity.known() && identityOf(info) != log.identity) {
            ec = SweepErrc::replaced;
            return nullptr;
        }
        const std::uint64_t size =
            (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        const FileTimes times = timesOf(handle.get(), info);
        return std::make_unique<WindowsInputFile>(std::move(handle), size, identityOf(info), times);
    }

private:
    Handle handle_;
    std::filesystem::path path_;
    FileIdentity identity_;
};

// Takes away the drafts that runs which died left in the folder: a live run holds its draft open
// without sharing its deletion, so that only the others go.
void removeDeadDrafts(const std::filesystem::path& folder) {
    WIN32_FIND_DATAW found{};
    std::string name = ".";
    name.append(kReportNameStart).push_back('*');
    const std::filesystem::path pattern = folder / name;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (isDraftName(found.cFileName)) {
            DeleteFileW((folder / found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Whether the file goes when its last handle closes, as a run's draft does until it is whole.
bool setDeleteOnClose(HANDLE file, bool deleteOnClose) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// Renames the file open as handle, which this process alone may delete or rename.
bool renameOpenFile(HANDLE file, const std::filesystem::path& to, bool replace) {
    const std::wstring& name = to.native();
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    return SetFileInformationByHandle(file, FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

class WindowsReportDraft final : public ReportDraft {
public:
    static std::unique_ptr<ReportDraft> create(const std::filesystem::path& report,
                                               std::error_code& ec) {
        interrupts::install();
        const std::filesystem::path folderPath =
            report.has_parent_path() ? report.parent_path() : std::filesystem::path(L".");
        FileIdentity folderIdentity;
        Handle folder = openDirectory(folderPath, folderIdentity, ec);
        if (!folder.isValid()) {
            return nullptr;
        }
        const DWORD existing = GetFileAttributesW(report.c_str());
        if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (existing & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            ec = std::make_error_code(std::errc::is_a_directory);
            return nullptr;
        }
        removeDeadDrafts(folderPath);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path path = folderPath / draftNameFor(report.filename());
            // CREATE_NEW fails on anything already there, a link included. Held without sharing
            // its deletion, and gone with its last handle until it is whole: nothing is left of
            // a run that is killed.
            Handle file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
            if (file.isValid()) {
                setDeleteOnClose(file.get(), true);
                return std::unique_ptr<ReportDraft>(
                    new WindowsReportDraft(std::move(file), path, report, folderIdentity));
            }
            const std::error_code error = lastWindowsError();
            if (error.value() != ERROR_FILE_EXISTS && error.value() != ERROR_ALREADY_EXISTS) {
                ec = error;
                return nullptr;
            }
        }
        ec = std::make_error_code(std::errc::file_exists);
        return nullptr;
    }

    ~WindowsReportDraft() override {
        if (state_ == State::writing || state_ == State::finished) {
            interrupts::disarmDraft();
            file_.reset();
            DeleteFileW(path_.c_str());  // where deletion on close was refused
        }
    }

    void write(const char* data, std::size_t size, std::error_code& ec) override {
        while (size > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            DWORD n = 0;
            if (!WriteFile(file_.get(), data, chunk, &n, nullptr)) {
                ec = lastWindowsError();
                return;
            }
            data += n;
            size -= n;
        }
    }

    void finish(std::error_code& ec) override {
        // The report that takes the draft's place is not hidden.
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!FlushFileBuffers(file_.get()) ||
            !SetFileInformationByHandle(file_.get(), FileBasicInfo, &basic, sizeof basic)) {
            ec = lastWindowsError();
            return;
        }
        state_ = State::finished;
    }

    void publish(std::error_code& ec) override {
        setDeleteOnClose(file_.get(), false);
        if (renameOpenFile(file_.get(), report_, true)) {
            state_ = State::published;
        } else {
            // Kept with the run's findings, under a name no later run takes away.
            ec = lastWindowsError();
            const std::filesystem::path kept =
                path_.parent_path() / keptNameFor(report_.filename());
            if (renameOpenFile(file_.get(), kept, true)) {
                path_ = kept;
            }
            state_ = State::kept;
        }
        interrupts::disarmDraft();
        file_.reset();
    }

    const std::filesystem::path& draftPath() const override { return path_; }
    FileIdentity folderIdentity() const override { return folderIdentity_; }

private:
    enum class State { writing, finished, published, kept };

    WindowsReportDraft(Handle file, std::filesystem::path path, std::filesystem::path report,
                       FileIdentity folderIdentity)
        : file_(std::move(file)),
          path_(std::move(path)),
          report_(std::move(report)),
          folderIdentity_(folderIdentity) {
        interrupts::armDraft(path_);
    }

    Handle file_;
    std::filesystem::path path_;
    std::filesystem::path report_;
    FileIdentity folderIdentity_;
    State state_ = State::writing;
};

class WindowsFileSystem final : public FileSystem {
public:
    std::unique_ptr<ReportDraft> draftReport(const std::filesystem::path& report,
                                             std::error_code& ec) override {
        return WindowsReportDraft::create(report, ec);
    }

    std::unique_ptr<LogFolder> openFolder(const std::filesystem::path& directory,
                                          std::error_code& ec) override {
        FileIdentity identity;
        Handle handle = openDirectory(directory, identity, ec);
        if (!handle.isValid()) {
            return nullptr;
        }
        return std::make_unique<WindowsLogFolder>(std::move(handle), directory, identity);
    }

    FileLook lookAt(const std::filesystem::path& path, std::error_code& ec) override {
        Handle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!handle.isValid() || !GetFileInformationByHandle(handle.get(), &info)) {
            ec = lastWindowsError();
            return {};
        }
        const std::uint64_t size =
            (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        return {identityOf(info), size, timesOf(handle.get(), info)};
    }

    bool isLink(const std::filesystem::path& path) override {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
};

}  // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}

std::unique_ptr<FileSystem> makeFileSystemWithNamedDrafts() {
    return makeNativeFileSystem();  // every draft here is named
}

}  // namespace vesk
