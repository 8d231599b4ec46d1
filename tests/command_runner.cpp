#include "command_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace {

constexpr uid_t kNobody = 65534;

void drain(int outFd, int errFd, CommandResult& result) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (::poll(fds, 2, 30000) <= 0) {
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {  // end of file, or EIO once a terminal's other side is gone
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

CommandResult runCommand(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments, const CommandOptions& options) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0) {
        throw std::runtime_error("pipe");
    }
    if (options.stderrOnTerminal) {
        if (::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty");
        }
    } else if (::pipe(err) != 0) {
        throw std::runtime_error("pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        if (!options.outFile.empty()) {
            ::dup2(::open(options.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 1);
        }
        ::dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]}) {
            ::close(fd);
        }
        if (!options.home.empty()) {
            ::setenv("HOME", options.home.c_str(), 1);
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
    ::close(out[1]);
    ::close(err[1]);
    if (options.whileRunning) {
        options.whileRunning(child);
    }
    CommandResult result;
    drain(out[0], err[0], result);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}
