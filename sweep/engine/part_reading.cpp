#include "engine/part_reading.h"

#include <algorithm>

#include "rule/byte_search.h"
#include "rule/marker_filter.h"
#include "text/text_form.h"

namespace vesk {

std::size_t readFully(InputFile& file, std::uint64_t offset, char* data, std::size_t size,
                      std::error_code& ec) {
    std::size_t done = 0;
    while (done < size && !ec) {
        const std::size_t n = file.readAt(offset + done, data + done, size - done, ec);
        if (n == 0 && !ec) {
            ec = SweepErrc::shrank;
        }
        done += n;
    }
    return done;
}

std::uint64_t readStretch(InputFile& file, std::uint64_t at, std::optional<std::uint64_t> until,
                          std::span<char> buffer, LogScanner& scanner, const std::stop_token& stop,
                          std::error_code& ec, BlockWatch* watch) {
    const std::uint64_t end = std::min(until.value_or(file.size()), file.size());
    while (at < end && !ec) {
        if (stop.stop_requested()) {
            ec = std::make_error_code(std::errc::operation_canceled);
            break;
        }
        const std::size_t length = readFully(
            file, at, buffer.data(),
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - at)), ec);
        scanner.scan(buffer.data(), length);
        if (watch != nullptr) {
            watch->read({buffer.data(), length}, at);
        }
        at += length;
    }
    return at;
}

StretchRead readStretchAhead(InputFile& file, std::uint64_t from, std::uint64_t until,
                             std::span<char> buffer, std::string& head, LogScanner& scanner,
                             const std::stop_token& stop, std::error_code& ec) {
    StretchRead read{std::nullopt, from, 0};
    const std::uint64_t end = std::min(until, file.size());
    const char* const data = buffer.data();
    for (std::uint64_t at = from; at < end && !ec;) {
        if (stop.stop_requested()) {
            ec = std::make_error_code(std::errc::operation_canceled);
            break;
        }
        const std::size_t length = readFully(
            file, at, buffer.data(),
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - at)), ec);
        const char* const lineEnd = fastestSearch().findLineEnd(data, data + length);
        if (lineEnd == data + length) {
            at += length;
            read.skipped = at - from;
            continue;
        }
        // The line end itself goes with the head; of a line longer than a block only it.
        const auto headSize = static_cast<std::size_t>(lineEnd - data) + 1;
        const std::size_t kept = at == from ? headSize : 1;
        // With the first bytes after it, which tell the form of a line that starts right there.
        head.assign(data + headSize - kept,
                    kept + std::min(length - headSize, TextForm::kMostNeeded));
        read.skipped = at + headSize - kept - from;
        read.start = at + headSize;
        scanner.beginPart(at + headSize, *lineEnd == MarkerFilter::cr);
        scanner.scan(data + headSize, length - headSize);
        read.end = readStretch(file, at + length, until, buffer, scanner, stop, ec);
        return read;
    }
    read.end = from + read.skipped;
    return read;
}

}  // namespace vesk
