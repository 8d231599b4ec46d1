#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <system_error>
#include <vector>

namespace vesk {

// Which file a name or handle refers to, whatever name reached it. All zero when not known.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool known() const { return file != 0; }
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// When a file was last written to, and when its entry last changed (a write, a rename, its
// permissions), in nanoseconds since the epoch.
struct FileTimes {
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    friend bool operator==(const FileTimes&, const FileTimes&) = default;
};

// What a name leads to now.
struct FileLook {
    FileIdentity identity;
    std::uint64_t size = 0;
    FileTimes times;
};

class InputFile {
public:
    virtual ~InputFile() = default;
    // Up to size bytes from offset on; 0 at the end of the file. Several threads may read at
    // once, each at its own offset.
    virtual std::size_t readAt(std::uint64_t offset, char* data, std::size_t size,
                               std::error_code& ec) = 0;
    // The length when the file was opened: what a run reads of it, so that a log a live server
    // keeps writing is not chased for ever.
    virtual std::uint64_t size() const = 0;
    // The file that was opened, whatever name led to it.
    virtual FileIdentity identity() const = 0;
    virtual FileTimes times() const = 0;
};

// A file as the folder's listing gave it.
struct ListedFile {
    std::filesystem::path name;  // without directory
    FileIdentity identity;       // the file the name led to when listed, where the system tells
    std::uint64_t size = 0;      // for logs, and only when asked for
    FileTimes times;             // the same
};

// A log for LogFolder::readLogs to read whole.
struct LogRead {
    const ListedFile* log = nullptr;
    std::span<char> into;    // where it is read, when it fits
    bool larger = false;     // it did not fit, and was left unread
    std::uint64_t size = 0;  // when it was opened
    FileIdentity identity;   // the file opened, and its times then
    FileTimes times;
    std::size_t read = 0;  // bytes read into `into`: size, unless ec
    std::error_code ec;    // why it could not be opened, or read to size
};

// Whether a folder's listing looks up the logs' sizes and times, which costs a call for each.
enum class LogSizes { skipped, listed };

// A folder held open for one sweep. Its files are listed whole before the first log is read, and
// the logs are opened relative to it, so that a folder renamed or switched midway cannot lend its
// names to another folder's files.
class LogFolder {
public:
    virtual ~LogFolder() = default;
    virtual FileIdentity identity() const = 0;
    // The ordinary, visible files, in the file system's order.
    virtual std::vector<ListedFile> listFiles(LogSizes sizes, std::error_code& ec) = 0;
    // Fails for anything that is not an ordinary file, rather than blocking on it, and for a name
    // that no longer leads to the file that was listed.
    virtual std::unique_ptr<InputFile> openLog(const ListedFile& log, std::error_code& ec) = 0;
    // Opens each log as openLog does, reads it whole into its buffer where it fits and closes it:
    // many small logs of a folder in few calls to the system where it can, else one by one.
    virtual void readLogs(std::span<LogRead> logs);
    // Whether readLogs takes fewer calls than opening the logs one by one; where it does not, each
    // log is better opened alone, and joined as soon as it is read.
    virtual bool readsTogether() const { return false; }
};

// The day's report while a run writes it: a file of its own beside the report, nameless or under
// a hidden name no one can guess, that takes the report's place only when it is whole, with the
// earlier report's permissions.
class ReportDraft {
public:
    // Removes the draft unless it was published or kept.
    virtual ~ReportDraft() = default;
    // Writes all of it, or fails.
    virtual void write(const char* data, std::size_t size, std::error_code& ec) = 0;
    // Flushes everything to the disk and closes the draft.
    virtual void finish(std::error_code& ec) = 0;
    // Moves the finished draft over the report in one step. When that fails the draft is kept,
    // under draftPath(), with the run's findings, where it has a name.
    virtual void publish(std::error_code& ec) = 0;
    virtual const std::filesystem::path& draftPath() const = 0;
    virtual FileIdentity folderIdentity() const = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Fails at once when a folder stands at the report's name.
    virtual std::unique_ptr<ReportDraft> draftReport(const std::filesystem::path& report,
                                                     std::error_code& ec) = 0;
    virtual std::unique_ptr<LogFolder> openFolder(const std::filesystem::path& directory,
                                                  std::error_code& ec) = 0;
    // What the path leads to now, following links.
    virtual FileLook lookAt(const std::filesystem::path& path, std::error_code& ec) = 0;
    // Whether the path's last part is a link (a junction on Windows).
    virtual bool isLink(const std::filesystem::path& path) = 0;
    // The names of all ordinary, visible files, sorted.
    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& directory,
                                                 std::error_code& ec);
};

// The file system of the machine the program runs on. The report's draft has no name until it is
// whole where the file system allows; elsewhere, and on Windows, it is named from the start and
// held by its run, and each run takes away those whose run is gone. A signal that ends a run
// (SIGINT, SIGTERM, SIGHUP; Ctrl+C or a closed console on Windows) takes its draft away before the
// process dies of it, unless the program ignores or handles that signal itself.
std::unique_ptr<FileSystem> makeNativeFileSystem();

// Failures that the operating system has no code for.
enum class SweepErrc { notOrdinaryFile = 1, replaced, shrank, stateDamaged, stateForeign };
std::error_code make_error_code(SweepErrc e);

}  // namespace vesk

template <>
struct std::is_error_code_enum<vesk::SweepErrc> : std::true_type {};
