#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
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
    // Follows the logs, doing what is asked meanwhile, then ends it with SIGTERM, or the signal
    // asked for.
    CommandResult follow(const std::function<void()>& meanwhile,
                         std::vector<std::string> arguments = {}) {
        if (options.unprivileged) {
            fs::permissions(state.path(), fs::perms::all);  // its place kept as another user
        }
        if (options.outDescriptor < 0) {
            std::ofstream(out.path() / "findings");
            options.outFile = out / "findings";
        }
        options.whileRunning = [&](pid_t child) {
            child_ = child;
            ASSERT_TRUE(awaitUntil([&] { return fs::exists(report); })) << "the first report";
            meanwhile();
            ::kill(child, stopWith);
        };
        arguments.insert(arguments.begin(), stateArguments.begin(), stateArguments.end());
        arguments.insert(arguments.begin(), "--follow");
        arguments.push_back(logs.path().string());
        return runCommand(VESK_SWEEP_COMMAND, arguments, options);
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
    // What a run over the folder would write now, as the same user.
    std::string aRunWouldWrite() const {
        const TempFolder other;
        fs::permissions(other.path(), fs::perms::all);
        runCommand(VESK_SWEEP_COMMAND,
                   {"--quiet", "--report-folder", other.path().string(), logs.path().string()},
                   {.home = home.path(), .unprivileged = options.unprivileged});
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
    std::string printed() const { return readBytes(out / "findings"); }
    // What it has written on standard error so far.
    std::string complained() const {
        return readBytes("/proc/" + std::to_string(child_) + "/fd/2");
    }

    TempFolder home;
    TempFolder logs;
    TempFolder out;
    TempFolder state;
    std::vector<std::string> stateArguments{"--state-dir", state.path().string()};
    CommandOptions options{.home = home.path()};
    const fs::path report = vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today());
    int stopWith = SIGTERM;
    pid_t child_ = 0;
};

TEST_F(FollowCommandTest, KeepsTheReportWhatARunWouldWriteAndPrintsEachNewFindingOnce) {
    logs.write("a.log", M + "\r\nat the start\r\n");
    logs.write("b.log", "b's first line\r\n");
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

        // Rotation: renamed as another log, renamed away and begun anew, truncated in place.
        fs::rename(logs / "a.log", logs / "a-old.log");
        expectCurrent("renamed as another log");
        fs::rename(logs / "a-old.log", logs / "a.log.1");
        logs.write("a.log", M + "\r\nafter the rotation\r\n");
        expectCurrent("renamed away and begun anew");
        std::ofstream(logs / "b.log", std::ios::trunc | std::ios::binary) << M << "\r\nnew b\r\n";
        expectCurrent("truncated in place");
        logs.write("c.log", M + "\r\na new log\r\n" + M + "\r\n\x1b[31m\r\n");
        expectCurrent("a new log");
        logs.write("d.log", M + "\r\n" + std::string(70000, 'y') + "\r\n");
        expectCurrent("a finding past 64 KiB, whole in the report");
        fs::remove(logs / "c.log");
        expectCurrent("a log gone");
        fs::remove(report);
        expectCurrent("the report removed by someone else");
    });
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readBytes(report), aRunWouldWrite()) << "published a last time";
    EXPECT_EQ(home.files(), std::vector<fs::path>{report}) << "no draft is left";
    const std::string all = printed();
    const std::string cut = "d.log:" + std::string(65536, 'y') + " [... 70000 bytes in all]\n";
    for (const std::string& finding :
         std::vector<std::string>{"a.log:written in two pieces\n", "a.log:after the rotation\n",
                                  "b.log:new b\n", "c.log:a new log\n", "c.log:\x1b[31m\n", cut}) {
        const auto at = all.find(finding);
        EXPECT_TRUE(at != std::string::npos && at == all.rfind(finding))
            << finding.substr(0, 30) << " once in " << all.substr(0, 2000);
    }
}

TEST_F(FollowCommandTest, FollowsAFolderGivenTwiceOnce) {
    logs.write("a.log", M + "\r\nfound\r\n");
    const auto result = follow(
        [&] {
            expectCurrent("the first sweep");
            append("a.log", M + "\r\nappended\r\n");
            expectCurrent("an appended finding");
        },
        {logs.path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(printed(), "Operation completed!\n1 finding from 1 log\n" + report.string() + "\n" +
                             (logs / "a.log").string() + ":appended\n");
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
    const std::string shown =
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
            EXPECT_TRUE(awaitUntil([&] { return printed().ends_with("found\n"); }));
        });
        EXPECT_EQ(printed(), journal == 1 ? shown : withoutPriorities(shown));
        EXPECT_EQ(result.err, journal == 2 ? err : withoutPriorities(err));
    }
}

// A folder that goes away, emptied first and removed while a shell still has it open, is named
// once and followed again once it is back; ended while a log cannot be read, following ends as a
// run would, with status 1.
TEST_F(FollowCommandTest, FollowsAFolderThatComesBackAndEndsAsARunWould) {
    logs.write("a.log", M + "\r\nfound\r\n");
    options.unprivileged = true;
    fs::permissions(home.path(), fs::perms::all);
    fs::permissions(logs.path(), fs::perms::all);
    const auto result = follow([&] {
        fs::remove(logs / "a.log");
        expectCurrent("the folder emptied");
        const int shell = ::open(logs.path().c_str(), O_RDONLY | O_DIRECTORY);
        fs::remove(logs.path());
        EXPECT_TRUE(awaitUntil([&] { return !complained().empty(); })) << "the folder gone";
        ::close(shell);
        fs::create_directory(logs.path());
        fs::permissions(logs.path(), fs::perms::all);
        logs.write("b.log", M + "\r\nafter the redeploy\r\n");
        expectCurrent("the folder back");
        fs::permissions(logs.write("closed.log", M + "\r\nsecret\r\n"), fs::perms::none);
        expectCurrent("a log that cannot be read");
    });
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err, "veskparser-sweep: " + logs.path().string() + ": " +
                              std::make_error_code(std::errc::no_such_file_or_directory).message() +
                              "\n" + "veskparser-sweep: " + (logs / "closed.log").string() +
                              ": Permission denied\n");
    EXPECT_EQ(readBytes(report), "after the redeploy\r\n");
}

// Killed once it has started, right after an append or after a finding was printed, following
// tells the finding at its next start rather than lose it; stopped, it tells nothing twice.
TEST_F(FollowCommandTest, AKillLosesNoFindingAndAStopTellsNoneTwice) {
    logs.write("a.log", "");
    struct Case {
        int signal;
        bool printedFirst;
        std::size_t mostTimes;
    };
    for (const auto [signal, printedFirst, mostTimes] :
         {Case{SIGKILL, false, 2}, Case{SIGKILL, true, 2}, Case{SIGTERM, true, 1}}) {
        const std::string line = "finding " + std::to_string(signal) + std::to_string(printedFirst);
        stopWith = signal;
        follow([&] {
            EXPECT_TRUE(awaitUntil([&] { return !state.files().empty(); })) << "its place kept";
            append("a.log", M + "\r\n" + line + "\r\n");
            if (printedFirst) {
                EXPECT_TRUE(awaitUntil([&] { return printed().find(line) != std::string::npos; }));
            }
        });
        std::string all = printed();
        stopWith = SIGTERM;
        follow([&] {
            append("a.log", M + "\r\nthe next " + line + "\r\n");
            EXPECT_TRUE(awaitUntil(
                [&] { return printed().find("the next " + line + "\n") != std::string::npos; }));
        });
        all += printed();
        std::size_t times = 0;
        for (auto at = all.find(":" + line + "\n"); at != std::string::npos;
             at = all.find(":" + line + "\n", at + 1)) {
            ++times;
        }
        EXPECT_TRUE(times >= 1 && times <= mostTimes) << all;
    }
}

// Standard output that stalls holds back neither the report nor the end, and what it did not take
// is counted, with status 2; one that closes ends following with status 2 as well, the report
// published a last time.
TEST_F(FollowCommandTest, AnOutputThatStallsOrClosesHoldsNothingBack) {
    logs.write("a.log", M + "\r\nat the start\r\n");
    int stalled[2];
    ASSERT_EQ(::pipe(stalled), 0);  // this process keeps its reading end and never reads
    options.outDescriptor = stalled[1];
    std::string findings = "at the start\r\n";
    const auto result = follow([&] {
        for (int i = 0; i < 5000; ++i) {  // far more than a pipe holds
            findings += "finding " + std::to_string(i) + "\r\n";
            append("a.log", M + "\r\nfinding " + std::to_string(i) + "\r\n");
        }
        EXPECT_TRUE(awaitUntil([&] { return readBytes(report) == findings; }));
    });
    EXPECT_EQ(result.status, 2) << "lines were lost";
    EXPECT_TRUE(result.err.ends_with(" lines of output could not be written\n")) << result.err;
    EXPECT_EQ(readBytes(report), findings);

    int closed[2];
    ASSERT_EQ(::pipe(closed), 0);
    ::close(closed[0]);
    options.outDescriptor = closed[1];
    options.whileRunning = {};
    const auto ended = runCommand(VESK_SWEEP_COMMAND, {"--follow", logs.path().string()}, options);
    EXPECT_EQ(ended.status, 2) << ended.err;
    EXPECT_EQ(ended.err, "veskparser-sweep: cannot write the output: Broken pipe\n");
    EXPECT_EQ(readBytes(report), findings);
    for (const int fd : {stalled[0], stalled[1], closed[1]}) {
        ::close(fd);
    }
}

// On a terminal a finding's control characters are shown escaped, C1 ones as well, so that a log
// cannot drive the operator's terminal; to a file they go as they are (above).
TEST_F(FollowCommandTest, AFindingOnATerminalIsShownEscaped) {
    logs.write("a.log", "");
    int terminal = -1;
    int screen = -1;
    ASSERT_EQ(::openpty(&terminal, &screen, nullptr, nullptr, nullptr), 0);
    ::fcntl(terminal, F_SETFL, O_NONBLOCK);
    options.outDescriptor = screen;
    std::string shown;
    follow([&] {
        append("a.log", M + "\r\n\x1b[2J\xc2\x9b" + "caught\r\n");
        EXPECT_TRUE(awaitUntil([&] {
            char bytes[4096];
            for (ssize_t n; (n = ::read(terminal, bytes, sizeof bytes)) > 0;) {
                shown.append(bytes, static_cast<std::size_t>(n));
            }
            return shown.find("caught") != std::string::npos;
        })) << shown;
    });
    EXPECT_NE(shown.find("a.log:\\x1B[2J\\u009Bcaught"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\xc2\x9b"), std::string::npos) << "CSI, as some terminals take it";
    ::close(terminal);
    ::close(screen);
}

// A writer that never pauses is read all the same: its findings are printed and published while it
// writes. One appended right before the end is in the last publication, and --quiet prints none.
TEST_F(FollowCommandTest, NoWriterStarvesFollowingAndTheLastPublicationHasItAll) {
    logs.write("a.log", "");
    std::string seenWhileWriting;
    const auto busy = follow([&] {
        for (int i = 0; i < 1500; ++i) {
            append("a.log", M + "\r\nbusy " + std::to_string(i) + "\r\n");
            std::this_thread::sleep_for(1ms);
            if (i == 1400) {
                seenWhileWriting = readBytes(report) + "|" + printed();
            }
        }
    });
    EXPECT_EQ(busy.status, 0) << busy.err;
    EXPECT_NE(seenWhileWriting.find("busy 100\r\n"), std::string::npos) << "published meanwhile";
    EXPECT_NE(seenWhileWriting.find("a.log:busy 100\n"), std::string::npos) << "printed meanwhile";
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string last = "the last " + std::to_string(attempt);
        fs::remove(report);  // the next follower's first publication is awaited
        const auto result = follow([&] { append("a.log", M + "\r\n" + last + "\r\n"); }, {"-q"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(readBytes(report).find(last + "\r\n"), std::string::npos) << attempt;
        EXPECT_EQ(printed(), "") << "quiet";
    }
}

// --format=json: each line one object, the summary first, then each new finding with where its
// line begins in its log: a name with ':' and a line end, an 8-bit line's bytes beside its text,
// a UTF-16 log's line at its first byte, a line past 64 KiB cut and said to be.
TEST_F(FollowCommandTest, JsonLinesTellEachNewFindingWhereItLies) {
    logs.write("a.log", "quiet\r\n");
    const fs::path odd = logs / "x:y\nz.log";
    const fs::path wide = logs / "u16.log";
    const auto await = [&](std::size_t lines) {
        EXPECT_TRUE(awaitUntil([&] {
            const std::string all = printed();
            return static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) == lines;
        })) << lines;
    };
    const auto result = follow(
        [&] {
            await(1);
            logs.write(odd, M + "\r\nnew \xfe\r\n");
            await(2);
            append("a.log", M + "\r\n" + std::string(70000, 'y') + "\r\n");
            await(3);
            logs.write(wide, "\xFF\xFE" + utf16(M + "\r\nwide\r\n"));
            await(4);
        },
        {"--format=json"});
    EXPECT_EQ(result.status, 0) << result.err;
    const auto objects = jsonLines(printed());
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[0]["type"], "summary");
    EXPECT_EQ(objects[0]["findings"], 0);
    EXPECT_EQ(objects[0]["report"], report.string());
    const std::vector<std::pair<fs::path, std::uint64_t>> told = {
        {odd, 5}, {logs / "a.log", 70000}, {wide, 4}};
    for (std::size_t i = 1; i < objects.size(); ++i) {
        const auto& object = objects[i];
        const auto& [log, length] = told[i - 1];
        EXPECT_EQ(object["type"], "finding");
        EXPECT_EQ(object["folder"], logs.path().string());
        EXPECT_EQ(object["log"], log.string());
        EXPECT_EQ(object["length"], length);
        EXPECT_EQ(object["cut"], length > 65536);
        const std::string bytes = findingBytes(object);
        const std::string inLog = log == wide ? utf16(bytes) : bytes;
        EXPECT_TRUE(readBytes(log).substr(object["offset"].get<std::size_t>(), inLog.size()) ==
                    inLog)
            << i;
    }
    EXPECT_EQ(objects[1]["line"], "new \xEF\xBF\xBD");
    EXPECT_EQ(findingBytes(objects[1]), "new \xfe");
    EXPECT_EQ(findingBytes(objects[2]).size(), 65536u);
    EXPECT_EQ(objects[3]["line"], "wide");
}

// A first report that cannot be published is named, with no "Operation completed!"; following
// goes on, and ends with status 2 as its last publication failed.
TEST_F(FollowCommandTest, AFirstReportThatFailsCompletesNothing) {
    logs.write("a.log", M + "\r\nfound\r\n");
    fs::create_directory(report);
    const auto result = follow(
        [&] {
            EXPECT_TRUE(
                awaitUntil([&] { return printed().find("report_failed") != std::string::npos; }));
        },
        {"--format=json"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "veskparser-sweep: " + report.string() + ": Is a directory\n");
    const auto objects = jsonLines(printed());
    ASSERT_FALSE(objects.empty());
    for (const auto& object : objects) {
        EXPECT_NE(object["type"], "summary");
    }
    EXPECT_EQ(objects[0]["type"], "report_failed");
    EXPECT_EQ(objects[0]["report"], report.string());
    EXPECT_EQ(objects[0]["reason"], "Is a directory");
}

// Its place is kept in the folder asked for, else the unit's (the first STATE_DIRECTORY names),
// else the user's, made for the user alone; one that cannot be made is named, and following goes
// on without, as it starts afresh where the place there cannot be used.
TEST_F(FollowCommandTest, KeepsItsPlaceInTheFolderAskedOrTheUnitsOrTheUsers) {
    logs.write("a.log", "");
    const fs::path file = state.write("file", "");
    struct Place {
        std::vector<std::string> arguments;
        std::vector<std::pair<std::string, std::string>> environment;
        fs::path made;  // or none, named on standard error
    };
    const std::vector<Place> places = {
        {{"--state-dir=" + (state / "deep/er").string()}, {}, state / "deep/er"},
        {{},
         {{"STATE_DIRECTORY", (state / "unit").string() + ":" + (state / "other").string()}},
         state / "unit"},
        {{},
         {{"STATE_DIRECTORY", ""}, {"XDG_STATE_HOME", (state / "xdg").string()}},
         state / "xdg/veskparser"},
        {{},
         {{"STATE_DIRECTORY", ""}, {"XDG_STATE_HOME", "relative"}},
         home / ".local/state/veskparser"},
        {{"--state-dir", (file / "sub").string()}, {}, {}},
    };
    for (const auto& place : places) {
        stateArguments = place.arguments;
        options.environment = place.environment;
        fs::remove(report);  // the next follower's first publication is awaited
        const auto result = follow([] {});
        EXPECT_EQ(result.status, 0) << result.err;
        if (place.made.empty()) {
            EXPECT_EQ(result.err, "veskparser-sweep: " + (file / "sub").string() +
                                      ": Not a directory; following without keeping its place\n");
        } else {
            EXPECT_EQ(fs::status(place.made).permissions(), fs::perms::owner_all) << place.made;
            EXPECT_EQ(result.err, "");
        }
    }
    EXPECT_FALSE(fs::exists(state / "other"));
    // A place that cannot be used is named once, and kept anew.
    stateArguments = places[0].arguments;
    options.environment = {};
    const fs::path kept = fs::directory_iterator(places[0].made)->path();
    std::ofstream(kept, std::ios::app) << "spoilt";
    for (const std::string& err :
         {"veskparser-sweep: " + kept.string() +
              ": Damaged, or not a place kept by following; following starts afresh, telling "
              "nothing from before\n",
          std::string()}) {
        fs::remove(report);
        EXPECT_EQ(follow([] {}).err, err);
    }
}

// Where standard output and error are the journal, each finding and each problem goes as an entry
// of its own, with its fields, the finding's exact bytes, NUL included; where the journal's socket
// is missing, as lines begun with their priority.
TEST_F(FollowCommandTest, EachFindingAndProblemIsAJournalEntryOfItsOwn) {
#ifndef VESK_JOURNAL_ENTRIES
    GTEST_SKIP() << "built without libsystemd";
#endif
    if (!canStandInForTheJournal()) {
        GTEST_SKIP() << "a journal is stood in for by root alone, in a mount namespace of its own";
    }
    const fs::path log = logs / "a.log";
    const std::string finding("a\0b", 3);
    options.journal = 1;
    options.errorToOut = true;
    for (const bool listening : {true, false}) {
        fs::create_directory(logs.path());
        logs.write("a.log", "");
        fs::remove(report);
        const int socket = journalSocket();
        options.journalSocket = listening ? socket : -1;
        std::vector<std::map<std::string, std::string>> entries;
        const auto told = [&](std::size_t count, const std::string& line) {
            return awaitUntil([&] {
                auto more = journalEntries(socket, 0ms);
                entries.insert(entries.end(), more.begin(), more.end());
                return listening ? entries.size() == count : printed().ends_with(line);
            });
        };
        const auto result = follow([&] {
            append("a.log", M + "\r\n" + finding + "\r\n");
            EXPECT_TRUE(told(2, finding + "\n"));
            fs::remove_all(logs.path());
            EXPECT_TRUE(told(3, "No such file or directory\n"));
        });
        EXPECT_EQ(result.status, 1) << "the folder is gone";
        ::close(socket);
        const std::string summary =
            "Operation completed!\n0 findings from 1 log\n" + report.string();
        const std::string gone =
            "veskparser-sweep: " + logs.path().string() + ": " +
            std::make_error_code(std::errc::no_such_file_or_directory).message();
        if (!listening) {
            EXPECT_EQ(printed(), "<6>Operation completed!\n<6>0 findings from 1 log\n<6>" +
                                     report.string() + "\n<5>" + log.string() + ":" + finding +
                                     "\n<4>" + gone + "\n");
            continue;
        }
        EXPECT_EQ(printed(), "") << "all in entries";
        using Entry = std::map<std::string, std::string>;
        const std::string id = "veskparser-sweep";
        EXPECT_EQ(entries, (std::vector<Entry>{{{"MESSAGE", summary},
                                                {"PRIORITY", "6"},
                                                {"SYSLOG_IDENTIFIER", id},
                                                {"VESK_REPORT", report.string()}},
                                               {{"MESSAGE", log.string() + ":" + finding},
                                                {"PRIORITY", "5"},
                                                {"SYSLOG_IDENTIFIER", id},
                                                {"VESK_FOLDER", logs.path().string()},
                                                {"VESK_LOG", log.string()},
                                                {"VESK_OFFSET", std::to_string(M.size() + 2)},
                                                {"VESK_FINDING", finding}},
                                               {{"MESSAGE", gone},
                                                {"PRIORITY", "4"},
                                                {"SYSLOG_IDENTIFIER", id},
                                                {"VESK_FOLDER", logs.path().string()}}}));
    }
}

}  // namespace
