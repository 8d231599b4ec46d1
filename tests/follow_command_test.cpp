#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include <sys/stat.h>

#include "command_runner.h"
#include "sweep_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// veskparser-sweep --follow over a folder that this process, the servers' stand-in, writes into.
class FollowCommandTest : public ::testing::Test {
protected:
    // Follows the logs, doing what is asked meanwhile, then ends it with SIGTERM.
    CommandResult follow(const std::function<void()>& meanwhile) {
        std::ofstream(out.path() / "findings");
        options.outFile = out / "findings";
        options.whileRunning = [&](pid_t child) {
            ASSERT_TRUE(awaitUntil([&] { return fs::exists(report); })) << "the first report";
            meanwhile();
            ::kill(child, SIGTERM);
        };
        return runCommand(VESK_SWEEP_COMMAND, {"--follow", logs.path().string()}, options);
    }
    static bool awaitUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 500; ++i) {
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    // What a run over the folder would write now.
    std::string aRunWouldWrite() const {
        const TempFolder other;
        runCommand(VESK_SWEEP_COMMAND,
                   {"--quiet", "--report-folder", other.path().string(), logs.path().string()},
                   {.home = home.path()});
        return readBytes(other / report.filename());
    }
    // Waits for the published report to be what a run would write, as each change is made.
    void expectCurrent(const std::string& step) {
        std::string expected;
        EXPECT_TRUE(awaitUntil([&] {
            expected = aRunWouldWrite();
            return readBytes(report) == expected;
        })) << step
            << ": " << readBytes(report) << " rather than " << expected;
    }
    void append(const std::string& name, const std::string& text) {
        std::ofstream(logs / name, std::ios::app | std::ios::binary) << text;
    }

    TempFolder home;
    TempFolder logs;
    TempFolder out;
    CommandOptions options{.home = home.path()};
    const fs::path report = vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today());
};

TEST_F(FollowCommandTest, KeepsTheReportWhatARunWouldWriteAndPrintsEachNewFindingOnce) {
    logs.write("a.log", M + "\r\nat the start\r\n");
    logs.write("b.log", "b's first line\r\n");
    const auto printed = [&] { return readBytes(out / "findings"); };
    const std::string first =
        "Operation completed!\n1 finding from 2 logs\n" + report.string() + "\n";
    const auto result = follow([&] {
        expectCurrent("the first sweep");
        append("a.log", M + "\r\nwritten in");  // the finding in two pieces
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(printed(), first) << "not before its line ends";
        append("a.log", " two pieces\r\n");
        EXPECT_TRUE(awaitUntil([&] {
            return printed() == first + (logs / "a.log").string() + ":written in two pieces\n";
        })) << printed();
        expectCurrent("an appended finding");

        // a.log ends in a marker line: b.log's first line is a finding, until a.log grows.
        append("a.log", M);
        expectCurrent("a marker line at a log's end");
        append("a.log", " more\r\nquiet\r\n");
        expectCurrent("the log grew past it");

        // Rotation: renamed away and begun anew; truncated in place.
        fs::rename(logs / "a.log", logs / "a.log.1");
        logs.write("a.log", M + "\r\nafter the rotation\r\n");
        expectCurrent("renamed away and begun anew");
        std::ofstream(logs / "b.log", std::ios::trunc | std::ios::binary) << M << "\r\nnew b\r\n";
        expectCurrent("truncated in place");
        logs.write("c.log", M + "\r\na new log\r\n");
        expectCurrent("a new log");
        fs::remove(logs / "c.log");
        expectCurrent("a log gone");
    });
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readBytes(report), aRunWouldWrite()) << "published a last time";
    EXPECT_EQ(home.files(), std::vector<fs::path>{report}) << "no draft is left";
    for (const char* finding : {"a.log:written in two pieces\n", "a.log:after the rotation\n",
                                "b.log:new b\n", "c.log:a new log\n"}) {
        EXPECT_NE(printed().find(finding), std::string::npos) << finding << " in " << printed();
    }
}

// Where standard output is the journal, a finding there is a notice and the completion is
// information; where standard error is, a log that cannot be read is a warning.
TEST_F(FollowCommandTest, EachLineForTheJournalBeginsWithItsPriority) {
    options.unprivileged = true;
    for (const auto& folder : {home.path(), logs.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    const fs::path closed = logs.write("closed.log", M + "\r\nsecret\r\n");
    fs::permissions(closed, fs::perms::none);
    const std::string printed =
        "<6>Operation completed!\n<6>0 findings from 1 log; 1 log could not be read\n<6>" +
        report.string() + "\n<5>" + (logs / "a.log").string() + ":found\n";
    const std::string err = "<4>veskparser-sweep: " + closed.string() + ": Permission denied\n";
    std::ofstream(out / "findings");
    struct stat findings {};
    ::stat((out / "findings").c_str(), &findings);
    const std::string otherDevice =
        std::to_string(findings.st_dev + 1) + ":" + std::to_string(findings.st_ino);
    // The journal on standard output, on standard error, or the findings' inode on another device.
    for (const int journal : {1, 2, 0}) {
        fs::remove(report);
        logs.write("a.log", "");
        options.journal = journal;
        options.environment = {{"JOURNAL_STREAM", journal == 0 ? otherDevice : ""}};
        const auto result = follow([&] {
            append("a.log", M + "\r\nfound\r\n");
            // The report is published before the folder is watched: another file's change wakes
            // the follower to the finding it may have missed.
            EXPECT_TRUE(awaitUntil([&] {
                logs.write("other.txt", "");
                return readBytes(out / "findings").ends_with("found\n");
            }));
        });
        EXPECT_EQ(readBytes(out / "findings"), journal == 1 ? printed : withoutPriorities(printed));
        EXPECT_EQ(result.err, journal == 2 ? err : withoutPriorities(err));
    }
}

TEST_F(FollowCommandTest, EndsWhenNoFolderIsLeftAndNamesTheLogsItCannotRead) {
    logs.write("a.log", M + "\r\nfound\r\n");
    options.unprivileged = true;
    fs::permissions(home.path(), fs::perms::all);
    fs::permissions(logs.path(), fs::perms::all);
    const fs::path closed = logs.write("closed.log", M + "\r\nsecret\r\n");
    fs::permissions(closed, fs::perms::none);
    options.whileRunning = [&](pid_t) {
        awaitUntil([&] { return fs::exists(report); });
        fs::remove_all(logs.path());
    };
    const auto result =
        runCommand(VESK_SWEEP_COMMAND, {"--follow", "-q", logs.path().string()}, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "veskparser-sweep: " + closed.string() + ": Permission denied\n" +
                              "veskparser-sweep: " + logs.path().string() + ": " +
                              std::make_error_code(std::errc::no_such_file_or_directory).message() +
                              "\n");
}

}  // namespace
