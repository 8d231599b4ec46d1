#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/listed_folder.h"
#include "sweep/settings.h"

namespace vesk {

struct UnreadableLog {
    std::filesystem::path path;  // a log, or a folder that could not be listed
    std::string reason;
};

// Why the report could not be written, and what became of the run's findings.
struct ReportFailure {
    std::filesystem::path path;  // the report, or its folder when no draft could be made there
    std::string reason;
    // The draft that holds the findings when it could not take the report's place; else empty,
    // and none of the findings were stored: the day's earlier report is as it was.
    std::filesystem::path keptIn;
    std::error_code error;  // the reason's own
};

struct SweepOutcome {
    enum class Status { completed, someUnreadable, reportFailed, stopped, outOfDescriptors };
    Status status() const {
        return stopped              ? Status::stopped
               : outOfDescriptors   ? Status::outOfDescriptors
               : reportFailure      ? Status::reportFailed
               : unreadable.empty() ? Status::completed
                                    : Status::someUnreadable;
    }

    std::filesystem::path report;
    std::uint64_t findings = 0;  // lines that went into the report
    int logsRead = 0;            // logs read to their end
    std::vector<UnreadableLog> unreadable;
    std::optional<ReportFailure> reportFailure;
    // Stopped before its end: nothing was stored, and the day's earlier report is as it was.
    bool stopped = false;
    // A log could not be opened for want of file descriptors, with no other file open to give
    // its back: the process cannot do its work, so nothing was stored either.
    std::optional<UnreadableLog> outOfDescriptors;
};

// Whether the failure is the process's want of file descriptors, not a file's.
bool outOfDescriptors(const std::error_code& ec);

// A line that passed, as it is told of: where it lies, and its text. Only its first kMostTold
// bytes are given; the report holds it whole.
struct Finding {
    static constexpr std::size_t kMostTold = 64 * 1024;

    const std::filesystem::path& folder;
    const std::filesystem::path& log;
    std::uint64_t offset = 0;  // where its line begins in the log
    std::string_view line;
    std::uint64_t length = 0;  // of the whole line: more than line's where it was cut
};

// What a sweep tells as it goes, on the thread that sweeps. Each does nothing unless overridden.
// The one interface a front-end watches a run by; following's (FollowEvents) adds to it what only
// following tells, so that a front-end shows both alike. Below it the engine has its own two,
// which no front-end sees: PassEvents, by which a pass tells the sweep of the log it joins, and
// BlockWatch, by which a reader shows each block to whatever prints it. They stay apart as they
// speak of parts and blocks, which are the engine's to cut.
class SweepEvents {
public:
    virtual ~SweepEvents() = default;
    // Before the first log of each folder is opened.
    virtual void folderStarted(const ListedFolder& /*folder*/) {}
    virtual void logOpened(const std::filesystem::path& /*folder*/, const ListedFile& /*log*/) {}
    virtual void bytesRead(std::size_t /*bytes*/) {}
    virtual void unreadable(const UnreadableLog& /*what*/) {}
    // Once for every listed log, read or not.
    virtual void logDone() {}
    // Where the run was asked to tell of its findings: each, in the report's order.
    virtual void finding(const Finding& /*finding*/) {}
};

class LogKeeper;  // following's, which goes on reading the logs a run read

struct RunOptions {
    // Each finding told of as it goes into the report.
    bool tellFindings = false;
    // Where given, every log is read on its own and handed to it as far as it was read.
    LogKeeper* keeper = nullptr;
};

// The sweep itself: every line that follows a marker line, from every log of the listed folders
// in the listing's order, into the day's report. The marker flag carries from log to log and
// from one folder to the next. The report is written whole or not at all.
// Where the machine has more than one core, threads of their own read and scan logs, and
// stretches of large logs, ahead, joined in the listing's order all the same.
class Sweep {
public:
    Sweep(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
          SweepSettings settings = {});

    // A stop requested while it runs ends it after the block being read, without a report.
    SweepOutcome run(const std::vector<const ListedFolder*>& folders, SweepEvents& events,
                     std::stop_token stop = {}, const RunOptions& options = {});

    // One thread for each core the process may use beside the sweep's own.
    static unsigned machineReaders();

private:
    FileSystem& fs_;
    const Clock& clock_;
    std::filesystem::path reportFolder_;
    SweepSettings settings_;
};

}  // namespace vesk
