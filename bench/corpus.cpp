#include "corpus.h"

#include <array>

#include "sweep/marker.h"

namespace vesk::bench {
namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state_;
};

const std::array<const char*, 8> kEvents = {
    "ScriptLog: Player joined the game from 10.0.0.",
    "ScriptLog: Kill: Player killed Player with Shock Rifle, frag count ",
    "Log: Bringing Level CTF-Face.MyLevel up for play, tick rate ",
    "ScriptLog: Chat: gg wp everyone, see you next map ",
    "Log: Collecting garbage, objects purged: ",
    "ScriptLog: Team score Red 3 Blue ",
    "Log: Net: channel closed for connection ",
    "ScriptLog: Player left the game after seconds: ",
};

}  // namespace

std::string makeLog(std::size_t bytes, int findingsPer100, const std::string& lineEnd,
                    std::uint64_t seed) {
    Random random(seed);
    std::string log;
    log.reserve(bytes + 256);
    while (log.size() < bytes) {
        if (static_cast<int>(random.below(100)) < findingsPer100) {
            log += vesk::kMarker;
            log += " VESK check";
            log += lineEnd;
        }
        log += "[2026-12-06 19:";
        log += std::to_string(10 + random.below(50));
        log += "] ";
        log += kEvents[random.below(kEvents.size())];
        log += std::to_string(random.below(1000));
        log += lineEnd;
    }
    return log;
}

}  // namespace vesk::bench
