#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "home_folder.h"
#include "recording_view.h"
#include "report_file.h"
#include "sweep_run.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;
using vesk::SweepOutcome;

const std::string M = "ScriptLog: ####";

class WindowsSweepTest : public ::testing::Test {
protected:
    SweepOutcome sweep(const fs::path& folder, const fs::path& reportFolder) {
        std::error_code ec;
        view = std::make_unique<RecordingView>(folder, fileSystem->listFiles(folder, ec));
        vesk::SweepRun run(*fileSystem, clock, reportFolder);
        return run.run(*view);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove(todaysReport(), ignored);
    }
    fs::path todaysReport() const { return vesk::ReportFile::pathFor(L"c:\\", clock.today()); }

    TempFolder logs;
    TempFolder reports;
    vesk::SystemClock clock;
    std::unique_ptr<vesk::FileSystem> fileSystem = vesk::makeNativeFileSystem();
    std::unique_ptr<RecordingView> view;
};

struct Ran {
    DWORD status = 0;
    std::string err;
};

// Runs veskparser-sweep.exe as a process of its own, so that each run's first error is its own.
Ran runSweepCommand(const fs::path& folder, const fs::path& scratch) {
    std::wstring program = fs::path(VESK_SWEEP_COMMAND).native();
    if (program.starts_with(L"/")) {  // built on Linux, run under Wine
        program = L"Z:" + program;
        std::replace(program.begin(), program.end(), L'/', L'\\');
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const fs::path errPath = scratch / "err.txt";
    const HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = err;
    startup.hStdError = err;
    std::wstring line = L"\"" + program + L"\" \"" + folder.native() + L"\"";
    PROCESS_INFORMATION process{};
    Ran ran;
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &ran.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(err);
    ran.err = readBytes(errPath);
    std::erase(ran.err, '\r');  // standard error is in text mode
    return ran;
}

TEST_F(WindowsSweepTest, ARunsFirstFailureIsNamedWithItsRealReason) {
    logs.write("locked.log", M + "\r\nunreachable\r\n");
    // Held the way a running server holds its log: no sharing with anybody.
    const HANDLE holder = CreateFileW((logs / "locked.log").c_str(), GENERIC_READ | GENERIC_WRITE,
                                      0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const Ran ran = runSweepCommand(logs.path(), reports.path());
    CloseHandle(holder);
    EXPECT_EQ(ran.status, 1u) << ran.err;
    const std::string named = "veskparser-sweep: " + (logs / "locked.log").string() + ": ";
    EXPECT_TRUE(ran.err.starts_with(named)) << ran.err;
    EXPECT_EQ(ran.err.find("success"), std::string::npos) << ran.err;
}

TEST_F(WindowsSweepTest, AReportThatCannotBeReplacedSaysWhereTheFindingsAre) {
    logs.write("server.log", M + "\r\nfound\r\n");
    std::ofstream(todaysReport(), std::ios::binary) << "earlier\r\n";
    // Another program reading the old report keeps it from being replaced.
    const HANDLE reader =
        CreateFileW(todaysReport().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const Ran ran = runSweepCommand(logs.path(), reports.path());
    CloseHandle(reader);
    EXPECT_EQ(ran.status, 2u) << ran.err;
    const std::string kept = "this run's findings are in ";
    const auto at = ran.err.find(kept);
    ASSERT_NE(at, std::string::npos) << ran.err;
    const fs::path draft =
        ran.err.substr(at + kept.size(), ran.err.find('\n', at) - at - kept.size());
    EXPECT_EQ(readBytes(draft), "found\r\n");
    EXPECT_EQ(readBytes(todaysReport()), "earlier\r\n");
    fs::remove(draft);
}

TEST_F(WindowsSweepTest, TheReportGoesToTheRootOfDriveC) {
    EXPECT_EQ(vesk::homeFolder(), fs::path(L"c:\\"));
    logs.write("server.log", M + "\r\nfound\r\n");
    const auto outcome = sweep(logs.path(), vesk::homeFolder());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::completed) << outcome.message;
    const auto date = clock.today();
    char name[40];
    std::snprintf(name, sizeof name, "c:\\VOReradivu_%04d-%02d-%02d.log", date.year, date.month,
                  date.day);
    EXPECT_EQ(outcome.report.string(), name);
    EXPECT_EQ(readBytes(name), "found\r\n");
    EXPECT_EQ(GetFileAttributesW(outcome.report.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u)
        << "only the draft was hidden";
}

TEST_F(WindowsSweepTest, HiddenAndSystemLogsAreLeftOut) {
    logs.write("shown.log", M + "\r\nshown\r\n");
    const auto hidden = logs.write("hidden.log", M + "\r\nhidden\r\n");
    const auto system = logs.write("system.log", M + "\r\nsystem\r\n");
    ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_SYSTEM));
    sweep(logs.path(), reports.path());
    EXPECT_EQ(view->entryCount(), 1) << "the file list leaves them out too";
    EXPECT_EQ(readBytes(vesk::ReportFile::pathFor(reports.path(), clock.today())), "shown\r\n");
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsSweepTest, NamesInAnyCaseAndOutsideTheCodePageAreRead) {
    const fs::path folder = logs / fs::path(L"\u043b\u043e\u0433\u0438");
    fs::create_directory(folder);
    const std::vector<fs::path> names = {L"UPPER.LOG", L"lower.log", L"Mixed.Log",
                                         L"\u65e5\u672c\u0436.log"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::ofstream(folder / names[i], std::ios::binary) << M << "\r\nfinding " << i << "\r\n";
    }
    std::ofstream(folder / L"notes.logs", std::ios::binary) << M << "\r\nnot a log\r\n";
    const auto outcome = sweep(folder, reports.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::completed) << outcome.message;
    const std::string report = readBytes(vesk::ReportFile::pathFor(reports.path(), clock.today()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_NE(report.find("finding " + std::to_string(i) + "\r\n"), std::string::npos)
            << names[i].string();
    }
    EXPECT_EQ(report.find("not a log"), std::string::npos);
}

TEST_F(WindowsSweepTest, TheDaysReportAtTheRootOfCIsNotSwept) {
    const fs::path log = L"c:\\vesk-test-server.log";
    std::ofstream(log, std::ios::binary) << M << "\r\nonce\r\n" << M << "\r\n";
    std::ofstream(todaysReport(), std::ios::binary) << M << "\r\nstale\r\n";
    const auto outcome = sweep(L"c:\\", vesk::homeFolder());
    fs::remove(log);
    EXPECT_EQ(readBytes(todaysReport()), "once\r\n") << outcome.message;
}

TEST_F(WindowsSweepTest, ALogLockedByItsServerIsNamedAndTheOthersAreRead) {
    logs.write("open.log", M + "\r\nfound\r\n");
    const auto locked = logs.write("locked.log", M + "\r\nunreachable\r\n");
    // The way a running server holds its log: no sharing with anybody.
    const HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const auto outcome = sweep(logs.path(), reports.path());
    CloseHandle(holder);
    EXPECT_EQ(outcome.status, SweepOutcome::Status::someUnreadable);
    ASSERT_EQ(outcome.unreadable.size(), 1u);
    EXPECT_EQ(outcome.unreadable[0].path, locked);
    EXPECT_FALSE(outcome.unreadable[0].reason.empty());
    EXPECT_EQ(readBytes(vesk::ReportFile::pathFor(reports.path(), clock.today())), "found\r\n");
}

}  // namespace
