#pragma once

#include <filesystem>

#include "presenter/sweep_view.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/sweep.h"

namespace vesk {

// One Find Cheaters run over a folder: one listing of it for the file list and for the sweep,
// with the find button, the progress bar and the completion message on the view.
class SweepRun {
public:
    SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             SweepSettings settings = {});

    SweepOutcome run(const std::filesystem::path& folder, SweepView& view);

private:
    FileSystem& fs_;
    Sweep sweep_;
};

}  // namespace vesk
