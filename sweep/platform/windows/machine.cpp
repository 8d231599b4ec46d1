#include <malloc.h>

#include <algorithm>
#include <thread>

#include "platform/machine.h"

namespace vesk {

unsigned usableCores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

void returnFreedMemory() {
    _heapmin();
}

}  // namespace vesk
