#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sweep_run_fixture.h"

namespace {

namespace fs = std::filesystem;
using vesk::SweepOutcome;

const std::string M = "ScriptLog: ####";

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

std::vector<fs::path> filesIn(const fs::path& folder) {
    return {fs::directory_iterator(folder), fs::directory_iterator()};
}

TEST_F(SweepRunTest, WhateverStandsAtTheReportsNameIsReplacedUnopened) {
    const fs::path log = logs.write("a.log", M + "\r\nfound\r\n");
    ASSERT_EQ(::mkfifo(reportPath().c_str(), 0600), 0);  // opening it would hang the run
    EXPECT_EQ(sweep(logs.path()).status, SweepOutcome::Status::completed);
    fs::remove(reportPath());
    fs::create_symlink(log, reportPath());  // writing through it would truncate the log
    EXPECT_EQ(sweep(logs.path()).status, SweepOutcome::Status::completed);
    EXPECT_EQ(readBytes(log), M + "\r\nfound\r\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(reportPath())));
    EXPECT_EQ(report(), "found\r\n");
    EXPECT_EQ(filesIn(reports.path()), std::vector<fs::path>{reportPath()}) << "no draft is left";
}

// A real full disk: a tmpfs of 64 KiB as the report's folder, which only root may mount.
TEST_F(SweepRunTest, ADiskThatFillsMidwayLeavesTheEarlierReportAsItWas) {
    if (::mount("tmpfs", reports.path().c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{reports.path()};
    reports.write(reportPath().filename(), "earlier\r\n");
    logs.write("a.log", M + "\r\n" + std::string(256 * 1024, 'x') + "\r\n");
    logs.write("b.log", "nothing\r\n");
    const auto outcome = sweep(logs.path());
    EXPECT_EQ(outcome.status, SweepOutcome::Status::reportFailed);
    EXPECT_EQ(outcome.reportError, std::make_error_code(std::errc::no_space_on_device).message());
    EXPECT_EQ(report(), "earlier\r\n");
    EXPECT_EQ(filesIn(reports.path()), std::vector<fs::path>{reportPath()}) << "no draft is left";
    EXPECT_EQ(view->calls.front(), "disable");
    EXPECT_EQ(view->calls.back(), "progress 0");
    EXPECT_EQ(std::count(view->calls.begin(), view->calls.end(), "enable"), 1);
    EXPECT_EQ(view->messages.at(0).find("Operation completed!"), std::string::npos);
}

}  // namespace
