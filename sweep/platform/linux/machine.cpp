#include <sched.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "platform/machine.h"

namespace vesk {

unsigned usableCores() {
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        return static_cast<unsigned>(CPU_COUNT(&allowed));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<std::string> loadAverageLine() {
    std::ifstream loadavg("/proc/loadavg");
    std::string line;
    if (std::getline(loadavg, line)) {
        return line;
    }
    return std::nullopt;
}

}  // namespace vesk
