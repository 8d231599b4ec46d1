#include <algorithm>
#include <thread>

#include "platform/machine.h"

namespace vesk {

unsigned usableCores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<std::string> loadAverageLine() {
    return std::nullopt;
}

}  // namespace vesk
