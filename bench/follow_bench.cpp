// follow_bench VESKPARSER-SWEEP: what veskparser-sweep --follow costs while a writer appends
// findings to 8 logs: the delay from a write to the finding on standard output and in the
// published report, the CPU it uses while nothing is written, and per MiB appended against a
// sweep's.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/corpus.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kLogs = 8;
constexpr int kFindings = 200;
constexpr auto kEvery = 20ms;

std::string readFile(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Seconds of CPU the process has used, to the nanosecond, and its context switches.
struct Usage {
    double cpu = 0;
    long switches = 0;
};

Usage usageOf(pid_t pid) {
    Usage usage;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::istringstream(readFile(proc + "/schedstat")) >> usage.cpu;  // ns on a processor
    usage.cpu /= 1e9;
    std::istringstream status(readFile(proc + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.find("ctxt_switches:") != std::string::npos) {
            usage.switches += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return usage;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<std::size_t>(share * (values.size() - 1))];
}

void append(const fs::path& log, const std::string& text) {
    std::ofstream(log, std::ios::app | std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: follow_bench VESKPARSER-SWEEP\n", stderr);
        return 2;
    }
    const fs::path program = fs::absolute(argv[1]);
    const fs::path work = fs::temp_directory_path() / ("vesk-follow-" + std::to_string(::getpid()));
    const fs::path logs = work / "logs";
    const fs::path home = work / "home";
    fs::create_directories(logs);
    fs::create_directories(home);
    for (int i = 0; i < kLogs; ++i) {
        std::ofstream(logs / ("server" + std::to_string(i) + ".log"), std::ios::binary)
            << vesk::bench::makeLog(64 * 1024, 1, "\r\n", static_cast<std::uint64_t>(i));
    }

    int out[2];
    if (::pipe(out) != 0) {
        return 1;
    }
    const pid_t follower = ::fork();
    if (follower == 0) {
        ::dup2(out[1], 1);
        ::setenv("HOME", home.c_str(), 1);
        ::execl(program.c_str(), program.c_str(), "--follow", logs.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);

    // Each finding's number, and when it was written, printed and published.
    std::mutex seen;
    std::map<int, Clock::time_point> written;
    std::map<int, Clock::time_point> printed;
    std::map<int, Clock::time_point> published;
    std::thread reader([&] {
        std::FILE* findings = ::fdopen(out[0], "r");
        char line[4096];
        while (std::fgets(line, sizeof line, findings) != nullptr) {
            const char* number = std::strstr(line, ":finding ");
            if (number != nullptr) {
                const std::lock_guard lock(seen);
                printed.emplace(std::atoi(number + 9), Clock::now());
            }
        }
    });
    std::atomic<bool> watching = true;
    const fs::path report = [&] {
        while (true) {
            for (const auto& file : fs::directory_iterator(home)) {
                if (file.path().filename().string().starts_with("VOReradivu_")) {
                    return file.path();
                }
            }
            std::this_thread::sleep_for(10ms);
        }
    }();
    std::thread poller([&] {
        for (int next = 0; watching; std::this_thread::sleep_for(2ms)) {
            const std::string text = readFile(report);
            const auto now = Clock::now();
            const std::lock_guard lock(seen);
            while (text.find("finding " + std::to_string(next) + "\r\n") != std::string::npos) {
                published.emplace(next++, now);
            }
        }
    });

    // The writer: a finding at a steady pace, each in one write.
    for (int k = 0; k < kFindings; ++k) {
        {
            const std::lock_guard lock(seen);
            written.emplace(k, Clock::now());
        }
        append(logs / ("server" + std::to_string(k % kLogs) + ".log"),
               "[0031.64] ScriptLog: ####\r\nfinding " + std::to_string(k) + "\r\n");
        std::this_thread::sleep_for(kEvery);
    }
    std::this_thread::sleep_for(1s);

    // Idle: nothing written for ten seconds.
    const Usage before = usageOf(follower);
    std::this_thread::sleep_for(10s);
    const Usage idle = usageOf(follower);

    // Bulk: 128 MiB appended in blocks of log lines, about 1% findings.
    const std::string block = vesk::bench::makeLog(256 * 1024, 1, "\r\n", 99);
    constexpr int kBlocks = 512;
    for (int i = 0; i < kBlocks; ++i) {
        append(logs / ("server" + std::to_string(i % kLogs) + ".log"), block);
    }
    const std::string last = "finding bulk end";
    append(logs / "server0.log", "ScriptLog: ####\r\n" + last + "\r\n");
    while (readFile(report).find(last) == std::string::npos) {
        std::this_thread::sleep_for(20ms);
    }
    const Usage bulk = usageOf(follower);
    const double mib = kBlocks * static_cast<double>(block.size()) / (1024 * 1024);

    ::kill(follower, SIGTERM);
    int status = 0;
    ::waitpid(follower, &status, 0);
    watching = false;
    poller.join();
    reader.join();

    // A sweep of the same folder, for its CPU per MiB.
    const std::uintmax_t swept = [&] {
        std::uintmax_t bytes = 0;
        for (const auto& file : fs::directory_iterator(logs)) {
            bytes += file.file_size();
        }
        return bytes;
    }();
    rusage before_sweep{};
    ::getrusage(RUSAGE_CHILDREN, &before_sweep);
    const std::string sweep =
        "HOME=" + home.string() + " " + program.string() + " --quiet " + logs.string();
    for (int i = 0; i < 5; ++i) {
        if (std::system(sweep.c_str()) < 0) {
            return 1;
        }
    }
    rusage after_sweep{};
    ::getrusage(RUSAGE_CHILDREN, &after_sweep);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    const double sweepCpu = (seconds(after_sweep.ru_utime) - seconds(before_sweep.ru_utime) +
                             seconds(after_sweep.ru_stime) - seconds(before_sweep.ru_stime)) /
                            5;

    std::vector<double> toStdout;
    std::vector<double> toReport;
    for (const auto& [k, at] : written) {
        if (printed.count(k) != 0) {
            toStdout.push_back(ms(printed[k] - at));
        }
        if (published.count(k) != 0) {
            toReport.push_back(ms(published[k] - at));
        }
    }
    std::printf("%d findings written to %d logs, one every %lld ms\n", kFindings, kLogs,
                static_cast<long long>(kEvery.count()));
    std::printf("  to standard output: median %.1f ms, 99th percentile %.1f ms (%zu seen)\n",
                percentile(toStdout, 0.5), percentile(toStdout, 0.99), toStdout.size());
    std::printf("  to the report:      median %.1f ms, 99th percentile %.1f ms (%zu seen)\n",
                percentile(toReport, 0.5), percentile(toReport, 0.99), toReport.size());
    std::printf("idle for 10 s: %.3f s of CPU, %ld context switches\n", idle.cpu - before.cpu,
                idle.switches - before.switches);
    std::printf(
        "%.0f MiB appended: %.1f ms of CPU per MiB; a sweep of the folder: %.1f ms per MiB\n", mib,
        (bulk.cpu - idle.cpu) * 1000 / mib,
        sweepCpu * 1000 / (static_cast<double>(swept) / (1024 * 1024)));
    std::printf("ended by SIGTERM with status %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    fs::remove_all(work);
    return 0;
}
