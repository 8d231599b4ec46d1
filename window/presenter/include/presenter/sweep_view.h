#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vesk {

// What a Find Cheaters run shows on the window: the file list, the find button, the progress bar
// and the completion message. A run calls it from the thread it sweeps on, in the order the
// window is to show it; the window hands each call on to its own thread.
class SweepView {
public:
    virtual ~SweepView() = default;

    // The names, without directory and in name order, of the ordinary, visible files of the
    // folder as the run found it. Not called when the folder could not be listed.
    virtual void showFiles(const std::filesystem::path& folder,
                           const std::vector<std::filesystem::path>& names) = 0;
    virtual void setFindEnabled(bool enabled) = 0;
    // 0 to 100, in whole steps; called when what the bar shows changes.
    virtual void setProgressValue(float value) = 0;
    // The last call of a run that was not stopped: a modal message with OK only, its text in
    // UTF-8 where CR starts a new line. Once it is dismissed the bar goes back to 0.
    virtual void showCompletion(const std::string& text, const std::string& title) = 0;
};

}  // namespace vesk
