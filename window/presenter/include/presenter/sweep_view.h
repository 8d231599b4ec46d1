#pragma once

#include <filesystem>
#include <string>

namespace vesk {

// What a sweep run needs from the window that starts it: the window's file list and folder,
// the find button, the progress bar and a message box.
class SweepView {
public:
    virtual ~SweepView() = default;

    // Names, without directory, of the ordinary files of the chosen folder.
    virtual int entryCount() const = 0;
    virtual std::filesystem::path entry(int index) const = 0;
    virtual std::filesystem::path directoryPath() const = 0;
    virtual void setFindEnabled(bool enabled) = 0;
    // 0 to 100.
    virtual float progressValue() const = 0;
    virtual void setProgressValue(float value) = 0;
    // Modal, OK only; returns once dismissed. Text in UTF-8, where CR starts a new line.
    virtual void showMessage(const std::string& text, const std::string& title) = 0;
};

}  // namespace vesk
