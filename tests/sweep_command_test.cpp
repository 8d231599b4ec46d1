#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <regex>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "command_runner.h"
#include "sweep_fixture.h"
#include "vesk/version.h"

namespace {

namespace fs = std::filesystem;

// Its two lines, each begun with the priority given.
std::string usageLines(const std::string& priority) {
    return priority +
           "usage: veskparser-sweep [-q] [--follow] [--format FORMAT] [--report-folder DIR]\n" +
           priority + "                        [--state-dir DIR] [--] [FOLDER...]\n";
}

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

// Every form the command takes, with what it prints and whether it replaced the day's report.
// Where standard output or error is the journal, each line there begins with its priority, for
// journalctl -p: a log that cannot be read is a warning, what stops the run an error, the rest
// information. Anywhere else the lines are as they were.
TEST_F(SweepCommandTest, EachFormPrintsItsTextsOnceAndExitsWithWhatItLeftBehind) {
    logs.write("a.log", M + "\r\nfound\r\n");
    // é passes, the rest is escaped: U+009B (CSI) among them, though valid UTF-8.
    const fs::path odd = logs / "srv\xff\x1b[31m\x7f\xc2\x9b\xc3\xa9";
    fs::create_directory(odd);
    logs.write(odd / "ok\xfe.log", M + "\r\nfound\r\n");
    const fs::path closed = logs.write(odd / "bad\xfe.log", M + "\r\nsecret\r\n");
    fs::permissions(closed, fs::perms::none);
    TempFolder locked;
    fs::permissions(locked.path(), fs::perms::owner_read | fs::perms::owner_exec);
    for (const auto& folder : {logs.path(), odd, home.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    options.unprivileged = true;  // so that permissions hold even for root

    const std::string folder = logs.path().string();
    const std::string missing = (logs / "missing").string();
    const std::string file = (logs / "a.log").string();
    const std::string typo = (logs / "typo/..").string();
    const std::string shown = folder + "/srv\\xFF\\x1B[31m\\x7F\\u009B\xc3\xa9/bad\\xFE.log";
    const std::string gone = ": No such file or directory\n";
    const auto error = [](const std::string& text) { return "<3>veskparser-sweep: " + text; };
    const auto warning = [](const std::string& text) { return "<4>veskparser-sweep: " + text; };
    const std::string lost = error("cannot write the output: No space left on device\n");
    const std::string broken = error("cannot write the output: Broken pipe\n");
    const std::string done = "<6>Operation completed!\n<6>1 finding from 1 log";
    const std::string report = "<6>" + reportPath.string() + "\n";
    const std::string helpStart = usageLines("<6>");
    const auto usage = [&](const std::string& problem) {
        return error(problem + "\n" + usageLines("<3>") + "<3>Try 'veskparser-sweep --help'.\n");
    };
    struct Form {
        std::vector<std::string> arguments;
        int status;
        std::string out;  // as the journal takes them; a help text is checked by its first line
        std::string err;
        bool replaced;
        fs::path outFile = {};
        bool closedPipe = false;  // standard output a pipe whose reader is gone
    };
    const std::vector<Form> forms = {
        {{"--version"}, 0, "<6>veskparser-sweep " + std::string(vesk::kVersion) + "\n", "", false},
        {{"-h"}, 0, helpStart, "", false},
        {{"--help", folder}, 0, helpStart, "", false},
        {{"--frobnicate"}, 2, "", usage("unknown option --frobnicate"), false},
        {{"--report-folder"}, 2, "", usage("--report-folder needs a folder"), false},
        {{"--state-dir"}, 2, "", usage("--state-dir needs a folder"), false},
        {{"--format=xml", folder}, 2, "", usage("unknown format 'xml' (text or json)"), false},
        {{"--report-folder=", folder},
         2,
         "",
         usage("the folder given to --report-folder is empty"),
         false},
        {{"--report-folder", "", folder},
         2,
         "",
         usage("the folder given to --report-folder is empty"),
         false},
        {{folder, missing}, 2, "", error(missing + gone), false},
        {{file}, 2, "", error(file + ": Not a folder\n"), false},
        {{"--follow", folder, missing}, 2, "", error(missing + gone), false},
        {{"--follow", file}, 2, "", error(file + ": Not a folder\n"), false},
        {{"--follow", locked.path().string()},
         2,
         "",
         error(locked.path().string() + ": Permission denied\n"),
         false},
        {{typo}, 2, "", error(typo + gone), false},
        {{"--report-folder", missing, folder}, 2, "", error(missing + gone), false},
        {{"--report-folder=" + locked.path().string(), folder},
         2,
         "",
         error(locked.path().string() + ": Permission denied\n"),
         false},
        {{locked.path().string()},
         2,
         "",
         error(locked.path().string() + ": Permission denied\n"),
         false},
        {{folder}, 0, done + "\n" + report, "", true},
        {{"-q", folder}, 0, "", "", true},
        {{"-q", "--format", "json", folder}, 0, "", "", true},
        {{odd.string()},
         1,
         done + "; 1 log could not be read\n" + report,
         warning(shown + ": Permission denied\n"),
         true},
        {{"--quiet", odd.string()}, 1, "", warning(shown + ": Permission denied\n"), true},
        {{folder}, 2, "", lost, true, "/dev/full"},
        {{"--version"}, 2, "", lost, false, "/dev/full"},
        {{folder}, 2, "", broken, true, {}, true},
    };
    struct stat other {};
    ::stat(folder.c_str(), &other);
    const std::string elsewhere = std::to_string(other.st_dev) + ":" + std::to_string(other.st_ino);
    struct Journal {
        int stream;         // the command's descriptor JOURNAL_STREAM names, or 0
        std::string named;  // else what it names
    };
    const std::vector<Journal> journals = {{1, ""}, {2, ""}, {0, elsewhere}, {0, ""}};
    for (const auto& form : forms) {
        for (const auto& journal : journals) {
            const std::string name = ::testing::PrintToString(form.arguments) + " journal " +
                                     std::to_string(journal.stream) + journal.named;
            home.write(reportPath.filename(), "earlier\r\n");
            options.outFile = form.outFile;
            int pipe[2] = {-1, -1};
            if (form.closedPipe && ::pipe(pipe) == 0) {
                ::close(pipe[0]);
                options.outDescriptor = pipe[1];
            }
            options.journal = journal.stream;
            options.environment.clear();
            if (!journal.named.empty()) {
                options.environment = {{"JOURNAL_STREAM", journal.named}};
            }
            const auto result = sweep(form.arguments);
            if (form.closedPipe) {
                ::close(pipe[1]);
                options.outDescriptor = -1;
            }
            const std::string out = journal.stream == 1 ? form.out : withoutPriorities(form.out);
            const std::string err = journal.stream == 2 ? form.err : withoutPriorities(form.err);
            EXPECT_EQ(result.status, form.status) << name << result.err;
            if (form.out == helpStart) {
                EXPECT_TRUE(result.out.starts_with(out)) << name << result.out;
            } else {
                EXPECT_EQ(result.out, out) << name;
            }
            EXPECT_EQ(result.err, err) << name;
            EXPECT_EQ(readBytes(reportPath), form.replaced ? "found\r\n" : "earlier\r\n") << name;
            EXPECT_EQ(home.files(), std::vector<fs::path>{reportPath}) << name;
        }
    }

    options = {.home = home.path()};
    const auto help = sweep({"--help"}).out;
    for (const char* form :
         {"--report-folder DIR", "--report-folder=DIR", "\n  --  ", "-q, --quiet", "--follow",
          "-h, --help", "--version", "\"ScriptLog: ####\""}) {
        EXPECT_NE(help.find(form), std::string::npos) << form << " in " << help;
    }
    fs::remove(reportPath);
    fs::create_directory(reportPath);
    options.journal = 2;
    const auto result = sweep({logs.path().string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, error(reportPath.string() + ": Is a directory\n"));
}

// --format=json: each line one object. Each finding of the run in the report's order, where its
// line begins in the log, an 8-bit line's bytes beside its text, a UTF-16 log's line at its first
// byte, one past 64 KiB cut and said to be; a log that cannot be read, named on standard error as
// well, and the summary. The time is the local one, with its offset.
TEST_F(SweepCommandTest, JsonLinesTellEachFindingWhereItLies) {
    const fs::path odd = logs.write("a:b\nc.log", M + "\r\nfound \xff here\r\n" + M + "\r\n" +
                                                      std::string(70000, 'x') + "\r\n");
    const fs::path closed = logs.write("closed.log", M + "\r\nsecret\r\n");
    const fs::path wide = logs.write("u16.log", "\xFF\xFE" + utf16(M + "\r\nwide\r\n"));
    fs::permissions(closed, fs::perms::none);
    for (const auto& folder : {logs.path(), home.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    options.unprivileged = true;
    options.environment = {{"TZ", "Etc/GMT-14"}};
    const auto result = sweep({"--format=json", logs.path().string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "veskparser-sweep: " + closed.string() + ": Permission denied\n");
    const auto objects = jsonLines(result.out);
    ASSERT_EQ(objects.size(), 5u) << result.out;
    struct Told {
        fs::path log;
        std::string line;  // as the text field gives it
        std::size_t length;
    };
    const std::vector<Told> told = {{odd, "found \xEF\xBF\xBD here", 12},
                                    {odd, std::string(65536, 'x'), 70000},
                                    {wide, "wide", 4}};
    for (std::size_t i = 0, found = 0; i < 4; ++i) {
        const auto& object = objects[i];
        EXPECT_TRUE(std::regex_match(object["time"].get<std::string>(),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}\+14:00)")))
            << object["time"];
        if (i == 2) {
            EXPECT_EQ(object["type"], "unreadable");
            EXPECT_EQ(object["path"], closed.string());
            EXPECT_EQ(object["reason"], "Permission denied");
            continue;
        }
        const Told& expected = told[found++];
        EXPECT_EQ(object["type"], "finding");
        EXPECT_EQ(object["folder"], logs.path().string());
        EXPECT_EQ(object["log"], expected.log.string());
        EXPECT_TRUE(object["line"] == expected.line) << i;
        EXPECT_EQ(object["length"], expected.length);
        EXPECT_EQ(object["cut"], expected.length > 65536);
        const std::string bytes = findingBytes(object);
        const auto offset = object["offset"].get<std::size_t>();
        EXPECT_TRUE(readBytes(expected.log).substr(offset, bytes.size() * (found == 3 ? 2 : 1)) ==
                    (found == 3 ? utf16(bytes) : bytes))
            << i << " at " << offset;
    }
    EXPECT_EQ(objects[0]["line_base64"], "Zm91bmQg/yBoZXJl");
    // The report is named for the local date, which the time gives.
    const std::string date = objects[4]["time"].get<std::string>().substr(0, 10);
    const fs::path report = home / ("VOReradivu_" + date + ".log");
    EXPECT_EQ(objects[4], (nlohmann::json{{"type", "summary"},
                                          {"time", objects[4]["time"]},
                                          {"findings", 3},
                                          {"logs", 2},
                                          {"unreadable", 1},
                                          {"report", report.string()}}));
    EXPECT_TRUE(readBytes(report) ==
                "found \xff here\r\n" + std::string(70000, 'x') + "\r\nwide\r\n")
        << "the report keeps the long line whole";

    const auto missing = sweep({"--format=json", (logs / "missing").string()});
    EXPECT_EQ(missing.status, 2);
    const auto error = jsonLines(missing.out);
    ASSERT_EQ(error.size(), 1u);
    EXPECT_EQ(error[0]["type"], "error");
    EXPECT_EQ(error[0]["path"], (logs / "missing").string());
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
    options.whileRunning = [&](pid_t child) {
        awaitFileOpenIn(child, home.path());
        quick = runCommand(VESK_SWEEP_COMMAND, {logs.path().string()}, {.home = home.path()});
    };
    const auto result = sweep({slow.path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(quick.status, 0) << quick.err;
    EXPECT_TRUE(readBytes(reportPath) == expected) << "the run that ended last stands, whole";
    EXPECT_EQ(home.files(), std::vector<fs::path>{reportPath});
}

// However a run ends midway, the day's earlier report stands and nothing else is left: killed
// outright, interrupted, or stopped by a file-size limit. A hangup that nohup ignores is none.
TEST_F(SweepCommandTest, ARunEndedMidwayLeavesTheEarlierReportAndNothingElse) {
    std::string findings;
    std::string report;
    for (int i = 0; i < 300; ++i) {  // more than the file-size limit below
        findings += M + "\r\nnew\r\n";
        report += "new\r\n";
    }
    makeSlow(logs, findings);
    struct Ending {
        int signal;          // sent once the run has its draft
        long fileSizeLimit;  // or -1
        int status;          // the exit status, or -1 when it dies of the signal
        std::string err;
    };
    const std::vector<Ending> endings = {
        {SIGKILL, -1, -1, ""},
        {SIGTERM, -1, -1, ""},
        {SIGHUP, -1, 0, ""},  // inherited as ignored, as nohup leaves it
        {0, 1024, 2,
         reportPath.string() + ": " + std::make_error_code(std::errc::file_too_large).message()},
    };
    for (const auto& ending : endings) {
        home.write(reportPath.filename(), "earlier\r\n");
        options.fileSizeLimit = ending.fileSizeLimit;
        options.whileRunning = [&](pid_t child) {
            if (ending.signal != 0 && awaitFileOpenIn(child, home.path())) {
                ::kill(child, ending.signal);
            }
        };
        std::signal(SIGHUP, ending.signal == SIGHUP ? SIG_IGN : SIG_DFL);
        const auto result = sweep({logs.path().string()});
        std::signal(SIGHUP, SIG_DFL);
        EXPECT_EQ(result.status, ending.status) << ending.signal << result.err;
        EXPECT_EQ(result.signal, ending.status == -1 ? ending.signal : 0);
        EXPECT_EQ(result.err, ending.err.empty() ? "" : "veskparser-sweep: " + ending.err + "\n");
        EXPECT_TRUE(readBytes(reportPath) == (ending.status == 0 ? report : "earlier\r\n"));
        EXPECT_EQ(home.files(), std::vector<fs::path>{reportPath}) << "nothing else is left";
    }
}

// However few descriptors the command may have, every log is read: a shortage is the process's,
// and waits for a log to be closed. Started with no standard streams at all, nothing it says lands
// in the report.
TEST_F(SweepCommandTest, FewDescriptorsOrNoStandardStreamsLoseNothing) {
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        logs.write("log" + std::to_string(100 + i) + ".log",
                   M + "\r\nfound " + std::to_string(i) + "\r\n" + std::string(100000, 'x'));
        expected += "found " + std::to_string(i) + "\r\n";
    }
    // The sanitizers' own checks open a pipe now and then, which a shortage would deny them.
#ifndef VESK_SANITIZERS_NEED_DESCRIPTORS
    for (const long limit : {7, 8, 12, 20}) {
#else
    for (const long limit : {64}) {
#endif
        options.openFileLimit = limit;
        const auto result = sweep({"-q", logs.path().string()});
        EXPECT_EQ(result.status, 0) << limit << result.err;
        EXPECT_EQ(readBytes(reportPath), expected) << limit;
    }
#ifndef VESK_SANITIZERS_NEED_DESCRIPTORS
    // Too few for even one log beside the report, or for following at all: it says so and ends
    // with 2, the day's report as it was, rather than replace it with an empty one or hang.
    for (const auto& [limit, arguments] : std::vector<std::pair<long, std::vector<std::string>>>{
             {6, {"-q", logs.path().string()}},
             {6, {"--follow", logs.path().string()}},
             {9, {"--follow", logs.path().string()}}}) {
        options.openFileLimit = limit;
        const auto result = sweep(arguments);
        EXPECT_EQ(result.status, 2) << limit << " " << arguments[0];
        EXPECT_NE(result.err.find("Too many open files"), std::string::npos) << result.err;
        EXPECT_EQ(readBytes(reportPath), expected) << limit << " " << arguments[0];
    }
#endif
    options = {.home = home.path(), .unprivileged = true, .closedStandardStreams = true};
    fs::permissions(home.path(), fs::perms::all);
    fs::permissions(logs.path(), fs::perms::all);
    fs::permissions(logs.write("closed.log", M + "\r\nsecret\r\n"), fs::perms::none);
    EXPECT_EQ(sweep({logs.path().string()}).status, 1);
    EXPECT_EQ(readBytes(reportPath), expected) << "no complaint in the report";
}

// The report is named for the local date, which a clock that gave the UTC date would miss: at
// any moment, one of these zones has a date other than UTC's.
TEST_F(SweepCommandTest, TheReportIsNamedForTheLocalDate) {
    logs.write("a.log", M + "\r\nfound\r\n");
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    const char* zone = utc.tm_hour >= 12 ? "Etc/GMT-14" : "Etc/GMT+12";
    options.environment = {{"TZ", zone}};
    ::setenv("TZ", zone, 1);
    ::tzset();
    const fs::path local = vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today());
    ::unsetenv("TZ");
    ::tzset();
    ASSERT_NE(local, reportPath) << "the zone's date is UTC's";
    EXPECT_EQ(sweep({logs.path().string()}).status, 0);
    EXPECT_EQ(readBytes(local), "found\r\n");
}

// A log mounted into the folder on its own, as containers mount one, is read with a terminal
// and without one alike.
TEST_F(SweepCommandTest, ALogMountedIntoTheFolderIsRead) {
    const fs::path log = logs.write("server.log", "");
    TempFolder source;
    const fs::path real = source.write("real.log", M + "\r\nmounted\r\n");
    if (::mount(real.c_str(), log.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "cannot mount a file here: " << std::strerror(errno);
    }
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{log};
    for (const bool terminal : {false, true}) {
        options.stderrOnTerminal = terminal;
        const auto result = sweep({logs.path().string()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readBytes(reportPath), "mounted\r\n") << (terminal ? "terminal" : "none");
    }
}

}  // namespace
