#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/named_drafts.h"
#include "report/report_file.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "temp_folder.h"

// The marker, under a short name: the tests' logs are written around it.
inline const std::string M = "ScriptLog: ####";

// The text as UTF-16LE code units, without a byte-order mark.
inline std::string utf16(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}
inline std::string utf16(std::string_view ascii) {
    return utf16(std::u16string(ascii.begin(), ascii.end()));
}

// A log made of pieces that put markers, stamps, near-markers, line ends, NULs, UTF-16 text and
// byte-order marks at every offset of a block.
inline std::string randomLog(std::mt19937& random, int pieceCount) {
    using namespace std::string_literals;
    static const std::vector<std::string> pieces = {M,
                                                    M,
                                                    "ScriptLog: ###",
                                                    "x",
                                                    "Player caught ",
                                                    "\r\n",
                                                    "\r",
                                                    "\n",
                                                    "\n\r",
                                                    "S",
                                                    "#",
                                                    std::string(40, 'q'),
                                                    "\0\xff"s,
                                                    "[0031.64] ",
                                                    "[1 2] " + M,
                                                    "[x] ",
                                                    "]",
                                                    std::string(3, '\0'),
                                                    utf16(M),
                                                    utf16("\r\n"),
                                                    utf16("Log"),
                                                    "\xFF\xFE",
                                                    "\xEF\xBB\xBF"};
    std::string log;
    for (int i = 0; i < pieceCount; ++i) {
        log += pieces[random() % pieces.size()];
    }
    return log;
}

// The machine's file system, with hooks for tests at the moments a real folder cannot be made
// to act on demand: after a folder is listed, and as each log is read.
class ForwardingFileSystem : public vesk::FileSystem {
public:
    using Read = std::function<std::size_t(const std::filesystem::path& name, vesk::InputFile& log,
                                           std::uint64_t offset, char* data, std::size_t size,
                                           std::error_code& ec)>;

    // When set, every listing holds these names, whatever the folder holds.
    std::vector<std::filesystem::path> order;
    // Called after each listing, a run's or a file list's; what it returns is the listing's
    // failure, as a folder that fails to be read to its end gives.
    std::function<std::error_code()> afterListing;
    // When set, logs are read through it, readLimit bytes at a time at most.
    Read onRead;
    std::size_t readLimit = 16;
    // Whether folders say they read small logs together: they read them one by one all the same.
    bool readTogether = false;
    // Bytes read from logs, by every thread.
    std::atomic<std::uint64_t> bytesRead{0};
    // When set, the times of a log by its name, as exact as a test needs them.
    std::function<vesk::FileTimes(const std::filesystem::path& name)> timesOf;
    // When set, no draft of the report can be made, as on a full disk.
    std::error_code draftFails;
    int drafts = 0;  // asked for
    // When set, called on the thread that opens a log, before it is opened.
    std::function<void(const std::filesystem::path& name)> beforeOpen;
    // When set, a log cannot be opened while this many are open, as when the process has no
    // descriptor left (EMFILE).
    std::size_t mostLogsOpen = 0;
    mutable std::atomic<std::size_t> logsOpen = 0;  // through the seam
    mutable std::atomic<int> refusedOpens = 0;
    // The drafts the file system makes where it has no nameless ones.
    void useNamedDrafts() { real_ = vesk::makeFileSystemWithNamedDrafts(); }

    std::unique_ptr<vesk::ReportDraft> draftReport(const std::filesystem::path& report,
                                                   std::error_code& ec) override {
        ++drafts;
        if (draftFails) {
            ec = draftFails;
            return nullptr;
        }
        return real_->draftReport(report, ec);
    }
    std::unique_ptr<vesk::LogFolder> openFolder(const std::filesystem::path& directory,
                                                std::error_code& ec) override;
    vesk::FileLook lookAt(const std::filesystem::path& path, std::error_code& ec) override {
        return real_->lookAt(path, ec);
    }
    bool isLink(const std::filesystem::path& path) override { return real_->isLink(path); }

private:
    std::unique_ptr<vesk::FileSystem> real_ = vesk::makeNativeFileSystem();
};

// A day that stays until a test moves it, and steady time that moves only when a test does.
struct FixedClock : vesk::Clock {
    explicit FixedClock(vesk::LocalDate day) : date(day) {}
    vesk::LocalDate today() const override { return date; }
    std::chrono::milliseconds untilTomorrow() const override { return std::chrono::hours(1); }
    Steady::time_point now() const override { return time; }

    vesk::LocalDate date;
    Steady::time_point time = Steady::now();
};

// A folder of logs and another for the reports, on a fixed day, through the file-system seam.
struct SweepFolders {
    std::filesystem::path reportPath() const {
        return vesk::ReportFile::pathFor(reports.path(), clock.today());
    }
    std::string report() const { return readBytes(reportPath()); }

    TempFolder logs;
    TempFolder reports;
    FixedClock clock{{2001, 7, 10}};
    ForwardingFileSystem fileSystem;
};
