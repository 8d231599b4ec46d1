#include "terminal_view.h"

namespace vesk {
namespace {

constexpr int kBarWidth = 40;

}  // namespace

TerminalView::TerminalView(std::filesystem::path directory,
                           std::vector<std::filesystem::path> entries, std::FILE* progressTerminal)
    : directory_(std::move(directory)), entries_(std::move(entries)), terminal_(progressTerminal) {}

int TerminalView::entryCount() const {
    return static_cast<int>(entries_.size());
}

std::filesystem::path TerminalView::entry(int index) const {
    return entries_.at(static_cast<std::size_t>(index));
}

std::filesystem::path TerminalView::directoryPath() const {
    return directory_;
}

float TerminalView::progressValue() const {
    return progress_;
}

void TerminalView::setProgressValue(float value) {
    progress_ = value;
    if (terminal_ != nullptr && value > 0) {
        drawBar();
    }
}

void TerminalView::showMessage(const std::string&, const std::string&) {
    clearBar();
}

void TerminalView::drawBar() {
    const int filled = static_cast<int>(progress_) * kBarWidth / 100;
    std::string bar = "\r[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    bar += "] " + std::to_string(static_cast<int>(progress_)) + "%";
    std::fputs(bar.c_str(), terminal_);
    std::fflush(terminal_);
    barShown_ = true;
}

void TerminalView::clearBar() {
    if (terminal_ != nullptr && barShown_) {
        std::fputs("\r\x1b[K", terminal_);
        std::fflush(terminal_);
    }
}

}  // namespace vesk
