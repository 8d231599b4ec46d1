#pragma once

#include <filesystem>
#include <string>

#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/sweep.h"
#include "sweep/sweep_view.h"

namespace vesk {

inline constexpr const char* kMessageTitle = "VESK Parser";
inline constexpr const char* kCompletedMessage = "Operation completed!";

// The window's completion text: the bare success message only when every log was read, else the
// logs that could not be read; or what became of the report when it could not be written.
std::string completionText(const SweepOutcome& outcome);

// One Find Cheaters run: the sweep of the view's folder, with the find button, the progress bar
// and the completion message on the view.
class SweepRun {
public:
    SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             SweepSettings settings = {});

    SweepOutcome run(SweepView& view);

private:
    FileSystem& fs_;
    Sweep sweep_;
};

}  // namespace vesk
