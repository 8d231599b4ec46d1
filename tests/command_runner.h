#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

// Runs a program to its end and keeps what it printed.
struct CommandResult {
    int status = -1;  // exit status, or -1 when it did not exit normally
    int signal = 0;   // the signal it died of, if any
    std::string out;
    std::string err;
};

// Each default is braced so that a test may name only the options it sets: {.home = ...}.
struct CommandOptions {
    std::filesystem::path home{};               // HOME for the program
    std::filesystem::path workingFolder{};      // where it starts, when set
    std::filesystem::path outFile{};            // standard output goes there instead, when set
    int outDescriptor = -1;                     // or there, when set: a pipe's end
    bool unprivileged = false;                  // run under the "nobody" user id when root
    bool stderrOnTerminal = false;              // standard error is a pseudo-terminal
    std::function<void(pid_t)> whileRunning{};  // called once the program has started
    long fileSizeLimit = -1;                    // in bytes, as ulimit -f sets it, when set
    long openFileLimit = -1;                    // descriptors, as ulimit -n sets it, when set
    bool closedStandardStreams = false;         // started with none of them, as some supervisors do
    std::vector<std::pair<std::string, std::string>> environment{};  // set for the program
    int journal = 0;  // JOURNAL_STREAM names this descriptor's file (1 or 2), as systemd would
    // With a journal, the program runs (as root) in a mount namespace of its own, whose
    // /run/systemd/journal holds this socket, bound there, or none (-1): the system's journal
    // never sees its entries.
    int journalSocket = -1;
    bool errorToOut =
        false;  // standard error the same file as standard output, as systemd hands both
};

CommandResult runCommand(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments, const CommandOptions& options);

// Lines for the journal as any other file takes them: without the priority ("<4>") each begins
// with.
std::string withoutPriorities(const std::string& text);

// Waits, up to two seconds, until the process holds a file open in the folder: a run's draft,
// named or not.
bool awaitFileOpenIn(pid_t process, const std::filesystem::path& folder);

// Whether this process may give a child a mount namespace with a /run of its own (root, where
// namespaces are allowed): where not, no journal can be stood in for.
bool canStandInForTheJournal();

// A datagram socket for a stand-in journal (journalSocket above), and the entries sent to it,
// each field's value as its bytes, as long as they keep coming within the patience given.
int journalSocket();
std::vector<std::map<std::string, std::string>> journalEntries(int socket,
                                                               std::chrono::milliseconds patience);

// Each line of the text parsed as a JSON object.
std::vector<nlohmann::json> jsonLines(const std::string& text);
// A finding's exact bytes: from line_base64 where it is given, else the line.
std::string findingBytes(const nlohmann::json& finding);
