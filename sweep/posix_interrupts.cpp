#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "interrupts.h"

namespace vesk {
namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The draft a signal would leave behind, kept where a signal handler can reach it.
volatile std::sig_atomic_t draftArmed = 0;
int draftFolder = -1;
char draftName[NAME_MAX + 1];

extern "C" void removeDraftAndDie(int signal) {
    if (draftArmed != 0) {
        ::unlinkat(draftFolder, draftName, 0);
    }
    ::raise(signal);  // the handler was reset on entry and does not block the signal
}

}  // namespace

namespace interrupts {

void armDraft(int folderFd, const std::string& name) {
    draftArmed = 0;
    draftFolder = folderFd;
    const std::size_t length = std::min(name.size(), sizeof draftName - 1);
    std::memcpy(draftName, name.data(), length);
    draftName[length] = '\0';
    draftArmed = 1;
}

void disarmDraft() {
    draftArmed = 0;
}

Held::Held() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kInterrupts) {
        sigaddset(&held, signal);
    }
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
}

Held::~Held() {
    ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

void install() {
    static const bool installed = [] {
        for (const int signal : kInterrupts) {
            struct sigaction previous {};
            if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL) {
                continue;
            }
            struct sigaction action {};
            action.sa_handler = removeDraftAndDie;
            action.sa_flags = SA_RESETHAND | SA_NODEFER;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
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
