#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "command_runner.h"
#include "sweep_fixture.h"
#include "vesk/version.h"

namespace {

// The window's program, started as a person would start it, with no display at all unless one is
// named: what it answers before its window opens needs none.
CommandResult veskparser(const std::vector<std::string>& arguments,
                         const std::string& platform = "", const std::string& display = "") {
    return runCommand(VESK_WINDOW_PROGRAM, arguments,
                      {.environment = {{"QT_QPA_PLATFORM", platform},
                                       {"DISPLAY", display},
                                       {"WAYLAND_DISPLAY", ""},
                                       {"XDG_SESSION_TYPE", ""}}});
}

// An X display that no server holds: no socket of its own on this machine.
std::string missingDisplay() {
    for (int number = 4242;; ++number) {
        const std::string digits = std::to_string(number);
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + digits)) {
            return std::string(":").append(digits);
        }
    }
}

TEST(WindowProgram, TellsItsVersionAndUsageAndRefusesWrongArgumentsWithoutADisplay) {
    TempFolder folder;
    const auto file = folder.write("a.log", "");
    struct Form {
        std::vector<std::string> arguments;
        int status;
        std::string out;  // its beginning
        std::string err;  // the line that must be in it
    };
    const std::vector<Form> forms = {
        {{"--version"}, 0, "veskparser " + std::string(vesk::kVersion) + "\n", ""},
        {{"-h"}, 0, "Usage: veskparser [options] [folder]\n", ""},
        {{"--help", folder.path().string()}, 0, "Usage: veskparser [options] [folder]\n", ""},
        {{"--bogus"}, 2, "", "veskparser: unknown option '--bogus'\nUsage: veskparser"},
        {{"--", "-v"}, 2, "", "veskparser: -v: No such file or directory\n"},
        {{file.string()}, 2, "", "veskparser: " + file.string() + ": Not a folder\n"},
        {{(folder / "gone").string()},
         2,
         "",
         "veskparser: " + (folder / "gone").string() + ": No such file or directory\n"},
        {{folder.path().string(), folder.path().string()},
         2,
         "",
         "veskparser: one folder at most\n"},
    };
    for (const auto& form : forms) {
        const auto result = veskparser(form.arguments);
        const std::string name = ::testing::PrintToString(form.arguments);
        EXPECT_EQ(result.status, form.status) << name << result.err;
        EXPECT_TRUE(result.out.starts_with(form.out)) << name << result.out;
        EXPECT_NE(result.err.find(form.err), std::string::npos) << name << result.err;
    }
}

// Without a display the window cannot open, whether none is named or the one named cannot be
// reached: the program says so and how to sweep from a shell, and ends with status 2, not a signal.
TEST(WindowProgram, EndsWithStatus2AndSaysHowToSweepWithoutADisplay) {
    TempFolder folder;
    const std::string unreachable = missingDisplay();
    struct Start {
        std::vector<std::string> arguments;
        std::string platform;
        std::string display;
        std::string line;  // with the reason known before Qt starts, or bare after Qt's own lines
    };
    const std::string beforeQt = "veskparser: no display can be opened: ";
    const std::string afterQt = "veskparser: no display can be opened\n";
    const std::vector<Start> starts = {
        {{}, "", "", beforeQt + "neither DISPLAY nor WAYLAND_DISPLAY is set\n"},
        {{folder.path().string()}, "", "", beforeQt + "neither DISPLAY nor WAYLAND_DISPLAY"},
        {{}, "xcb", "", beforeQt + "QT_QPA_PLATFORM=xcb needs DISPLAY, which is not set\n"},
        {{folder.path().string()}, "", unreachable, afterQt},
        {{}, "xcb", unreachable, afterQt},
        {{}, "no-such-platform", "", afterQt},
        // A platform that starts without a screen.
        {{}, "linuxfb:fb=/nonexistent/fb0", "", beforeQt + "Qt's linuxfb platform has no screen\n"},
    };
    for (const auto& start : starts) {
        const auto result = veskparser(start.arguments, start.platform, start.display);
        const std::string name = ::testing::PrintToString(start.arguments) +
                                 " QT_QPA_PLATFORM=" + start.platform + " DISPLAY=" + start.display;
        EXPECT_EQ(result.signal, 0) << name;
        EXPECT_EQ(result.status, 2) << name;
        EXPECT_NE(result.err.find(start.line), std::string::npos) << name << result.err;
        EXPECT_NE(result.err.find("from a shell: veskparser-sweep FOLDER\n"), std::string::npos)
            << name << result.err;
        EXPECT_EQ(result.out, "") << name;
    }
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// Form1 in a process of its own, driven through its standard input and output.
class Form1Process {
public:
    // fileSizeLimit in bytes, as ulimit -f sets it, when set.
    Form1Process(const fs::path& home, const fs::path& folder, bool namedDrafts,
                 long fileSizeLimit = -1) {
        int in[2];
        int out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::setenv("HOME", home.c_str(), 1);
            if (fileSizeLimit >= 0) {
                const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                                   static_cast<rlim_t>(fileSizeLimit)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            ::execl(VESK_FORM1_CHILD, VESK_FORM1_CHILD, folder.c_str(),
                    namedDrafts ? "named" : "nameless", nullptr);
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = ::fdopen(out[0], "r");
    }
    ~Form1Process() {
        ::close(input_);
        std::fclose(output_);
        if (status_ == -1) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    std::string line() {
        char text[4096] = {};
        return std::fgets(text, sizeof text, output_) != nullptr ? text : "";
    }
    void findCheaters() { ASSERT_EQ(::write(input_, "find\n", 5), 5); }
    pid_t pid() const { return pid_; }
    int wait() {
        ::waitpid(pid_, &status_, 0);
        return status_;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    std::FILE* output_ = nullptr;
    int status_ = -1;
};

// The window's run sweeps the folder as it is at the click, not as it was when it was opened.
TEST(Form1InItsOwnProcess, FindCheatersSweepsTheFolderAsItIsNow) {
    TempFolder home;
    TempFolder logs;
    home.write(vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today()).filename(),
               "from a run before\r\n");
    Form1Process window(home.path(), logs.path(), false);
    ASSERT_EQ(window.line(), "ready\n");
    logs.write("server.log", M + "\r\nwritten since the folder was opened\r\n");
    window.findCheaters();
    EXPECT_EQ(window.line(), "Operation completed!\n");
    EXPECT_EQ(window.wait(), 0);
    EXPECT_EQ(readBytes(vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today())),
              "written since the folder was opened\r\n");
}

// Killed midway, the window's run leaves the day's earlier report and nothing else.
TEST(Form1InItsOwnProcess, ARunEndedBySigtermLeavesNoDraft) {
    TempFolder logs;
    logs.write("a.log", M + "\r\nnew\r\n");
    std::ofstream(logs / "b.log");
    fs::resize_file(logs / "b.log", std::uintmax_t{1} << 30);  // sparse, and slow to read
    for (const bool named : {false, true}) {
        TempFolder home;
        const fs::path report = vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today());
        home.write(report.filename(), "earlier\r\n");
        Form1Process window(home.path(), logs.path(), named);
        ASSERT_EQ(window.line(), "ready\n");
        window.findCheaters();
        ASSERT_TRUE(awaitFileOpenIn(window.pid(), home.path())) << "the run has its draft";
        ::kill(window.pid(), SIGTERM);
        const int status = window.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << named;
        EXPECT_EQ(readBytes(report), "earlier\r\n");
        EXPECT_EQ(home.files(), std::vector<fs::path>{report}) << (named ? "named" : "nameless");
    }
}

// Past the file-size limit the window's run names the report it could not write rather than die
// of SIGXFSZ, and the day's earlier report stays.
TEST(Form1InItsOwnProcess, AReportPastTheFileSizeLimitIsNamedNotFatal) {
    TempFolder logs;
    logs.write("a.log", M + "\r\n" + std::string(64 * 1024, 'x') + "\r\n");
    for (const bool named : {false, true}) {
        TempFolder home;
        const fs::path report = vesk::ReportFile::pathFor(home.path(), vesk::SystemClock().today());
        home.write(report.filename(), "earlier\r\n");
        Form1Process window(home.path(), logs.path(), named, 16 * 1024);
        ASSERT_EQ(window.line(), "ready\n");
        window.findCheaters();
        EXPECT_EQ(window.line(), "The report " + report.string() +
                                     " could not be written: " + std::strerror(EFBIG) + "\n");
        const int status = window.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << named << " " << status;
        EXPECT_EQ(readBytes(report), "earlier\r\n");
        EXPECT_EQ(home.files(), std::vector<fs::path>{report}) << (named ? "named" : "nameless");
    }
}

}  // namespace
