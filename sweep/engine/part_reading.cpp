#include "engine/part_reading.h"

#include <algorithm>

#include "rule/byte_search.h"
#include "rule/marker_filter.h"

namespace vesk {
namespace {

// Reads size bytes at offset, or as many as the file still has: fewer than asked for means it
// became shorter than when it was opened. Returns how many it read.
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

// The first line start at or after `first` within the bytes at `data`, which begin at `offset`
// and hold the byte before `first`: unset when the bytes end first. A CR that ends them is a
// line end of its own only where the file ends there too.
std::optional<std::uint64_t> lineStartIn(InputFile& file, const char* data, std::size_t size,
                                         std::uint64_t offset, std::uint64_t first,
                                         std::error_code& ec) {
    const ByteSearch& search = fastestSearch();
    const char* const end = data + size;
    for (const char* p = data + (first - 1 - offset); p != end; ++p) {
        p = search.findLineEnd(p, end);
        if (p == end) {
            break;
        }
        const std::uint64_t at = offset + static_cast<std::uint64_t>(p - data);
        if (*p != MarkerFilter::cr) {
            return at + 1;
        }
        char next = 0;
        if (p + 1 != end) {
            next = p[1];
        } else if (at + 1 < file.size()) {
            readFully(file, at + 1, &next, 1, ec);
        }
        return next == MarkerFilter::lf ? at + 2 : at + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> firstLineStart(InputFile& file, std::uint64_t from,
                                            std::uint64_t until, std::span<char> buffer,
                                            std::error_code& ec) {
    if (from == 0) {
        return 0;
    }
    for (std::uint64_t at = from - 1; at < until && at < file.size();) {
        const std::size_t size = readFully(
            file, at, buffer.data(),
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file.size() - at)), ec);
        const auto start = lineStartIn(file, buffer.data(), size, at, std::max(at + 1, from), ec);
        if (start) {
            ec.clear();  // a failure past it is met by the reading that gets there
            return *start < until ? start : std::nullopt;
        }
        if (ec) {
            return std::nullopt;
        }
        at += size;
    }
    return std::nullopt;
}

std::uint64_t readStretch(InputFile& file, std::uint64_t at, std::optional<std::uint64_t> boundary,
                          std::span<char> buffer, LogScanner& scanner, const std::stop_token& stop,
                          std::error_code& ec, BlockWatch* watch) {
    if (boundary && *boundary <= at) {
        return at;  // the stretch before read on past all of this one
    }
    std::optional<std::uint64_t> stopAt;
    const std::uint64_t size = file.size();
    while (at < size && (!stopAt || at < *stopAt)) {
        if (stop.stop_requested()) {
            ec = std::make_error_code(std::errc::operation_canceled);
            break;
        }
        std::size_t length = readFully(
            file, at, buffer.data(),
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at)), ec);
        std::error_code peekFailed;
        if (boundary && !stopAt && at + length >= *boundary && *boundary > at) {
            stopAt = lineStartIn(file, buffer.data(), length, at, *boundary, peekFailed);
        } else if (boundary && !stopAt && *boundary <= at && at > 0) {
            stopAt = lineStartIn(file, buffer.data(), length, at, at + 1, peekFailed);
        }
        if (stopAt) {
            length = static_cast<std::size_t>(std::min<std::uint64_t>(length, *stopAt - at));
        }
        scanner.scan(buffer.data(), length);
        if (watch != nullptr) {
            watch->read({buffer.data(), length}, at);
        }
        at += length;
        if (stopAt && at == *stopAt) {
            ec.clear();  // a failure past the stretch is met by the reading that gets there
            break;
        }
        if (ec || peekFailed) {
            ec = ec ? ec : peekFailed;
            break;
        }
    }
    return at;
}

}  // namespace vesk
