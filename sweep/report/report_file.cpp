#include "report/report_file.h"

#include <cstdio>
#include <cstring>

#include "report/report_name.h"

namespace vesk {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

ReportFile::ReportFile(FileSystem& fs) : fs_(fs) {
    buffer_.reserve(kBufferSize);
}

std::filesystem::path ReportFile::pathFor(const std::filesystem::path& folder, LocalDate date) {
    return folder / reportName(date);
}

void ReportFile::open(const std::filesystem::path& path) {
    abandon();
    path_ = path;
    lines_ = 0;
    std::error_code ec;
    draft_ = fs_.draftReport(path_, ec);
    if (draft_ == nullptr) {
        // A draft that cannot be made is the folder's doing, unless a folder stands in the
        // report's place.
        const bool folder = ec != std::errc::is_a_directory && path_.has_parent_path();
        throw ReportError(folder ? path_.parent_path() : path_, ec);
    }
}

void ReportFile::write(std::string_view piece) {
    if (buffer_.size() + piece.size() > kBufferSize) {
        flush();
        if (piece.size() >= kBufferSize) {
            store(piece.data(), piece.size());
            return;
        }
    }
    buffer_.insert(buffer_.end(), piece.begin(), piece.end());
}

void ReportFile::write(const Findings& findings, std::span<char> buffer, std::uint64_t lines) {
    std::error_code ec;
    findings.forEachPiece(
        buffer, [&](std::string_view piece) { write(piece); }, ec);
    if (ec) {
        fail(ec);
    }
    lines_ += lines;
}

void ReportFile::endLine() {
    write("\r\n");
    ++lines_;
}

void ReportFile::close() {
    if (draft_ == nullptr) {
        return;
    }
    flush();
    std::error_code ec;
    draft_->finish(ec);
    if (ec) {
        fail(ec);
    }
    draft_->publish(ec);
    if (ec) {
        const std::filesystem::path keptIn = draft_->draftPath();
        draft_.reset();
        throw ReportError(path_, ec, keptIn);
    }
    draft_.reset();
}

void ReportFile::abandon() noexcept {
    draft_.reset();
    buffer_.clear();
}

void ReportFile::flush() {
    if (!buffer_.empty()) {
        store(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
}

void ReportFile::store(const char* data, std::size_t size) {
    std::error_code ec;
    draft_->write(data, size, ec);
    if (ec) {
        fail(ec);
    }
}

void ReportFile::fail(const std::error_code& ec) {
    abandon();
    throw ReportError(path_, ec);
}

}  // namespace vesk
