#pragma once

#include <csignal>
#include <string>

// The signals that end a run midway (SIGINT, SIGTERM, SIGHUP), and the one draft they would leave
// behind: the handler removes it, then the process dies as it would have.
namespace vesk::interrupts {

// Once, at a run's first draft: the handlers that take the draft away, for the signals the
// program left to their default. A file grown past its size limit then fails a write (SIGXFSZ
// ignored) rather than killing the run with its draft.
void install();

// The draft's name within the folder open as folderFd.
void armDraft(int folderFd, const std::string& name);
void disarmDraft();

// SIGINT, SIGTERM and SIGHUP.
sigset_t signalSet();

// The signals that end a run, held back for as long as this lives.
class Held {
public:
    Held();
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held();

private:
    sigset_t previous_{};
};

}  // namespace vesk::interrupts
