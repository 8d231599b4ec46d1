#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sweep_view.h"

namespace vesk {

// The sweep's view in a shell: the folder's files as the file list, a progress bar on standard
// error when that is a terminal, and the completion message kept for the caller to print.
class TerminalView final : public SweepView {
public:
    TerminalView(std::filesystem::path directory, std::vector<std::filesystem::path> entries,
                 std::FILE* progressTerminal);

    int entryCount() const override;
    std::filesystem::path entry(int index) const override;
    std::filesystem::path directoryPath() const override;
    void setFindEnabled(bool) override {}
    float progressValue() const override;
    void setProgressValue(float value) override;
    void showMessage(const std::string& text, const std::string& title) override;

private:
    void drawBar();
    void clearBar();

    std::filesystem::path directory_;
    std::vector<std::filesystem::path> entries_;
    std::FILE* terminal_;
    float progress_ = 0;
    bool barShown_ = false;
};

}  // namespace vesk
