#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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
            std::thread other([] { std::this_thread::sleep_for(10s); });
            other.detach();
            {
                const vesk::interrupts::Held held;
                std::ofstream(folder / ".draft") << "findings";
                ::kill(::getpid(), SIGTERM);  // the other thread is the only one to take it
                std::this_thread::sleep_for(300ms);
                vesk::interrupts::armDraft(::open(folder.path().c_str(), O_RDONLY), ".draft");
            }
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(folder.files().empty());
}

}  // namespace
