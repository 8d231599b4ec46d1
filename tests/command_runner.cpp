#include "command_runner.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

constexpr uid_t kNobody = 65534;

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ::lseek(fd, 0, SEEK_SET);  // fails harmlessly on a terminal
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;  // a terminal ends in EIO once its other side is gone
}

}  // namespace

CommandResult runCommand(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments, const CommandOptions& options) {
    // What the program writes is kept in unnamed files, or on a terminal for standard error.
    std::FILE* outFile = std::tmpfile();
    std::FILE* errFile = std::tmpfile();
    const int out = ::fileno(outFile);
    int err = ::fileno(errFile);
    int terminal = -1;
    if (options.stderrOnTerminal && ::openpty(&err, &terminal, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(options.outDescriptor >= 0 ? options.outDescriptor
               : options.outFile.empty()  ? out
                                          : ::open(options.outFile.c_str(), O_WRONLY),
               1);
        ::dup2(terminal >= 0 ? terminal : err, 2);
        if (!options.home.empty()) {
            ::setenv("HOME", options.home.c_str(), 1);
        }
        for (const auto& [name, value] : options.environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        struct stat journal {};
        if (options.journal != 0 && ::fstat(options.journal, &journal) == 0) {
            const auto named =
                std::to_string(journal.st_dev) + ":" + std::to_string(journal.st_ino);
            ::setenv("JOURNAL_STREAM", named.c_str(), 1);
        }
        // Nothing of this process's own reaches the program: it starts with its three streams.
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != options.outDescriptor) {
                ::close(fd);
            }
        }
        if (options.openFileLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.openFileLimit),
                               static_cast<rlim_t>(options.openFileLimit)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        if (options.closedStandardStreams) {
            for (int fd = 0; fd <= 2; ++fd) {
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);  // gone once the program starts
            }
        }
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                               static_cast<rlim_t>(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0) {
            ::_exit(126);
        }
        if (options.unprivileged && ::geteuid() == 0 &&
            (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(126);
        }
        std::vector<char*> argv;
#ifdef VESK_EMULATOR
        for (const char* emulator : {VESK_EMULATOR, "-L", VESK_EMULATOR_ROOT}) {
            argv.push_back(const_cast<char*>(emulator));
        }
#endif
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (terminal >= 0) {
        ::close(terminal);
    }
    if (options.whileRunning) {
        options.whileRunning(child);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    CommandResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = readAll(out);
    result.err = readAll(err);
    if (terminal >= 0) {
        ::close(err);
    }
    std::fclose(outFile);
    std::fclose(errFile);
    return result;
}

std::string withoutPriorities(const std::string& text) {
    std::string plain;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        plain += line.substr(line.starts_with('<') ? 3 : 0) + "\n";
    }
    return plain;
}

bool awaitFileOpenIn(pid_t process, const std::filesystem::path& folder) {
    const std::string inFolder = folder.string() + "/";
    const std::filesystem::path descriptors = "/proc/" + std::to_string(process) + "/fd";
    for (int i = 0; i < 1000; ++i) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(descriptors, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code gone;
            if (std::filesystem::read_symlink(it->path(), gone).string().starts_with(inFolder)) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}
