#include "terminal_progress.h"

#include <algorithm>

#include "command_common.h"
#include "sweep/printable.h"

namespace vesk {
namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kLongestName = 24;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string amount(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    for (; bytes >= 1024 && unit < 4; ++unit) {
        bytes /= 1024;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string duration(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

TerminalProgress::TerminalProgress(std::FILE* terminal, std::uint64_t bytesListed, Now now)
    : terminal_(terminal), total_(bytesListed), now_(std::move(now)), start_(now_()) {
    lastDraw_ = start_;
}

void TerminalProgress::logOpened(const std::filesystem::path&, const ListedFile& log) {
    log_ = &log;
    drawWhenDue();
}

void TerminalProgress::bytesRead(std::size_t bytes) {
    done_ += bytes;
    drawWhenDue();
}

void TerminalProgress::clear() {
    if (terminal_ != nullptr) {
        std::fputs("\r\x1b[K", terminal_);
    }
}

void TerminalProgress::finish() {
    if (terminal_ == nullptr) {
        return;
    }
    draw(amount(static_cast<double>(done_)) + " read in " + duration(seconds()));
    std::fputc('\n', terminal_);
    std::fflush(terminal_);
}

void TerminalProgress::drawWhenDue() {
    if (terminal_ == nullptr) {
        return;
    }
    const auto now = now_();
    if (now - lastDraw_ < kRedrawEvery) {
        return;
    }
    lastDraw_ = now;
    const double rate = static_cast<double>(done_) / std::max(seconds(), 1e-3);
    const double left = static_cast<double>(total_ > done_ ? total_ - done_ : 0);
    std::string name = log_ != nullptr ? printable(log_->name) : std::string();
    if (name.size() > kLongestName) {
        name = name.substr(0, kLongestName - 3) + "...";
    }
    draw(name + "  " + amount(rate) + "/s  " +
         (rate > 0 ? duration(left / rate) + " left" : std::string("--:-- left")));
}

void TerminalProgress::draw(const std::string& tail) {
    const std::uint64_t share =
        total_ == 0 ? 100 : std::min<std::uint64_t>(100, done_ * 100 / total_);
    const int filled = static_cast<int>(share) * kBarWidth / 100;
    std::fprintf(terminal_, "\r[%s%s] %3d%%  %s\x1b[K", std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, '.').c_str(), static_cast<int>(share),
                 tail.c_str());
    std::fflush(terminal_);
}

double TerminalProgress::seconds() const {
    return std::chrono::duration<double>(now_() - start_).count();
}

}  // namespace vesk
