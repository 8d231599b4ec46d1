#include <sched.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>

#include "platform/machine.h"

namespace vesk {
namespace {

// The CPU time the process's control group may have, in cores, or 0 where it has no quota: a job
// or container held to one and a half cores gets two threads' worth, rounded up. Both the
// unified hierarchy (cpu.max) and the older one (cpu.cfs_quota_us) are read.
unsigned coresOfQuota() {
    std::ifstream groups("/proc/self/cgroup");
    for (std::string line; std::getline(groups, line);) {
        const auto first = line.find(':');
        const auto second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        std::string controllers = ",";
        controllers.append(line, first + 1, second - first - 1).push_back(',');
        const std::string group = line.substr(second + 1);
        double quota = -1;
        double period = 0;
        if (controllers == ",,") {
            std::ifstream limit("/sys/fs/cgroup" + group + "/cpu.max");
            std::string text;
            if (limit >> text >> period && text != "max") {
                quota = std::stod(text);
            }
        } else if (controllers.find(",cpu,") != std::string::npos) {
            std::ifstream("/sys/fs/cgroup/cpu" + group + "/cpu.cfs_quota_us") >> quota;
            std::ifstream("/sys/fs/cgroup/cpu" + group + "/cpu.cfs_period_us") >> period;
        }
        if (quota > 0 && period > 0) {
            return static_cast<unsigned>(std::ceil(quota / period));
        }
    }
    return 0;
}

}  // namespace

unsigned usableCores() {
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        cores = static_cast<unsigned>(CPU_COUNT(&allowed));
    }
    const unsigned quota = coresOfQuota();
    return std::max(1u, quota > 0 ? std::min(cores, quota) : cores);
}

}  // namespace vesk
