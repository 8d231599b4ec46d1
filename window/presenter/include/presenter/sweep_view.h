#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vesk {

// What a Find Cheaters run shows on the window: the file list, the find button, the progress bar
// and a message box.
class SweepView {
public:
    virtual ~SweepView() = default;

    // The names, without directory and in name order, of the ordinary, visible files of the
    // folder as the run found it. Not called when the folder could not be listed.
    virtual void showFiles(const std::filesystem::path& folder,
                           const std::vector<std::filesystem::path>& names) = 0;
    virtual void setFindEnabled(bool enabled) = 0;
    // 0 to 100.
    virtual float progressValue() const = 0;
    virtual void setProgressValue(float value) = 0;
    // Modal, OK only; returns once dismissed. Text in UTF-8, where CR starts a new line.
    virtual void showMessage(const std::string& text, const std::string& title) = 0;
};

}  // namespace vesk
