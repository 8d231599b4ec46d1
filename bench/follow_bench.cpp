// follow_bench VESKPARSER-SWEEP: what veskparser-sweep --follow costs while writers append to the
// logs it follows: the delay from a write to the finding on standard output and in the published
// report, at a steady pace and from a writer that never pauses; the CPU it uses while nothing is
// written, per MiB appended against a sweep's, and per append with 8 logs and with 5,000; its
// peak resident size once 100 MB of findings have been written; and what each of 50,000 logs
// followed costs in memory beyond a run over them.
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

std::string readFile(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void append(const fs::path& log, const std::string& text) {
    std::ofstream(log, std::ios::app | std::ios::binary) << text;
}

std::string finding(int k) {
    return "[0031.64] ScriptLog: ####\r\nfinding " + std::to_string(k) + "\r\n";
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<std::size_t>(share * (values.size() - 1))];
}

// A follower of one folder, its findings read as it prints them and its report watched, each
// numbered finding's delays kept.
class Follower {
public:
    Follower(const fs::path& program, const fs::path& logs, const fs::path& home) {
        int out[2];
        if (::pipe(out) != 0) {
            std::exit(1);
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::setenv("HOME", home.c_str(), 1);
            ::execl(program.c_str(), program.c_str(), "--follow", logs.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        reader_ = std::thread([this, fd = out[0]] {
            std::FILE* findings = ::fdopen(fd, "r");
            char line[4096];
            while (std::fgets(line, sizeof line, findings) != nullptr) {
                if (const char* number = std::strstr(line, ":finding ")) {
                    const std::lock_guard lock(mutex_);
                    printed_.emplace(std::atoi(number + 9), Clock::now());
                }
            }
            std::fclose(findings);
        });
        for (report_.clear(); report_.empty(); std::this_thread::sleep_for(10ms)) {
            for (const auto& file : fs::directory_iterator(home)) {
                if (file.path().filename().string().starts_with("VOReradivu_")) {
                    report_ = file.path();
                }
            }
        }
        poller_ = std::thread([this] {
            for (int next = 0; watching_; std::this_thread::sleep_for(2ms)) {
                const std::string text = readFile(report_);
                const auto now = Clock::now();
                const std::lock_guard lock(mutex_);
                // Findings are numbered in the order written, though not from 0 in every phase.
                for (auto at = written_.lower_bound(next); at != written_.end(); ++at) {
                    if (text.find("finding " + std::to_string(at->first) + "\r\n") ==
                        std::string::npos) {
                        break;
                    }
                    published_.emplace(at->first, now);
                    next = at->first + 1;
                }
            }
        });
    }

    ~Follower() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        watching_ = false;
        poller_.join();
        reader_.join();
    }

    void wrote(int k) {
        const std::lock_guard lock(mutex_);
        written_.emplace(k, Clock::now());
    }
    bool published(int k) {
        const std::lock_guard lock(mutex_);
        return published_.count(k) != 0;
    }
    // Seconds of CPU used so far, and context switches.
    std::pair<double, long> usage() const {
        double cpu = 0;
        std::istringstream(readFile("/proc/" + std::to_string(pid_) + "/schedstat")) >> cpu;
        long switches = 0;
        std::istringstream status(readFile("/proc/" + std::to_string(pid_) + "/status"));
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                switches += std::stol(line.substr(line.find(':') + 1));
            }
        }
        return {cpu / 1e9, switches};
    }
    long peakKiB() const { return statusKiB("VmHWM:"); }
    long residentKiB() const { return statusKiB("VmRSS:"); }
    void printDelays(const char* what) {
        const std::lock_guard lock(mutex_);
        std::vector<double> toStdout;
        std::vector<double> toReport;
        for (const auto& [k, at] : written_) {
            if (printed_.count(k) != 0) {
                toStdout.push_back(ms(printed_[k] - at));
            }
            if (published_.count(k) != 0) {
                toReport.push_back(ms(published_[k] - at));
            }
        }
        std::printf("%s\n", what);
        std::printf("  to standard output: median %.1f ms, 99th percentile %.1f ms (%zu seen)\n",
                    percentile(toStdout, 0.5), percentile(toStdout, 0.99), toStdout.size());
        std::printf("  to the report:      median %.1f ms, 99th percentile %.1f ms (%zu seen)\n",
                    percentile(toReport, 0.5), percentile(toReport, 0.99), toReport.size());
        written_.clear();
    }

private:
    long statusKiB(const std::string& field) const {
        std::istringstream status(readFile("/proc/" + std::to_string(pid_) + "/status"));
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with(field)) {
                return std::stol(line.substr(field.size()));
            }
        }
        return 0;
    }

    pid_t pid_ = -1;
    fs::path report_;
    std::mutex mutex_;
    std::map<int, Clock::time_point> written_;
    std::map<int, Clock::time_point> printed_;
    std::map<int, Clock::time_point> published_;
    std::atomic<bool> watching_ = true;
    std::thread reader_;
    std::thread poller_;
};

fs::path makeFolder(const fs::path& work, const char* name, int logs, std::size_t size) {
    const fs::path folder = work / name;
    fs::create_directories(folder);
    for (int i = 0; i < logs; ++i) {
        std::ofstream(folder / ("server" + std::to_string(i) + ".log"), std::ios::binary)
            << vesk::bench::makeLog(size, 1, "\r\n", static_cast<std::uint64_t>(i));
    }
    return folder;
}

// A writer that appends a numbered finding to the logs in turn, one every pause.
int write(Follower& follower, const fs::path& folder, int logs, int first, int count,
          Clock::duration pause) {
    for (int k = first; k < first + count; ++k) {
        follower.wrote(k);
        append(folder / ("server" + std::to_string(k % logs) + ".log"), finding(k));
        std::this_thread::sleep_for(pause);
    }
    return first + count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: follow_bench VESKPARSER-SWEEP\n", stderr);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it is measured
    const fs::path program = fs::absolute(argv[1]);
    const fs::path work = fs::temp_directory_path() / ("vesk-follow-" + std::to_string(::getpid()));
    const fs::path home = work / "home";
    fs::create_directories(home);
    constexpr int kLogs = 8;
    const fs::path logs = makeFolder(work, "logs", kLogs, 64 * 1024);
    {
        Follower follower(program, logs, home);
        std::this_thread::sleep_for(1s);
        const auto steady = follower.usage();
        int next = write(follower, logs, kLogs, 0, 200, 20ms);
        const auto perAppend = (follower.usage().first - steady.first) / 200;
        std::this_thread::sleep_for(1s);
        follower.printDelays("200 findings written to 8 logs, one every 20 ms");
        next = write(follower, logs, kLogs, next, 2000, 1ms);
        std::this_thread::sleep_for(1s);
        follower.printDelays("2000 findings from a writer that appends one every millisecond");

        const auto before = follower.usage();
        std::this_thread::sleep_for(10s);
        const auto idle = follower.usage();
        std::printf("idle for 10 s: %.3f s of CPU, %ld context switches\n",
                    idle.first - before.first, idle.second - before.second);
        std::printf("CPU per append with 8 logs: %.3f ms\n", perAppend * 1000);

        // Bulk: 128 MiB appended in blocks of log lines, about 1% findings.
        const std::string block = vesk::bench::makeLog(256 * 1024, 1, "\r\n", 99);
        constexpr int kBlocks = 512;
        for (int i = 0; i < kBlocks; ++i) {
            append(logs / ("server" + std::to_string(i % kLogs) + ".log"), block);
        }
        follower.wrote(next);
        append(logs / "server0.log", finding(next));
        while (!follower.published(next)) {
            std::this_thread::sleep_for(20ms);
        }
        const double mib = kBlocks * static_cast<double>(block.size()) / (1024 * 1024);
        std::printf("%.0f MiB appended: %.1f ms of CPU per MiB\n", mib,
                    (follower.usage().first - idle.first) * 1000 / mib);
    }
    // A sweep of the same folder, for its CPU per MiB.
    std::uintmax_t swept = 0;
    for (const auto& file : fs::directory_iterator(logs)) {
        swept += file.file_size();
    }
    rusage beforeSweep{};
    ::getrusage(RUSAGE_CHILDREN, &beforeSweep);
    const std::string sweep =
        "HOME=" + home.string() + " " + program.string() + " --quiet " + logs.string();
    for (int i = 0; i < 5; ++i) {
        if (std::system(sweep.c_str()) < 0) {
            return 1;
        }
    }
    rusage afterSweep{};
    ::getrusage(RUSAGE_CHILDREN, &afterSweep);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    const double sweepCpu = (seconds(afterSweep.ru_utime) - seconds(beforeSweep.ru_utime) +
                             seconds(afterSweep.ru_stime) - seconds(beforeSweep.ru_stime)) /
                            5;
    std::printf("a sweep of the folder: %.1f ms of CPU per MiB\n",
                sweepCpu * 1000 / (static_cast<double>(swept) / (1024 * 1024)));

    // Many logs: each append costs what it costs with few.
    constexpr int kMany = 5000;
    const fs::path many = makeFolder(work, "many", kMany, 512);
    {
        Follower follower(program, many, home);
        std::this_thread::sleep_for(1s);
        const auto before = follower.usage();
        write(follower, many, kMany, 100000, 200, 20ms);
        std::printf("CPU per append with %d logs: %.3f ms\n", kMany,
                    (follower.usage().first - before.first) * 1000 / 200);
    }
    fs::remove_all(many);

    // Memory: 100 MB of findings, each a line of about a hundred bytes.
    const fs::path large = makeFolder(work, "findings", kLogs, 0);
    {
        Follower follower(program, large, home);
        const std::string line = "[0031.64] ScriptLog: ####\r\nPlayer " + std::string(80, 'p');
        std::string block;
        for (int i = 0; block.size() < 1024 * 1024; ++i) {
            block += line + std::to_string(i) + "\r\n";
        }
        for (int i = 0; i < 130; ++i) {  // the findings are about 77% of the bytes
            append(large / ("server" + std::to_string(i % kLogs) + ".log"), block);
            std::this_thread::sleep_for(5ms);
        }
        follower.wrote(200000);
        append(large / "server0.log", finding(200000));
        while (!follower.published(200000)) {
            std::this_thread::sleep_for(50ms);
        }
        std::uintmax_t report = 0;
        for (const auto& file : fs::directory_iterator(home)) {
            if (file.is_regular_file()) {  // beside the report, following's state folder
                report = std::max(report, file.file_size());
            }
        }
        std::printf("%.0f MB of findings: peak resident size %ld MiB\n", report / 1e6,
                    follower.peakKiB() / 1024);
    }
    fs::remove_all(large);

    // Memory per log followed, beyond a run's peak over the same logs: resident once a finding
    // appended after the first publication is in the report.
    constexpr int kMost = 50000;
    const fs::path most = makeFolder(work, "most", kMost, 64);
    // The run's peak as GNU time takes it: a child's peak counts what the process it was forked
    // from held until it ran another program, here this bench's own memory.
    const fs::path peak = work / "peak";
    const pid_t run = ::fork();
    if (run == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::execl("/usr/bin/time", "time", "-f", "%M", "-o", peak.c_str(), program.c_str(), "--quiet",
                most.c_str(), nullptr);
        ::_exit(127);
    }
    ::waitpid(run, nullptr, 0);
    long ranKiB = 0;
    std::ifstream(peak) >> ranKiB;
    {
        Follower follower(program, most, home);
        follower.wrote(300000);
        append(most / "server0.log", finding(300000));
        while (!follower.published(300000)) {
            std::this_thread::sleep_for(50ms);
        }
        std::printf(
            "%d logs: a run's peak %ld KiB, following %ld KiB resident: %ld bytes per log\n", kMost,
            ranKiB, follower.residentKiB(), (follower.residentKiB() - ranKiB) * 1024 / kMost);
    }
    fs::remove_all(work);
    return 0;
}
