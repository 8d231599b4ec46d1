#include "command_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

constexpr uid_t kNobody = 65534;

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// A /run of the process's own, its journal's socket bound there where given: false where the
// mount namespace cannot be made.
bool runOfItsOwn(int socket) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0) {
        return false;
    }
    ::mkdir("/run/systemd", 0755);
    ::mkdir("/run/systemd/journal", 0755);
    if (socket >= 0) {
        sockaddr_un at{};
        at.sun_family = AF_UNIX;
        std::strcpy(at.sun_path, kJournalSocket);
        ::bind(socket, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::chmod(kJournalSocket, 0666);  // for a program run as nobody too
    }
    return true;
}

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
        ::dup2(terminal >= 0 ? terminal : options.errorToOut ? 1 : err, 2);
        if (options.journal != 0 && ::geteuid() == 0) {
            runOfItsOwn(options.journalSocket);
        }
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

bool canStandInForTheJournal() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::geteuid() == 0 && runOfItsOwn(-1) ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int journalSocket() {
    return ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

// The native protocol: NAME=value and a line end, or where the value may hold one, NAME, a line
// end, its length in 64 bits little-endian, the value and a line end.
std::vector<std::map<std::string, std::string>> journalEntries(int socket,
                                                               std::chrono::milliseconds patience) {
    std::vector<std::map<std::string, std::string>> entries;
    pollfd waiting{socket, POLLIN, 0};
    std::string datagram(1 << 20, '\0');
    while (::poll(&waiting, 1, static_cast<int>(patience.count())) == 1) {
        const ssize_t size = ::recv(socket, datagram.data(), datagram.size(), 0);
        std::string_view rest(datagram.data(), size > 0 ? static_cast<std::size_t>(size) : 0);
        auto& entry = entries.emplace_back();
        while (!rest.empty()) {
            const auto end = rest.find_first_of("=\n");
            const std::string name(rest.substr(0, end));
            if (end == std::string_view::npos) {
                break;
            }
            if (rest[end] == '=') {
                const auto lineEnd = rest.find('\n', end);
                entry[name] = rest.substr(end + 1, lineEnd - end - 1);
                rest.remove_prefix(std::min(rest.size(), lineEnd + 1));
                continue;
            }
            std::uint64_t length = 0;
            for (int i = 7; i >= 0; --i) {
                length = length << 8 | static_cast<unsigned char>(rest[end + 1 + i]);
            }
            entry[name] = rest.substr(end + 9, length);
            rest.remove_prefix(std::min<std::size_t>(rest.size(), end + 9 + length + 1));
        }
    }
    return entries;
}

std::vector<nlohmann::json> jsonLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        objects.push_back(nlohmann::json::parse(line));
    }
    return objects;
}

std::string findingBytes(const nlohmann::json& finding) {
    if (!finding.contains("line_base64")) {
        return finding["line"];
    }
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : finding["line_base64"].get<std::string>()) {
        if (c == '=') {
            break;
        }
        bits = bits << 6 | static_cast<unsigned>(digits.find(c));
        if ((count += 6) >= 8) {
            bytes += static_cast<char>(bits >> (count -= 8) & 0xFF);
        }
    }
    return bytes;
}
