#include "journal.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "command_platform.h"

namespace vesk {
namespace {

bool parse(std::string_view text, std::uint64_t& number) {
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, number);
    return parsed.ec == std::errc() && parsed.ptr == end;
}

// systemd names the journal's connection in JOURNAL_STREAM, "DEVICE:INODE" in decimal. The
// variable alone proves nothing: whoever started the command may have handed it other streams.
bool namedAsJournal(std::FILE* stream) {
    const char* named = std::getenv("JOURNAL_STREAM");
    if (named == nullptr) {
        return false;
    }
    const std::string_view text(named);
    const auto colon = text.find(':');
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    return colon != std::string_view::npos && parse(text.substr(0, colon), device) &&
           parse(text.substr(colon + 1), inode) && writesToFile(stream, device, inode);
}

}  // namespace

bool isJournal(std::FILE* stream) {
    // Asked once per stream: neither the variable nor the streams change while the command runs.
    static const bool outIsJournal = namedAsJournal(stdout);
    static const bool errIsJournal = namedAsJournal(stderr);
    return stream == stdout   ? outIsJournal
           : stream == stderr ? errIsJournal
                              : namedAsJournal(stream);
}

const char* priorityPrefix(std::FILE* stream, Priority priority) {
    static constexpr const char* kPrefixes[] = {"<0>", "<1>", "<2>", "<3>",
                                                "<4>", "<5>", "<6>", "<7>"};
    return isJournal(stream) ? kPrefixes[static_cast<int>(priority)] : "";
}

std::string withPriority(std::FILE* stream, Priority priority, std::string_view text) {
    const char* prefix = priorityPrefix(stream, priority);
    std::string lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = text.substr(0, end == std::string_view::npos ? end : end + 1);
        lines.append(prefix).append(line);
        text.remove_prefix(line.size());
    }
    return lines;
}

void writeText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    if (stream == stderr) {
        std::fflush(stream);
    }
}

void writeLines(std::FILE* stream, Priority priority, std::string_view text) {
    writeText(stream, withPriority(stream, priority, text));
}

#ifndef VESK_JOURNAL_ENTRIES
bool sendToJournal(const JournalEntry&) {
    return false;
}
#endif

}  // namespace vesk
