#include "command_output.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>
#include <vector>

#include "command_common.h"
#include "command_platform.h"
#include "sweep/printable.h"

namespace vesk {
namespace {

using Json = nlohmann::ordered_json;  // "type" first, the rest in the order written

// Length of the valid UTF-8 sequence at the start of s, or 0.
std::size_t utf8Sequence(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned lead = byte(0);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC2 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || s.size() < length) {
        return 0;
    }
    unsigned value = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i) & 0x3F);
    }
    constexpr unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    return value >= kLeast[length] && value <= 0x10FFFF && !surrogate ? length : 0;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = (group << 8) | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            out += j <= n ? kDigits[(group >> (18 - 6 * j)) & 0x3F] : '=';
        }
    }
    return out;
}

// The bytes as the field's text, each byte that is not UTF-8 as U+FFFD; where there was one,
// name_base64 carries the bytes as they are.
void putText(Json& object, const std::string& name, std::string_view bytes) {
    std::string text;
    bool exact = true;
    for (std::string_view rest = bytes; !rest.empty();) {
        std::size_t length = utf8Sequence(rest);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            length = 1;
            exact = false;
        } else {
            text.append(rest.substr(0, length));
        }
        rest.remove_prefix(length);
    }
    object[name] = std::move(text);
    if (!exact) {
        object[name + "_base64"] = base64(bytes);
    }
}

// The moment in RFC 3339, to the millisecond, with the local offset from UTC:
// 2026-12-08T21:46:57.123+01:00.
std::string localTimeText(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                            moment - std::chrono::system_clock::from_time_t(seconds))
                            .count();
    long offset = 0;
    const std::tm local = localTimeOf(seconds, offset);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d%c%02ld:%02ld",
                  static_cast<int>(millis < 0 ? 0 : millis), offset < 0 ? '-' : '+',
                  std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

Json event(const char* type) {
    return Json{{"type", type}, {"time", localTimeText(std::chrono::system_clock::now())}};
}

Json problemObject(const char* type, const char* pathName, const std::filesystem::path& path,
                   const std::string& reason) {
    Json object = event(type);
    putText(object, pathName, pathBytes(path));
    object["reason"] = reason;
    return object;
}

// One object to a line: in ASCII alone for a terminal, which takes some characters (U+009B) as
// commands.
std::string dump(const Json& object, bool ascii) {
    return object.dump(-1, ' ', ascii, Json::error_handler_t::replace);
}

std::string complaintText(const std::filesystem::path& path, const std::string& reason) {
    return std::string(kProgram) + ": " + printable(path) + ": " + reason;
}

// The text for the stream: where it is the journal, the entry in its place with the fields,
// or where that cannot be sent, each of its lines begun with the priority.
OutputLine lineFor(std::FILE* stream, Priority priority, std::string text, JournalFields fields,
                   bool finding = false) {
    OutputLine line{withPriority(stream, priority, text + "\n"), std::nullopt, finding};
    if (isJournal(stream)) {
        line.entry = JournalEntry{priority, std::move(text), std::move(fields)};
    }
    return line;
}

std::string counted(std::uint64_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

}  // namespace

CommandOutput::CommandOutput(Format format, bool quiet, LineSink& out, LineSink& err)
    : format_(format), quiet_(quiet), terminal_(isTerminal(stdout)), out_(out), err_(err) {}

// Text output shows the line as grep -H does, escaped on a terminal, with the length where it was
// cut; JSON gives where the line lies and its text, and its bytes where they are not UTF-8.
void CommandOutput::finding(const Finding& finding) {
    if (quiet_) {
        return;
    }
    const bool cut = finding.length > finding.line.size();
    if (format_ == Format::json) {
        Json object = event("finding");
        putText(object, "folder", pathBytes(finding.folder));
        putText(object, "log", pathBytes(finding.log));
        object["offset"] = finding.offset;
        putText(object, "line", finding.line);
        object["length"] = finding.length;
        object["cut"] = cut;
        out_.put({withPriority(stdout, Priority::notice, dump(object, terminal_) + "\n"),
                  std::nullopt, true});
        return;
    }
    std::string text = printable(finding.log) + ":" +
                       (terminal_ ? printableText(finding.line) : std::string(finding.line));
    if (cut) {
        text += " [... " + std::to_string(finding.length) + " bytes in all]";
    }
    out_.put(lineFor(stdout, Priority::notice, std::move(text),
                     {{"VESK_FOLDER", pathBytes(finding.folder)},
                      {"VESK_LOG", pathBytes(finding.log)},
                      {"VESK_OFFSET", std::to_string(finding.offset)},
                      {"VESK_FINDING", std::string(finding.line)}},
                     true));
}

void CommandOutput::summary(const SweepOutcome& outcome) {
    if (quiet_) {
        return;
    }
    const std::uint64_t unreadable = outcome.unreadable.size();
    if (format_ == Format::json) {
        Json object = event("summary");
        object["findings"] = outcome.findings;
        object["logs"] = outcome.logsRead;
        object["unreadable"] = unreadable;
        putText(object, "report", pathBytes(outcome.report));
        out_.put({withPriority(stdout, Priority::info, dump(object, terminal_) + "\n")});
        return;
    }
    std::string counts = counted(outcome.findings, "finding") + " from " +
                         counted(static_cast<std::uint64_t>(outcome.logsRead), "log");
    if (unreadable > 0) {
        counts += "; " + counted(unreadable, "log") + " could not be read";
    }
    out_.put(lineFor(stdout, Priority::info,
                     "Operation completed!\n" + counts + "\n" + printable(outcome.report),
                     {{"VESK_REPORT", pathBytes(outcome.report)}}));
}

void CommandOutput::unreadable(const UnreadableLog& what) {
    problem(Priority::warning, complaintText(what.path, what.reason),
            {{"VESK_LOG", pathBytes(what.path)}},
            dump(problemObject("unreadable", "path", what.path, what.reason), terminal_));
}

void CommandOutput::folderGone(const UnreadableLog& what) {
    problem(Priority::warning, complaintText(what.path, what.reason),
            {{"VESK_FOLDER", pathBytes(what.path)}},
            dump(problemObject("folder_gone", "folder", what.path, what.reason), terminal_));
}

void CommandOutput::reportFailed(const ReportFailure& failure) {
    std::string text = complaintText(failure.path, failure.reason);
    JournalFields fields = {{"VESK_REPORT", pathBytes(failure.path)}};
    Json object = problemObject("report_failed", "report", failure.path, failure.reason);
    if (!failure.keptIn.empty()) {
        text.append("\n").append(kProgram).append(": this run's findings are in ");
        text += printable(failure.keptIn);
        fields.emplace_back("VESK_KEPT_IN", pathBytes(failure.keptIn));
        putText(object, "kept_in", pathBytes(failure.keptIn));
    }
    problem(Priority::error, std::move(text), std::move(fields), dump(object, terminal_));
}

void CommandOutput::placeNotKept(const std::filesystem::path& folder, const std::string& reason) {
    placeProblem("place_not_kept", "state_dir", folder, reason,
                 "following without keeping its place");
}

void CommandOutput::placeNotRead(const std::filesystem::path& file, const std::string& reason) {
    placeProblem("place_not_read", "state_file", file, reason,
                 "following starts afresh, telling nothing from before");
}

void CommandOutput::placeProblem(const char* type, const char* field,
                                 const std::filesystem::path& path, const std::string& reason,
                                 const std::string& outcome) {
    Json object = event(type);
    if (!path.empty()) {
        putText(object, field, pathBytes(path));
    }
    object["reason"] = reason;
    problem(Priority::warning,
            (path.empty() ? std::string(kProgram) + ": " + reason : complaintText(path, reason)) +
                "; " + outcome,
            {}, dump(object, terminal_));
}

void CommandOutput::outputLost(std::uint64_t lines) {
    Json object = event("output_lost");
    object["lines"] = lines;
    problem(Priority::error,
            std::string(kProgram) + ": " + std::to_string(lines) +
                (lines == 1 ? " line" : " lines") + " of output could not be written",
            {}, dump(object, terminal_));
}

void CommandOutput::error(const std::filesystem::path& path, const std::string& reason) {
    problem(Priority::error, complaintText(path, reason), {},
            dump(problemObject("error", "path", path, reason), terminal_));
}

void CommandOutput::error(const std::string& problemText) {
    Json object = event("error");
    object["reason"] = problemText;
    problem(Priority::error, std::string(kProgram) + ": " + problemText, {},
            dump(object, terminal_));
}

void CommandOutput::problem(Priority priority, std::string text, JournalFields fields,
                            const std::string& object) {
    if (format_ == Format::json && !quiet_) {
        out_.put({withPriority(stdout, priority, object + "\n")});
    }
    err_.put(lineFor(stderr, priority, std::move(text), std::move(fields)));
}

}  // namespace vesk
