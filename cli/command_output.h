#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "command_line.h"
#include "stream_writer.h"
#include "sweep/sweep.h"

namespace vesk {

// What the command says, in the format asked for. Findings and the summary go to standard output;
// each problem is named in text on standard error and, as JSON, told on standard output too.
// Where a stream is the journal, each line there goes as an entry of the journal's own, with the
// command's fields, or begun with its priority where that cannot be sent. --quiet leaves standard
// output empty.
class CommandOutput {
public:
    CommandOutput(Format format, bool quiet, LineSink& out, LineSink& err);

    void finding(const Finding& finding);
    // "Operation completed!", the counts and the report.
    void summary(const SweepOutcome& outcome);
    void unreadable(const UnreadableLog& what);
    void folderGone(const UnreadableLog& what);
    void reportFailed(const ReportFailure& failure);
    // Following goes on without keeping its place, which it cannot keep in the folder.
    void placeNotKept(const std::filesystem::path& folder, const std::string& reason);
    // Following starts afresh, its place kept there unusable.
    void placeNotRead(const std::filesystem::path& file, const std::string& reason);
    // Lines of standard output dropped or never written, a reader having stalled.
    void outputLost(std::uint64_t lines);
    // What ends the command, with the path it is about where it has one.
    void error(const std::filesystem::path& path, const std::string& reason);
    void error(const std::string& problem);

private:
    void placeProblem(const char* type, const char* field, const std::filesystem::path& path,
                      const std::string& reason, const std::string& outcome);
    // A problem: its text on standard error, and its object (dumped) on standard output in JSON.
    void problem(Priority priority, std::string text, JournalFields fields,
                 const std::string& object);

    Format format_;
    bool quiet_;
    bool terminal_;  // standard output is one: findings shown escaped, JSON in ASCII
    LineSink& out_;
    LineSink& err_;
};

}  // namespace vesk
