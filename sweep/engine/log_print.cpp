#include "engine/log_print.h"

#include <algorithm>

#include "engine/fnv_hash.h"

namespace vesk {
namespace {

std::size_t windowBytes(std::uint64_t size) {
    std::size_t total = 0;
    for (const auto& window : LogPrint::windows(size)) {
        total += window.size;
    }
    return total;
}

}  // namespace

std::array<LogPrint::Window, LogPrint::kSamples + 2> LogPrint::windows(std::uint64_t size) {
    std::array<Window, kSamples + 2> windows{};
    const auto ends = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEnds));
    windows.front() = {0, ends};
    for (std::size_t k = 1; k <= kSamples; ++k) {
        const std::uint64_t at = size * k / (kSamples + 1);
        windows[k] = {at, static_cast<std::size_t>(std::min<std::uint64_t>(kSample, size - at))};
    }
    windows.back() = {size - ends, ends};
    return windows;
}

std::uint64_t LogPrint::ofBytes(std::string_view bytes, std::uint64_t size) {
    std::string number(sizeof size, '\0');
    for (std::size_t i = 0; i < sizeof size; ++i) {
        number[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    }
    return fnvOn(fnv(bytes), number);
}

std::uint64_t LogPrint::headOfBytes(std::string_view bytes) {
    return fnv(bytes.substr(0, kEnds));
}

std::uint64_t LogPrint::headOf(InputFile& file, std::uint64_t size, std::error_code& ec) {
    std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size, kEnds)), '\0');
    readFully(file, 0, bytes.data(), bytes.size(), ec);
    return headOfBytes(bytes);
}

std::uint64_t LogPrint::of(InputFile& file, std::uint64_t size, std::error_code& ec) {
    std::string bytes(windowBytes(size), '\0');
    std::size_t at = 0;
    for (const auto& window : windows(size)) {
        if (readFully(file, window.offset, bytes.data() + at, window.size, ec); ec) {
            return 0;
        }
        at += window.size;
    }
    return ofBytes(bytes, size);
}

PrintWatch::PrintWatch(std::uint64_t size)
    : size_(size), windows_(LogPrint::windows(size)), bytes_(windowBytes(size), '\0') {}

void PrintWatch::read(std::span<const char> block, std::uint64_t offset) {
    const std::uint64_t end = offset + block.size();
    std::size_t at = 0;
    for (const auto& window : windows_) {
        const std::uint64_t from = std::max(window.offset, offset);
        const std::uint64_t until = std::min(window.offset + window.size, end);
        if (from < until) {
            std::copy(block.data() + (from - offset), block.data() + (until - offset),
                      bytes_.data() + at + (from - window.offset));
        }
        at += window.size;
    }
}

std::uint64_t PrintWatch::print() const {
    return LogPrint::ofBytes(bytes_, size_);
}

std::uint64_t PrintWatch::head() const {
    return LogPrint::headOfBytes(std::string_view(bytes_).substr(0, windows_.front().size));
}

}  // namespace vesk
