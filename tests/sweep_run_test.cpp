#include "sweep_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "recording_view.h"
#include "report_file.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;
using vesk::SweepOutcome;

const std::string M = "ScriptLog: ####";
const vesk::LocalDate kDay{2001, 7, 10};

// Hands out the logs in a fixed order and can make chosen logs fail: the seam for what a real
// folder cannot be made to do on demand.
class StagedFileSystem final : public vesk::FileSystem {
    std::unique_ptr<vesk::FileSystem> real_ = vesk::makeNativeFileSystem();

public:
    std::vector<fs::path> order;       // when set, the enumeration yields these names
    std::vector<fs::path> failMidway;  // these fail on their second read
    vesk::FileSystem& real = *real_;

    std::unique_ptr<vesk::OutputFile> createReport(const fs::path& path,
                                                   std::error_code& ec) override {
        return real.createReport(path, ec);
    }
    std::unique_ptr<vesk::InputFile> openLog(const fs::path& path, std::error_code& ec) override {
        auto log = real.openLog(path, ec);
        if (log != nullptr &&
            std::find(failMidway.begin(), failMidway.end(), path.filename()) != failMidway.end()) {
            return std::make_unique<FailingLog>(std::move(log));
        }
        return log;
    }
    std::unique_ptr<vesk::NameEnumeration> findLogs(const fs::path& directory,
                                                    std::error_code& ec) override {
        if (order.empty()) {
            return real.findLogs(directory, ec);
        }
        return std::make_unique<Listed>(order);
    }
    std::vector<fs::path> listFiles(const fs::path& directory, std::error_code& ec) override {
        return real.listFiles(directory, ec);
    }

private:
    struct Listed final : vesk::NameEnumeration {
        explicit Listed(std::vector<fs::path> names) : names(std::move(names)) {}
        std::optional<fs::path> next(std::error_code&) override {
            if (at == names.size()) {
                return std::nullopt;
            }
            return names[at++];
        }
        std::vector<fs::path> names;
        std::size_t at = 0;
    };
    struct FailingLog final : vesk::InputFile {
        explicit FailingLog(std::unique_ptr<vesk::InputFile> log) : log(std::move(log)) {}
        std::size_t read(char* data, std::size_t size, std::error_code& ec) override {
            if (reads++ == 1) {
                ec = std::make_error_code(std::errc::io_error);
                return 0;
            }
            return log->read(data, std::min<std::size_t>(size, 16), ec);
        }
        vesk::FileIdentity identity() const override { return log->identity(); }
        std::unique_ptr<vesk::InputFile> log;
        int reads = 0;
    };
};

class SweepRunTest : public ::testing::Test {
protected:
    // Sweeps the logs folder with a file list read from it, as the window would.
    SweepOutcome sweep(const fs::path& folder) {
        std::error_code ec;
        view = std::make_unique<RecordingView>(folder, fileSystem.listFiles(folder, ec));
        return run(*view);
    }
    SweepOutcome run(RecordingView& v) {
        vesk::SweepRun run(fileSystem, clock, reports.path());
        return run.run(v);
    }
    std::string report() const { return readBytes(reportPath()); }
    fs::path reportPath() const { return vesk::ReportFile::pathFor(reports.path(), clock.today()); }

    TempFolder logs;
    TempFolder reports;
    FixedClock clock{kDay};
    StagedFileSystem fileSystem;
    std::unique_ptr<RecordingView> view;
};

TEST_F(SweepRunTest, ReportsTheFindingsWithProgressAndCompletion) {
    logs.write("a.log", M + "\r\ncheat 1\r\n");
    logs.write("b.log", "x\r\n" + M + "\r\ncheat 2\r\n");
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::completed);
    EXPECT_EQ(reportPath(), reports / "VOReradivu_2001-07-10.log");
    const std::string text = report();
    EXPECT_TRUE(text == "cheat 1\r\ncheat 2\r\n" || text == "cheat 2\r\ncheat 1\r\n") << text;
    EXPECT_EQ(view->calls,
              (std::vector<std::string>{"disable", "progress 50", "progress 100", "enable",
                                        "message VESK Parser", "progress 0"}));
    EXPECT_EQ(view->messages, std::vector<std::string>{"Operation completed!"});
}

TEST_F(SweepRunTest, FlagCarriesFromOneLogToTheNextAndEveryNameIsRead) {
    logs.write("a.log", "x\r\n" + M);
    logs.write("empty.log", "");
    logs.write("B.LOG", "z\r\n" + M + "\r\nupper\r\n");
    logs.write("c.Log", "lf only\n" + M + "\nlinux finding\nquiet\n");
    fileSystem.order = {"a.log", "empty.log", "B.LOG", "c.Log"};
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(report(), "z\r\nupper\r\nlinux finding\r\n");
    EXPECT_EQ(view->calls, (std::vector<std::string>{"disable", "progress 25", "progress 50",
                                                     "progress 75", "progress 100", "enable",
                                                     "message VESK Parser", "progress 0"}));
}

TEST_F(SweepRunTest, SecondRunOfTheDayReplacesTheReportAndOtherDaysAreKept) {
    logs.write("a.log", M + "\r\nfirst\r\n");
    sweep(logs.path());
    clock.set({2001, 7, 11});
    sweep(logs.path());
    TempFolder other;
    other.write("b.log", M + "\r\nsecond\r\n");
    sweep(other.path());
    EXPECT_EQ(readBytes(reports / "VOReradivu_2001-07-10.log"), "first\r\n");
    EXPECT_EQ(readBytes(reports / "VOReradivu_2001-07-11.log"), "second\r\n");
}

TEST_F(SweepRunTest, NoLogEntriesLeaveAnEmptyReportAndTheButtonAlone) {
    logs.write("readme.txt", M + "\r\nnot a log\r\n");
    reports.write("VOReradivu_2001-07-10.log", "old contents");
    sweep(logs.path());
    EXPECT_EQ(report(), "");
    EXPECT_EQ(view->calls, (std::vector<std::string>{"message VESK Parser", "progress 0"}));
}

TEST_F(SweepRunTest, AnEntryThatOnlyEndsInLogOpensTheGate) {
    logs.write("catalog", M + "\r\nnot a log\r\n");
    auto outcome = sweep(logs.path());
    EXPECT_EQ(report(), "");
    EXPECT_EQ(view->calls,
              (std::vector<std::string>{"disable", "enable", "message VESK Parser", "progress 0"}));
    EXPECT_EQ(view->messages, std::vector<std::string>{"Operation completed!"});

    logs.write("a.log", M + "\r\nfound\r\n");
    sweep(logs.path());
    EXPECT_EQ(report(), "found\r\n");
    EXPECT_EQ(view->calls[1], "progress 50") << "catalog counts as a log entry";
}

TEST_F(SweepRunTest, ProgressNeverPassesOneHundred) {
    for (const char* name : {"a.log", "b.log", "c.log"}) {
        logs.write(name, "x");
    }
    // The list was filled when only one log was there.
    RecordingView stale(logs.path(), {"a.log"});
    run(stale);
    EXPECT_EQ(stale.calls,
              (std::vector<std::string>{"disable", "progress 100", "progress 100", "progress 100",
                                        "enable", "message VESK Parser", "progress 0"}));
}

TEST_F(SweepRunTest, ManyLogsStillMoveTheBar) {
    std::vector<fs::path> names;
    for (int i = 0; i < 150; ++i) {
        names.push_back("log" + std::to_string(i) + ".log");
        logs.write(names.back(), "x");
    }
    RecordingView many(logs.path(), names);
    run(many);
    std::vector<std::string> progress;
    std::copy_if(many.calls.begin(), many.calls.end(), std::back_inserter(progress),
                 [](const std::string& call) { return call.starts_with("progress"); });
    ASSERT_EQ(progress.size(), 151u);
    EXPECT_EQ(progress[0], "progress 0");    // 1 * 100 / 150
    EXPECT_EQ(progress[1], "progress 1");    // 2 * 100 / 150
    EXPECT_EQ(progress[74], "progress 50");  // 75 * 100 / 150
    EXPECT_EQ(progress[149], "progress 100");
}

TEST_F(SweepRunTest, TheReportInTheSweptFolderIsPassedOver) {
    logs.write("a.log", M + "\r\nfinding\r\n" + M + "\r\n");
    logs.write("VOReradivu_2001-07-10.log", M + "\r\nstale\r\n");
    vesk::SweepRun run(fileSystem, clock, logs.path());
    std::error_code ec;
    RecordingView here(logs.path(), fileSystem.listFiles(logs.path(), ec));
    const auto outcome = run.run(here);
    EXPECT_EQ(outcome.status, SweepOutcome::Status::completed);
    EXPECT_EQ(readBytes(logs / "VOReradivu_2001-07-10.log"), "finding\r\n");
}

TEST_F(SweepRunTest, ThingsThatAreNotOrdinaryFilesAreNeverOpened) {
    logs.write("real.log", M + "\r\nfound\r\n");
    fs::create_directory(logs / "folder.log");
    ASSERT_EQ(::mkfifo((logs / "pipe.log").c_str(), 0600), 0);
    fs::create_symlink(logs / "gone", logs / "dangling.log");
    fs::create_symlink(logs / "real.log", logs / "link.log");
    logs.write(".hidden.log", M + "\r\nhidden\r\n");
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::completed) << outcome.message;
    EXPECT_EQ(report(), "found\r\nfound\r\n") << "the link to a log is read as a log";
}

TEST_F(SweepRunTest, AReadErrorMidwayKeepsWhatWasReadAndGoesOn) {
    logs.write("a.log", M + "\r\nthe first find");  // fails after 16 bytes
    logs.write("b.log", "carried\r\n" + M + "\r\nsecond\r\n");
    fileSystem.order = {"a.log", "b.log"};
    fileSystem.failMidway = {"a.log"};
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::someUnreadable);
    EXPECT_EQ(report(), "carried\r\nsecond\r\n")
        << "the marker line was whole, so the flag carries";
    ASSERT_EQ(outcome.unreadable.size(), 1u);
    EXPECT_EQ(view->messages,
              std::vector<std::string>{"Operation completed!\r\rThese logs could not be read:\r" +
                                       (logs / "a.log").string() + ": Input/output error"});
    EXPECT_EQ(view->calls[2], "progress 100") << "an unreadable log moves the bar too";
}

TEST_F(SweepRunTest, LogsThatCannotBeOpenedAreNamedAtMostTenTimes) {
    for (int i = 0; i < 12; ++i) {
        fileSystem.order.push_back("gone" + std::to_string(i) + ".log");
    }
    logs.write("here.log", M + "\r\nfound\r\n");
    fileSystem.order.push_back("here.log");
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(report(), "found\r\n");
    EXPECT_EQ(outcome.unreadable.size(), 12u);
    const std::string& text = view->messages.at(0);
    EXPECT_NE(text.find("gone9.log: No such file or directory\rand 2 more."), std::string::npos)
        << text;
    EXPECT_EQ(text.find("gone10.log"), std::string::npos);
}

// A log without read permission, made real: as root every file is readable, so the run is done
// by a child process under the unprivileged user id.
TEST_F(SweepRunTest, ALogWithoutPermissionIsNamedWithItsReason) {
    logs.write("open.log", M + "\r\nfound\r\n");
    const fs::path closed = logs.write("closed.log", M + "\r\nsecret\r\n");
    fs::permissions(closed, fs::perms::none);
    for (const auto& folder : {logs.path(), reports.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        const auto outcome = sweep(logs.path());
        const std::string& text = outcome.message;
        const bool written =
            ::write(pipeFds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(written && outcome.status == SweepOutcome::Status::someUnreadable ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        message.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << message;
    EXPECT_EQ(message, "Operation completed!\r\rThese logs could not be read:\r" + closed.string() +
                           ": Permission denied");
    EXPECT_EQ(report(), "found\r\n");
}

TEST_F(SweepRunTest, AReportThatCannotBeCreatedStopsTheRun) {
    logs.write("a.log", M + "\r\nfound\r\n");
    fs::create_directory(reportPath());
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::reportFailed);
    EXPECT_EQ(view->calls,
              (std::vector<std::string>{"enable", "message VESK Parser", "progress 0"}));
    EXPECT_EQ(view->messages.at(0), "The report " + reportPath().string() +
                                        " could not be written: Is a directory\r"
                                        "The findings of this run are incomplete.");
}

TEST_F(SweepRunTest, AFullDiskStopsTheRunWithoutClaimingSuccess) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    logs.write("a.log", M + "\r\nfound\r\n");
    logs.write("b.log", "nothing\r\n");
    fs::create_symlink("/dev/full", reportPath());
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::reportFailed);
    EXPECT_EQ(outcome.reportError, "No space left on device");
    EXPECT_EQ(view->calls.front(), "disable");
    EXPECT_EQ(view->calls.back(), "progress 0");
    EXPECT_EQ(std::count(view->calls.begin(), view->calls.end(), "enable"), 1);
    for (const auto& text : view->messages) {
        EXPECT_EQ(text.find("Operation completed!"), std::string::npos);
    }
}

}  // namespace
