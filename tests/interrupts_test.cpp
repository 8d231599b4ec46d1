#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "platform/posix/interrupts.h"
#include "temp_folder.h"

namespace {

using namespace std::chrono_literals;

// A signal sent while the sweeping thread holds the signals back reaches another thread (one
// that reads ahead, or a toolkit's). Before the draft is armed it must still not end the process
// there: it waits for the sweeping thread, which takes the draft away and then dies of it.
TEST(InterruptsDeathTest, ASignalTakenByAnotherThreadWaitsForTheDraftToBeArmed) {
    TempFolder folder;
    EXPECT_EXIT(
        {
            vesk::interrupts::install();
            {
                const vesk::interrupts::Held held;
                std::ofstream(folder / ".draft") << "findings";
                // The other thread starts holding the signals back too, and lets them through
                // only while it waits for one: it is the only one to take it, and says so.
                std::atomic<bool> taken = false;
                std::thread([&taken] {
                    sigset_t none;
                    sigemptyset(&none);
                    ::sigsuspend(&none);
                    taken = true;
                    for (;;) {
                        ::pause();
                    }
                }).detach();
                ::kill(::getpid(), SIGTERM);
                const auto deadline = std::chrono::steady_clock::now() + 10s;
                while (!taken && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::yield();
                }
                vesk::interrupts::armDraft(::open(folder.path().c_str(), O_RDONLY), ".draft");
            }
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(folder.files().empty());
}

}  // namespace
