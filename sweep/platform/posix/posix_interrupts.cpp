#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

#include "platform/posix/interrupts.h"

namespace vesk {
namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The draft a signal would leave behind, kept where a signal handler can reach it.
volatile std::sig_atomic_t draftArmed = 0;
int draftFolder = -1;
char draftName[NAME_MAX + 1];

// The thread that makes and moves the draft. It holds the signals back meanwhile, but a signal
// sent to the process then goes to any other thread (one that reads ahead, or a toolkit's), and
// would end the process with the draft not yet armed or half moved: such a signal is sent on to
// it, to be taken when it lets the signals through.
std::atomic<pthread_t> sweeper;
std::atomic<bool> sweeperKnown{false};

void handle(int signal);

extern "C" void removeDraftAndDie(int signal) {
    if (sweeperKnown.load() && pthread_equal(::pthread_self(), sweeper.load()) == 0) {
        handle(signal);  // reset on entry
        ::pthread_kill(sweeper.load(), signal);
        return;
    }
    if (draftArmed != 0) {
        ::unlinkat(draftFolder, draftName, 0);
    }
    ::raise(signal);  // the handler was reset on entry and does not block the signal
}

void handle(int signal) {
    struct sigaction action {};
    action.sa_handler = removeDraftAndDie;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

int holding = 0;  // Held sections open on the sweeping thread

void rememberSweeper() {
    sweeper.store(::pthread_self());
    sweeperKnown.store(true);
}

// Once there is no draft to take away, a signal may end the process from any thread.
void forgetSweeperIfDone() {
    if (holding == 0 && draftArmed == 0) {
        sweeperKnown.store(false);
    }
}

}  // namespace

namespace interrupts {

void armDraft(int folderFd, const std::string& name) {
    rememberSweeper();
    draftArmed = 0;
    draftFolder = folderFd;
    const std::size_t length = std::min(name.size(), sizeof draftName - 1);
    std::memcpy(draftName, name.data(), length);
    draftName[length] = '\0';
    draftArmed = 1;
}

void disarmDraft() {
    draftArmed = 0;
    forgetSweeperIfDone();
}

sigset_t signalSet() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : kInterrupts) {
        sigaddset(&signals, signal);
    }
    return signals;
}

Held::Held() {
    const sigset_t held = signalSet();
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
    ++holding;
    rememberSweeper();
}

Held::~Held() {
    --holding;
    forgetSweeperIfDone();
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void install() {
    static const bool installed = [] {
        for (const int signal : kInterrupts) {
            struct sigaction previous {};
            if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL) {
                continue;
            }
            handle(signal);
        }
        struct sigaction previous {};
        if (::sigaction(SIGXFSZ, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL) {
            std::signal(SIGXFSZ, SIG_IGN);
        }
        return true;
    }();
    static_cast<void>(installed);
}

}  // namespace interrupts

}  // namespace vesk
