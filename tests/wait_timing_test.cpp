#include "platform/wait_timing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include "sweep_fixture.h"

namespace {

using namespace std::chrono_literals;
using Wake = vesk::ChangeWatcher::Wake;

// At each step the clock moves on, a change may come, and the wait ends as told (by a look, at
// everything) or goes on.
struct Step {
    std::chrono::microseconds after;
    bool change;
    std::optional<Wake> ends;
    std::optional<std::chrono::milliseconds> left;  // what is left of the wait then; none: for ever
    bool look = false;
};

struct Case {
    const char* what;
    std::optional<std::chrono::milliseconds> deadline;
    std::optional<std::chrono::milliseconds> lookEvery;
    std::vector<Step> steps;
};

TEST(WaitTimingTest, EndsAtTheDeadlineTheLookOrOnceAChangeIsGathered) {
    constexpr auto kGather = 5ms;
    const std::vector<Case> cases = {
        {"nothing to wait for but a wake", {}, {}, {{0us, false, {}, {}}, {1h, false, {}, {}}}},
        {"the deadline, what is left rounded up",
         10ms,
         {},
         {{0us, false, {}, 10ms},
          {7500us, false, {}, 3ms},
          {2499us, false, {}, 1ms},
          {1us, false, Wake::timeout, 0ms}}},
        {"a change gathered past the deadline",
         2ms,
         {},
         {{1ms, true, {}, 5ms},
          {1ms, false, {}, 4ms},
          {3ms, true, {}, 1ms},
          {1ms, false, Wake::changed, 0ms}}},
        {"a change gathered, for ever otherwise",
         {},
         {},
         {{0us, true, {}, kGather}, {4999us, false, {}, 1ms}, {1us, false, Wake::changed, 0ms}}},
        {"a look before the deadline, then the next",
         {1500ms},
         1s,
         {{999ms, false, {}, 1ms},
          {1ms, false, Wake::changed, 500ms, true},
          {500ms, false, Wake::timeout, 0ms}}},
        {"a look while changes gather",
         {},
         1s,
         {{998ms, true, {}, 2ms}, {2ms, false, Wake::changed, kGather - 2ms, true}}},
    };
    for (const Case& c : cases) {
        FixedClock clock({2001, 7, 10});
        std::optional<vesk::LookTimer> look;
        if (c.lookEvery) {
            look.emplace(*c.lookEvery, clock.time);
        }
        const auto deadline = c.deadline ? std::optional(clock.time + *c.deadline) : std::nullopt;
        vesk::WaitTiming timing(clock, deadline, kGather, look ? &*look : nullptr);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            clock.time += step.after;
            if (step.change) {
                timing.changed();
            }
            vesk::Changes changes;
            EXPECT_EQ(timing.ended(changes), step.ends) << c.what << ", step " << i;
            EXPECT_EQ(changes.everything, step.look) << c.what << ", step " << i;
            EXPECT_EQ(timing.left(), step.left) << c.what << ", step " << i;
        }
    }
}

}  // namespace
