#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "sweep_fixture.h"

namespace {

namespace fs = std::filesystem;

// veskparser-sweep.exe run as a process of its own, so that each run's first failure is its
// own, while this process holds files the way other programs do.
class WindowsSweepCommandTest : public ::testing::Test {
protected:
    struct Ran {
        int status = 0;
        std::string output;  // standard error, then standard output
    };

    Ran sweep() const {
        std::wstring program = fs::path(VESK_SWEEP_COMMAND).native();
        if (program.starts_with(L"/")) {  // built on Linux, run under Wine
            program = L"Z:" + program;
            std::replace(program.begin(), program.end(), L'/', L'\\');
        }
        const fs::path out = scratch / "output.txt";
        // cmd takes the outer quotes off the whole line.
        const std::wstring line = L"\"\"" + program + L"\" \"" + logs.path().native() + L"\" > \"" +
                                  out.native() + L"\" 2>&1\"";
        Ran ran{_wsystem(line.c_str()), readBytes(out)};
        std::erase(ran.output, '\r');  // the output is in text mode
        return ran;
    }
    // Opened by another program: without any sharing, or without delete sharing.
    HANDLE hold(const fs::path& file, DWORD share) const {
        return CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    void TearDown() override { fs::remove(report); }

    TempFolder logs;
    TempFolder scratch;
    fs::path report = vesk::ReportFile::pathFor(L"c:\\", vesk::SystemClock().today());
};

TEST_F(WindowsSweepCommandTest, FilesHeldByOtherProgramsAreNamedWithTheRealReason) {
    // A log locked by its server, the run's first failure.
    logs.write("open.log", M + "\r\nfound\r\n");
    const fs::path locked = logs.write("locked.log", M + "\r\nunreachable\r\n");
    const HANDLE server = hold(locked, 0);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    Ran ran = sweep();
    CloseHandle(server);
    EXPECT_EQ(ran.status, 1) << ran.output;
    EXPECT_TRUE(ran.output.starts_with("veskparser-sweep: " + locked.string() + ": "))
        << ran.output;
    EXPECT_EQ(ran.output.find("success"), std::string::npos) << ran.output;
    EXPECT_EQ(readBytes(report), "found\r\n");

    // The report held open without delete sharing: the findings stay in the draft, named.
    fs::remove(locked);
    std::ofstream(report, std::ios::binary) << "earlier\r\n";
    const HANDLE reader = hold(report, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ran = sweep();
    CloseHandle(reader);
    EXPECT_EQ(ran.status, 2) << ran.output;
    const std::string kept = "this run's findings are in ";
    const auto at = ran.output.find(kept);
    ASSERT_NE(at, std::string::npos) << ran.output;
    const fs::path draft =
        ran.output.substr(at + kept.size(), ran.output.find('\n', at) - at - kept.size());
    EXPECT_EQ(readBytes(draft), "found\r\n");
    EXPECT_EQ(readBytes(report), "earlier\r\n");
    fs::remove(draft);
}

}  // namespace
