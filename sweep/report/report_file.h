#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "report/findings.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"

namespace vesk {

// The report could not be created, written or put in place. Either none of the run's findings
// were stored and the day's earlier report stands, or they were all kept in the draft.
class ReportError : public std::runtime_error {
public:
    // path: the report, or its folder when no draft could be made there.
    ReportError(std::filesystem::path path, std::error_code ec, std::filesystem::path keptIn = {})
        : std::runtime_error(ec.message()),
          path_(std::move(path)),
          ec_(ec),
          keptIn_(std::move(keptIn)) {}
    const std::filesystem::path& path() const { return path_; }
    const std::error_code& error() const { return ec_; }
    std::string reason() const { return ec_.message(); }
    // Where the findings are when the draft could not take the report's place, else empty.
    const std::filesystem::path& keptIn() const { return keptIn_; }

private:
    std::filesystem::path path_;
    std::error_code ec_;
    std::filesystem::path keptIn_;
};

// The day's report: every passed line followed by CR LF, bytes as read, nothing else. It is
// written whole or not at all: into a draft that replaces the report once it is complete.
class ReportFile {
public:
    explicit ReportFile(FileSystem& fs);

    // folder + "VOReradivu_yyyy-mm-dd.log"
    static std::filesystem::path pathFor(const std::filesystem::path& folder, LocalDate date);

    // Starts the draft. Throws ReportError.
    void open(const std::filesystem::path& path);
    void write(std::string_view piece);
    // Ends the line written: CR LF.
    void endLine();
    // Kept findings, read back through the buffer where they were put aside; lines is how many
    // whole lines they hold.
    void write(const Findings& findings, std::span<char> buffer, std::uint64_t lines = 0);
    // Puts the complete report in place. Throws ReportError.
    void close();
    // Drops the draft, for a run that is already failing.
    void abandon() noexcept;

    const std::filesystem::path& path() const { return path_; }
    FileIdentity folderIdentity() const { return draft_->folderIdentity(); }
    std::uint64_t lines() const { return lines_; }

private:
    void flush();
    void store(const char* data, std::size_t size);
    [[noreturn]] void fail(const std::error_code& ec);

    FileSystem& fs_;
    std::filesystem::path path_;
    std::unique_ptr<ReportDraft> draft_;
    std::vector<char> buffer_;
    std::uint64_t lines_ = 0;
};

}  // namespace vesk
