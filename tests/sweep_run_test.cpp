#include "sweep_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <map>

#include "sweep_run_fixture.h"

namespace {

namespace fs = std::filesystem;
using vesk::SweepOutcome;

const std::string M = "ScriptLog: ####";

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

TEST_F(SweepRunTest, TheDaysReportIsNeverReadAsALog) {
    // The findings hold a marker line, so a run that read the report would add to them.
    reports.write("a.log", M + "\r\n" + M + "\r\nfinding\r\n");
    reports.write(reportPath().filename(), M + "\r\nstale\r\n");
#ifdef _WIN32
    // The same folder spelt otherwise.
    std::wstring other = reports.path().native();
    std::transform(other.begin(), other.end(), other.begin(), ::towupper);
#else
    const fs::path other = logs / "link";
    fs::create_directory_symlink(reports.path(), other);
#endif
    for (const fs::path& folder : {reports.path(), reports.path(), fs::path(other)}) {
        std::error_code ec;
        RecordingView here(folder, fileSystem.listFiles(folder, ec));
        EXPECT_EQ(run(here).status, SweepOutcome::Status::completed);
        EXPECT_EQ(report(), M + "\r\nfinding\r\n") << folder;
        EXPECT_EQ(here.calls[2], "progress 100") << "the report's entry still moves the bar";
    }
}

TEST_F(SweepRunTest, TheLogsReadAreTheLogsListed) {
    for (const char* name : {"renamed.log", "replaced.log", "removed.log", "kept.log"}) {
        logs.write(name, M + "\r\nfrom " + std::string(name) + "\r\n");
    }
    std::error_code ec;
    RecordingView listed(logs.path(), fileSystem.listFiles(logs.path(), ec));
    fileSystem.afterListing = [&] {
        fs::rename(logs / "renamed.log", logs / "other.log");
        logs.write("new", M + "\r\nnew contents\r\n");
        fs::rename(logs / "new", logs / "replaced.log");
        fs::remove(logs / "removed.log");
    };
    const auto outcome = run(listed);
    EXPECT_EQ(report(), "from kept.log\r\n");
    std::map<std::string, std::string> unreadable;
    for (const auto& log : outcome.unreadable) {
        unreadable[log.path.filename().string()] = log.reason;
    }
#ifdef _WIN32
    const std::string gone = unreadable["removed.log"];  // in the system's own words
#else
    const std::string gone = std::make_error_code(std::errc::no_such_file_or_directory).message();
#endif
    EXPECT_EQ(unreadable, (std::map<std::string, std::string>{
                              {"removed.log", gone},
                              {"renamed.log", gone},
                              {"replaced.log", "Replaced after the folder was listed"}}));
}

TEST_F(SweepRunTest, ALogIsReadAsFarAsItReachedWhenItWasOpened) {
    const fs::path live = logs.write("live.log", M + "\r\nbefore\r\n");
    const fs::path rotated =
        logs.write("rotated.log", "x\r\n" + M + "\r\nkept\r\n" + M + "\r\nlost");
    fileSystem.order = {"live.log", "rotated.log"};
    int reads = 0;
    fileSystem.onRead = [&](const fs::path& name, vesk::InputFile& log, char* data,
                            std::size_t size, std::error_code& ec) {
        ++reads;
        if (name == "live.log" && reads <= 2) {  // a server writing faster than the run reads
            std::ofstream(live, std::ios::app) << M << "\r\nafter\r\n";
        } else if (reads == 5) {  // copy-and-truncate rotation, after 32 bytes
            fs::resize_file(rotated, 0);
        }
        return log.read(data, size, ec);
    };
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(report(), "before\r\nkept\r\n");
    ASSERT_EQ(outcome.unreadable.size(), 1u);
    EXPECT_EQ(outcome.unreadable[0].path, rotated);
    EXPECT_EQ(outcome.unreadable[0].reason, "Shorter than when it was opened");
}

TEST_F(SweepRunTest, AReadErrorMidwayKeepsWhatWasReadAndGoesOn) {
    logs.write("a.log", M + "\r\nthe first find");  // fails after 16 bytes
    logs.write("b.log", "carried\r\n" + M + "\r\nsecond\r\n");
    fileSystem.order = {"a.log", "b.log"};
    failMidway("a.log");
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::someUnreadable);
    EXPECT_EQ(report(), "carried\r\nsecond\r\n")
        << "the marker line was whole, so the flag carries";
    ASSERT_EQ(outcome.unreadable.size(), 1u);
    EXPECT_EQ(view->messages,
              std::vector<std::string>{"Operation completed!\r\rThese logs could not be read:\r" +
                                       (logs / "a.log").string() + ": " +
                                       std::make_error_code(std::errc::io_error).message()});
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
    EXPECT_NE(text.find("gone9.log: "), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("\rand 2 more.")) << text;
    EXPECT_EQ(text.find("gone10.log"), std::string::npos);
}

TEST_F(SweepRunTest, AReportThatCannotBeCreatedStopsTheRun) {
    logs.write("a.log", M + "\r\nfound\r\n");
    fs::create_directory(reportPath());
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::reportFailed);
    EXPECT_EQ(view->calls,
              (std::vector<std::string>{"enable", "message VESK Parser", "progress 0"}));
    const std::string& text = view->messages.at(0);
    EXPECT_EQ(text, "The report " + reportPath().string() +
                        " could not be written: Is a directory\rNone of this run's findings were "
                        "stored; the day's earlier report, if any, is left as it was.");
    EXPECT_EQ(text.find("Operation completed!"), std::string::npos);
}

}  // namespace
