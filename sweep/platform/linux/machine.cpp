#include <malloc.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/linux/cpu_quota.h"
#include "platform/machine.h"

namespace vesk {

unsigned coresOfQuota(std::istream& groups, const std::filesystem::path& root) {
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
            std::ifstream limit(root.string() + group + "/cpu.max");
            std::string text;
            if (limit >> text >> period && text != "max") {
                std::istringstream(text) >> quota;
            }
        } else if (controllers.find(",cpu,") != std::string::npos) {
            std::ifstream(root.string() + "/cpu" + group + "/cpu.cfs_quota_us") >> quota;
            std::ifstream(root.string() + "/cpu" + group + "/cpu.cfs_period_us") >> period;
        }
        if (quota > 0 && period > 0) {
            return static_cast<unsigned>(std::ceil(quota / period));
        }
    }
    return 0;
}

unsigned usableCores() {
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        cores = static_cast<unsigned>(CPU_COUNT(&allowed));
    }
    std::ifstream groups("/proc/self/cgroup");
    const unsigned quota = coresOfQuota(groups, "/sys/fs/cgroup");
    return std::max(1u, quota > 0 ? std::min(cores, quota) : cores);
}

void returnFreedMemory() {
    ::malloc_trim(0);
}

}  // namespace vesk
