#include "platform/local_time.h"

namespace vesk {

std::tm localTime(std::time_t at) {
    std::tm local{};
    localtime_s(&local, &at);
    return local;
}

}  // namespace vesk
