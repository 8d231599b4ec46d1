#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "follow/followed_log.h"
#include "sweep/follow.h"

namespace vesk {

// Findings told of as following goes, each with where it lies.
class Telling {
public:
    explicit Telling(FollowEvents& events) : events_(events) {}

    void tell(const FollowedLog& log, std::uint64_t offset, std::string_view line,
              std::uint64_t length) {
        const std::filesystem::path folder = log.path().parent_path();
        events_.finding({folder, log.path(), offset, line, length});
    }

private:
    FollowEvents& events_;
};

}  // namespace vesk
