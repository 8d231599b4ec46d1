#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "clock.h"
#include "command_runner.h"
#include "report_file.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string M = "ScriptLog: ####";

class SweepCommandTest : public ::testing::Test {
protected:
    CommandResult sweep(std::vector<std::string> arguments) {
        options.home = home.path();
        return runCommand(VESK_SWEEP_COMMAND, arguments, options);
    }
    fs::path reportPath() const {
        return vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today());
    }
    std::vector<fs::path> filesInHome() const {
        return {fs::directory_iterator(home.path()), fs::directory_iterator()};
    }
    // A folder whose sweep takes a while: findings first, then 256 MiB of sparse log.
    void makeSlow(const TempFolder& folder, const std::string& findings) const {
        folder.write("a.log", findings);
        std::ofstream(folder / "b.log");
        fs::resize_file(folder / "b.log", std::uintmax_t{256} << 20);
    }
    // Once a run has started its report's draft.
    void awaitDraft() const {
        const std::string reportName = reportPath().filename().string();
        const auto isDraft = [&](const fs::path& file) {
            const std::string name = file.filename().string();
            return name.size() > reportName.size() && name.find(reportName) == 1;
        };
        for (int i = 0; i < 1000; ++i) {
            const auto files = filesInHome();
            if (std::any_of(files.begin(), files.end(), isDraft)) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    CommandOptions options;
    TempFolder home;
    TempFolder logs;
};

TEST_F(SweepCommandTest, SweepsTheFolderIntoTheDaysReport) {
    logs.write("a.log", "x\r\n" + M + "\r\ncheat 1\r\n");
    logs.write("b.LOG", M + "\ncheat 2\n");
    logs.write("notes.txt", M + "\r\nnot a log\r\n");
    const auto result = sweep({logs.path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "Operation completed!\n2 findings from 2 logs\n" + reportPath().string() + "\n");
    EXPECT_EQ(result.err, "") << "no progress where standard error is not a terminal";
    const std::string report = readBytes(reportPath());
    EXPECT_TRUE(report == "cheat 1\r\ncheat 2\r\n" || report == "cheat 2\r\ncheat 1\r\n") << report;
}

TEST_F(SweepCommandTest, SweepsTheCurrentFolderByDefault) {
    logs.write("server.log", M + "\r\nhere\r\n");
    options.workingFolder = logs.path();
    const auto result = sweep({});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(reportPath()), "here\r\n");
}

TEST_F(SweepCommandTest, SweepsSeveralFoldersInOrderIntoOneReport) {
    TempFolder second;
    TempFolder third;
    logs.write("a.log", M + "\r\nfinding a\r\n" + M);  // its marker carries on
    second.write("notes.txt", "no logs here");
    third.write("c.log", "carried\r\n" + M + "\r\nfinding c\r\n");
    const std::vector<std::string> folders = {logs.path().string(), second.path().string(),
                                              third.path().string(), logs.path().string()};
    const auto result = sweep(folders);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(reportPath()), "finding a\r\ncarried\r\nfinding c\r\n")
        << "in the order given, the folder given twice swept once";
    EXPECT_EQ(result.out,
              "Operation completed!\n3 findings from 2 logs\n" + reportPath().string() + "\n");
}

TEST_F(SweepCommandTest, WritesTheReportIntoTheFolderAsked) {
    TempFolder elsewhere;
    logs.write("a.log", M + "\r\nfound\r\n");
    const auto result = sweep({"--report-folder", elsewhere.path().string(), logs.path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    const fs::path report = elsewhere / reportPath().filename();
    EXPECT_EQ(readBytes(report), "found\r\n");
    EXPECT_TRUE(result.out.ends_with(report.string() + "\n")) << result.out;
    EXPECT_EQ(filesInHome(), std::vector<fs::path>{});
}

TEST_F(SweepCommandTest, ShowsProgressOnATerminalUnlessQuiet) {
    logs.write("a.log", M + "\r\nfound\r\n");
    options.stderrOnTerminal = true;
    auto result = sweep({logs.path().string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.err.starts_with("\r[##############################] 100%  ")) << result.err;
    EXPECT_TRUE(result.err.ends_with(" read in 0:00\x1b[K\r\n")) << result.err;
    result = sweep({"-q", logs.path().string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out + result.err, "");
}

TEST_F(SweepCommandTest, NamesUnreadableLogsAndExitsWithOne) {
    logs.write("open.log", M + "\r\nfound\r\n");
    const fs::path closed = logs.write("closed.log", M + "\r\nsecret\r\n");
    fs::permissions(closed, fs::perms::none);
    fs::permissions(logs.path(), fs::perms::all);
    fs::permissions(home.path(), fs::perms::all);
    options.unprivileged = true;
    for (const bool quiet : {false, true}) {
        const auto result =
            quiet ? sweep({"--quiet", logs.path().string()}) : sweep({logs.path().string()});
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(result.err, "veskparser-sweep: " + closed.string() + ": Permission denied\n");
        EXPECT_EQ(result.out, quiet ? ""
                                    : "Operation completed!\n\nThese logs could not be read:\n" +
                                          closed.string() + ": Permission denied\n" +
                                          "1 finding from 1 log\n" + reportPath().string() + "\n");
        EXPECT_EQ(readBytes(reportPath()), "found\r\n");
    }
}

TEST_F(SweepCommandTest, FailsWithTwoBeforeWritingAnythingWhenItCannotSweep) {
    logs.write("a.log", M + "\r\nfound\r\n");
    TempFolder locked;
    fs::permissions(locked.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const std::string usage =
        "usage: veskparser-sweep [--quiet] [--report-folder DIR] [FOLDER...]\n";
    const std::string missing = (logs / "missing").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{logs.path().string(), missing}, missing + ": No such file or directory\n"},
        {{(logs / "a.log").string()}, (logs / "a.log").string() + ": Not a folder\n"},
        {{(logs / "typo/..").string()},
         (logs / "typo/..").string() + ": No such file or directory\n"},
        {{(logs / "a.log/..").string()}, (logs / "a.log/..").string() + ": Not a folder\n"},
        {{"--report-folder", missing, logs.path().string()},
         missing + ": No such file or directory\n"},
        {{"--report-folder=" + locked.path().string(), logs.path().string()},
         (locked / reportPath().filename()).string() + ": Permission denied\n"},
        {{"--frobnicate"}, "unknown option --frobnicate\n" + usage},
        {{"--report-folder"}, "--report-folder needs a folder\n" + usage},
    };
    options.unprivileged = true;  // so that the folder without write permission is one
    fs::permissions(logs.path(), fs::perms::all);
    for (const auto& c : cases) {
        const auto result = sweep(c.arguments);
        EXPECT_EQ(result.status, 2) << c.arguments[0];
        EXPECT_EQ(result.err, "veskparser-sweep: " + c.err);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(filesInHome(), std::vector<fs::path>{});

    fs::create_directory(reportPath());
    const auto result = sweep({logs.path().string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "veskparser-sweep: " + reportPath().string() + ": Is a directory\n");
}

TEST_F(SweepCommandTest, FolderIsFoundThroughTheFileSystem) {
    fs::create_directories(logs / "real/sub");
    fs::create_directory(logs / "here");
    logs.write("real/x.log", M + "\r\nin real\r\n");
    fs::create_directory_symlink("../real/sub", logs / "here/link");
    options.workingFolder = logs / "here";
    const auto result = sweep({"link/.."});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(reportPath()), "in real\r\n") << "link/.. is the parent of its target";
}

TEST_F(SweepCommandTest, OutputThatCannotBeWrittenFailsTheRun) {
    options.outFile = "/dev/full";
    const auto result = sweep({logs.path().string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "veskparser-sweep: cannot write the output: No space left on device\n");
}

TEST_F(SweepCommandTest, TwoRunsAtOnceEachLeaveAWholeReport) {
    std::string findings;
    for (int i = 0; i < 50000; ++i) {
        findings += M + "\r\nslow " + std::to_string(i) + "\r\n";
    }
    TempFolder slow;
    makeSlow(slow, findings);
    logs.write("quick.log", M + "\r\nquick\r\n");
    CommandResult quick;
    options.whileRunning = [&](pid_t) {
        awaitDraft();
        CommandOptions second;
        second.home = home.path();
        quick = runCommand(VESK_SWEEP_COMMAND, {logs.path().string()}, second);
    };
    const auto result = sweep({slow.path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(quick.status, 0) << quick.err;
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        expected += "slow " + std::to_string(i) + "\r\n";
    }
    EXPECT_TRUE(readBytes(reportPath()) == expected) << "the run that ended last stands, whole";
    EXPECT_EQ(filesInHome(), std::vector<fs::path>{reportPath()});
}

TEST_F(SweepCommandTest, AnInterruptedRunLeavesTheEarlierReportAlone) {
    home.write(reportPath().filename(), "earlier\r\n");
    makeSlow(logs, M + "\r\nnew\r\n");
    options.whileRunning = [&](pid_t child) {
        awaitDraft();
        ::kill(child, SIGTERM);
    };
    const auto result = sweep({logs.path().string()});
    EXPECT_EQ(result.signal, SIGTERM) << "it dies of the signal as usual";
    EXPECT_EQ(readBytes(reportPath()), "earlier\r\n");
    EXPECT_EQ(filesInHome(), std::vector<fs::path>{reportPath()}) << "no draft is left";
}

TEST_F(SweepCommandTest, TellsItsVersionAndUsage) {
    auto result = sweep({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "veskparser 1.00\n");
    result = sweep({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.starts_with(
        "usage: veskparser-sweep [--quiet] [--report-folder DIR] [FOLDER...]\n"));
}

TEST_F(SweepCommandTest, NamesThatAreNotUtf8AreReadAndPrintedSafely) {
    const fs::path odd = "srv\xff\x1b[31m";
    fs::create_directory(logs / odd);
    logs.write(odd / "ok\xfe.log", M + "\r\nfound\r\n");
    const fs::path closed = logs.write(odd / "bad\xfe.log", M + "\r\nsecret\r\n");
    fs::permissions(closed, fs::perms::none);
    for (const auto& folder : {logs.path(), logs / odd, home.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    options.unprivileged = true;
    const auto result = sweep({(logs / odd).string()});
    EXPECT_EQ(result.status, 1);
    const std::string shown = logs.path().string() + "/srv\\xFF\\x1B[31m/bad\\xFE.log";
    EXPECT_EQ(result.err, "veskparser-sweep: " + shown + ": Permission denied\n");
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos) << "nothing reaches the terminal raw";
    EXPECT_EQ(readBytes(reportPath()), "found\r\n");
}

}  // namespace
