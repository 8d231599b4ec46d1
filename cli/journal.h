#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Lines for the journal. Where standard output or error is the journal, each line begins with its
// syslog priority ("<4>", as sd-daemon(3) describes), by which the journal files it and
// `journalctl -p` picks it; anywhere else the lines are left as they are.
namespace vesk {

enum class Priority { error = 3, warning = 4, notice = 5, info = 6 };

// Whether the stream is the journal: JOURNAL_STREAM names its device and inode.
bool isJournal(std::FILE* stream);

// "<N>" where the stream is the journal, else "".
const char* priorityPrefix(std::FILE* stream, Priority priority);

// The text with each of its lines begun with the priority's prefix for the stream.
std::string withPriority(std::FILE* stream, Priority priority, std::string_view text);

// Writes the text at once, so that a line from another thread cannot fall between its lines; a
// problem at once, though Windows' C library buffers standard error for fwrite.
void writeText(std::FILE* stream, std::string_view text);

// Both.
void writeLines(std::FILE* stream, Priority priority, std::string_view text);

// An entry of the journal's own, in place of a line on a stream that is the journal: its message,
// its priority, and the command's fields beside them (VESK_LOG...), each value its exact bytes.
using JournalFields = std::vector<std::pair<const char*, std::string>>;
struct JournalEntry {
    Priority priority = Priority::info;
    std::string message;
    JournalFields fields;
};

// Sends the entry through libsystemd's sd_journal_sendv(3), loaded the first time it is needed:
// false where it cannot be loaded, the journal's socket cannot be reached, or the build has no
// libsystemd (Windows, a cross build without it).
bool sendToJournal(const JournalEntry& entry);

}  // namespace vesk
