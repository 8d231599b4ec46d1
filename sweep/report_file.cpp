#include "report_file.h"

#include <cstdio>
#include <cstring>

namespace vesk {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

ReportFile::ReportFile(FileSystem& fs) : fs_(fs) {
    buffer_.reserve(kBufferSize);
}

ReportFile::~ReportFile() {
    abandon();
}

std::filesystem::path ReportFile::pathFor(const std::filesystem::path& folder, LocalDate date) {
    char name[40];
    std::snprintf(name, sizeof name, "VOReradivu_%04d-%02d-%02d.log", date.year, date.month,
                  date.day);
    return folder / name;
}

void ReportFile::open(const std::filesystem::path& path) {
    abandon();
    path_ = path;
    std::error_code ec;
    file_ = fs_.createReport(path_, ec);
    if (file_ == nullptr) {
        throw ReportError(path_, ec.message());
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

void ReportFile::endLine() {
    write("\r\n");
}

void ReportFile::writeLine(std::string_view text) {
    write(text);
    endLine();
}

void ReportFile::close() {
    if (file_ == nullptr) {
        return;
    }
    flush();
    std::error_code ec;
    file_->close(ec);
    file_.reset();
    if (ec) {
        throw ReportError(path_, ec.message());
    }
}

void ReportFile::abandon() noexcept {
    if (file_ != nullptr) {
        std::error_code ignored;
        file_->close(ignored);
        file_.reset();
    }
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
    file_->write(data, size, ec);
    if (ec) {
        throw ReportError(path_, ec.message());
    }
}

}  // namespace vesk
