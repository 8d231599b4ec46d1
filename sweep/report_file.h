#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "clock.h"
#include "file_system.h"
#include "log_scanner.h"

namespace vesk {

// The report could not be created, written or closed: whatever was found is not safely stored.
class ReportError : public std::runtime_error {
public:
    ReportError(std::filesystem::path path, std::string reason)
        : std::runtime_error(reason), path_(std::move(path)), reason_(std::move(reason)) {}
    const std::filesystem::path& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::filesystem::path path_;
    std::string reason_;
};

// The day's report: every passed line followed by CR LF, bytes as read, nothing else.
class ReportFile final : public LineSink {
public:
    explicit ReportFile(FileSystem& fs);
    ~ReportFile() override;

    // folder + "VOReradivu_yyyy-mm-dd.log"
    static std::filesystem::path pathFor(const std::filesystem::path& folder, LocalDate date);

    // Creates the file, or empties it. Throws ReportError.
    void open(const std::filesystem::path& path);
    void write(std::string_view piece) override;
    void endLine() override;
    void writeLine(std::string_view text);
    // Throws ReportError when anything written could not be stored.
    void close();
    // Closes without a word, for a run that is already failing.
    void abandon() noexcept;

    const std::filesystem::path& path() const { return path_; }
    FileIdentity identity() const { return file_->identity(); }

private:
    void flush();
    void store(const char* data, std::size_t size);

    FileSystem& fs_;
    std::filesystem::path path_;
    std::unique_ptr<OutputFile> file_;
    std::vector<char> buffer_;
};

}  // namespace vesk
