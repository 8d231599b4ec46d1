#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "command_runner.h"
#include "sweep_fixture.h"
#include "vesk/version.h"

namespace {

namespace fs = std::filesystem;

const std::string kUsage = "usage: veskparser-sweep [--quiet] [--report-folder DIR] [FOLDER...]\n";

class SweepCommandTest : public ::testing::Test {
protected:
    CommandResult sweep(const std::vector<std::string>& arguments) {
        return runCommand(VESK_SWEEP_COMMAND, arguments, options);
    }
    // A folder whose sweep takes a while: findings first, then 256 MiB of sparse log.
    static void makeSlow(const TempFolder& folder, const std::string& findings) {
        folder.write("a.log", findings);
        std::ofstream(folder / "b.log");
        fs::resize_file(folder / "b.log", std::uintmax_t{256} << 20);
    }
    // Once a run has started its report's draft: a second file in the home folder.
    void awaitDraft(std::size_t before) const {
        for (int i = 0; i < 1000 && home.files().size() == before; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    TempFolder home;
    TempFolder logs;
    CommandOptions options{.home = home.path()};
    const fs::path reportPath = vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today());
};

TEST_F(SweepCommandTest, SweepsSeveralFoldersInOrderIntoOneReportWhereAsked) {
    TempFolder second;
    TempFolder third;
    TempFolder reports;
    logs.write("a.log", M + "\r\nfinding a\r\n" + M);  // its marker carries on
    second.write("notes.txt", "no logs here");
    third.write("c.log", "carried\r\n" + M + "\r\nfinding c\r\n");
    const auto result =
        sweep({"--report-folder", reports.path().string(), logs.path().string(),
               second.path().string(), third.path().string(), logs.path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    const fs::path report = reports / reportPath.filename();
    EXPECT_EQ(readBytes(report), "finding a\r\ncarried\r\nfinding c\r\n")
        << "in the order given, the folder given twice swept once";
    EXPECT_EQ(result.out,
              "Operation completed!\n3 findings from 2 logs\n" + report.string() + "\n");
    EXPECT_EQ(home.files(), std::vector<fs::path>{});
}

TEST_F(SweepCommandTest, FindsItsFolderThroughTheFileSystem) {
    fs::create_directories(logs / "real/sub");
    fs::create_directory(logs / "here");
    logs.write("real/x.log", M + "\r\nin real\r\n");
    fs::create_directory_symlink("../real/sub", logs / "here/-link");
    options.workingFolder = logs / "here";
    const auto result = sweep({"--", "-link/.."});  // a folder that looks like an option
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(reportPath), "in real\r\n") << "the parent of the link's target";
}

TEST_F(SweepCommandTest, SweepsTheCurrentFolderShowingProgressOnATerminalUnlessQuiet) {
    logs.write("a.log", M + "\r\nfound\r\n");
    options.workingFolder = logs.path();
    options.stderrOnTerminal = true;
    auto result = sweep({});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(readBytes(reportPath), "found\r\n");
    EXPECT_TRUE(result.err.starts_with("\r[##############################] 100%  ")) << result.err;
    EXPECT_TRUE(result.err.ends_with(" read in 0:00\x1b[K\r\n")) << result.err;
    result = sweep({"-q"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out + result.err, "");
}

TEST_F(SweepCommandTest, NamesUnreadableLogsSafelyAndExitsWithOne) {
    const fs::path odd = logs / "srv\xff\x1b[31m\x7f\xc3\xa9";  // é passes, the rest is escaped
    fs::create_directory(odd);
    logs.write(odd / "ok\xfe.log", M + "\r\nfound\r\n");
    const fs::path closed = logs.write(odd / "bad\xfe.log", M + "\r\nsecret\r\n");
    fs::permissions(closed, fs::perms::none);
    for (const auto& folder : {logs.path(), odd, home.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    options.unprivileged = true;
    const std::string shown = logs.path().string() + "/srv\\xFF\\x1B[31m\\x7F\xc3\xa9/bad\\xFE.log";
    for (const bool quiet : {false, true}) {
        const auto result = quiet ? sweep({"--quiet", odd.string()}) : sweep({odd.string()});
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(result.err, "veskparser-sweep: " + shown + ": Permission denied\n")
            << "nothing reaches the terminal raw";
        EXPECT_EQ(result.out, quiet ? ""
                                    : "Operation completed!\n\nThese logs could not be read:\n" +
                                          shown + ": Permission denied\n1 finding from 1 log\n" +
                                          reportPath.string() + "\n");
        EXPECT_EQ(readBytes(reportPath), "found\r\n");
    }
}

TEST_F(SweepCommandTest, FailsWithTwoBeforeWritingAnythingWhenItCannotSweep) {
    logs.write("a.log", M + "\r\nfound\r\n");
    TempFolder locked;
    fs::permissions(locked.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const std::string missing = (logs / "missing").string();
    const std::string file = (logs / "a.log").string();
    const std::string typo = (logs / "typo/..").string();
    const std::string lockedReport = (locked / reportPath.filename()).string();
    const std::string gone = ": No such file or directory\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{logs.path().string(), missing}, missing + gone},
        {{file}, file + ": Not a folder\n"},
        {{typo}, typo + gone},
        {{"--report-folder", missing, logs.path().string()}, missing + gone},
        {{"--report-folder=" + locked.path().string(), logs.path().string()},
         lockedReport + ": Permission denied\n"},
        {{locked.path().string()}, locked.path().string() + ": Permission denied\n"},
        {{"--frobnicate"}, "unknown option --frobnicate\n" + kUsage},
        {{"--report-folder"}, "--report-folder needs a folder\n" + kUsage},
    };
    options.unprivileged = true;  // so that the folder without write permission is one
    fs::permissions(logs.path(), fs::perms::all);
    for (const auto& [arguments, err] : cases) {
        const auto result = sweep(arguments);
        EXPECT_EQ(result.status, 2) << arguments[0];
        EXPECT_EQ(result.err, "veskparser-sweep: " + err);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(home.files(), std::vector<fs::path>{});

    fs::create_directory(reportPath);
    const auto result = sweep({logs.path().string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "veskparser-sweep: " + reportPath.string() + ": Is a directory\n");
}

TEST_F(SweepCommandTest, TellsItsVersionAndUsageUnlessItsOutputIsLost) {
    auto result = sweep({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "veskparser " + std::string(vesk::kVersion) + "\n");
    result = sweep({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.starts_with(kUsage));
    options.outFile = "/dev/full";
    for (const auto& arguments : {std::vector<std::string>{"--version"}, {logs.path().string()}}) {
        result = sweep(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err,
                  "veskparser-sweep: cannot write the output: No space left on device\n");
    }
}

TEST_F(SweepCommandTest, TwoRunsAtOnceEachLeaveAWholeReport) {
    std::string findings;
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        findings += M + "\r\nslow " + std::to_string(i) + "\r\n";
        expected += "slow " + std::to_string(i) + "\r\n";
    }
    TempFolder slow;
    makeSlow(slow, findings);
    logs.write("quick.log", M + "\r\nquick\r\n");
    CommandResult quick;
    options.whileRunning = [&](pid_t) {
        awaitDraft(0);
        quick = runCommand(VESK_SWEEP_COMMAND, {logs.path().string()}, {.home = home.path()});
    };
    const auto result = sweep({slow.path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(quick.status, 0) << quick.err;
    EXPECT_TRUE(readBytes(reportPath) == expected) << "the run that ended last stands, whole";
    EXPECT_EQ(home.files(), std::vector<fs::path>{reportPath});
}

TEST_F(SweepCommandTest, AnInterruptedRunLeavesTheEarlierReportAloneAndAHangupUnderNohupIsNone) {
    makeSlow(logs, M + "\r\nnew\r\n");
    for (const int signal : {SIGTERM, SIGHUP}) {
        home.write(reportPath.filename(), "earlier\r\n");
        options.whileRunning = [&](pid_t child) {
            awaitDraft(1);
            ::kill(child, signal);
        };
        std::signal(SIGHUP, signal == SIGHUP ? SIG_IGN : SIG_DFL);  // inherited, as nohup leaves it
        const auto result = sweep({logs.path().string()});
        std::signal(SIGHUP, SIG_DFL);
        EXPECT_EQ(result.signal, signal == SIGTERM ? SIGTERM : 0)
            << "it dies of the signal as usual";
        EXPECT_EQ(readBytes(reportPath), signal == SIGTERM ? "earlier\r\n" : "new\r\n");
        EXPECT_EQ(home.files(), std::vector<fs::path>{reportPath}) << "no draft is left";
    }
}

}  // namespace
