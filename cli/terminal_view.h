#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "sweep/listed_folder.h"
#include "sweep/sweep_view.h"

namespace vesk {

// The sweep's view in a shell. There is no button and no message box: the command prints the
// outcome itself, and its progress is drawn by bytes rather than by the bar's steps. A run over
// several folders reads each one's own file list; the view's own is the first folder's.
class TerminalView final : public SweepView {
public:
    explicit TerminalView(const std::vector<ListedFolder>& folders) : first_(folders.front()) {}

    int entryCount() const override { return first_.entryCount(); }
    std::filesystem::path entry(int index) const override { return first_.entry(index); }
    std::filesystem::path directoryPath() const override { return first_.directoryPath(); }
    void setFindEnabled(bool) override {}
    float progressValue() const override { return progress_; }
    void setProgressValue(float value) override { progress_ = value; }
    void showMessage(const std::string&, const std::string&) override {}

private:
    const ListedFolder& first_;
    float progress_ = 0;
};

}  // namespace vesk
