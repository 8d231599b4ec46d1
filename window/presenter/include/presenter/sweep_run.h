#pragma once

#include <filesystem>
#include <stop_token>
#include <thread>

#include "presenter/sweep_view.h"
#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/sweep.h"

namespace vesk {

// Find Cheaters runs, one at a time, each on a thread of its own so that the window answers while
// it sweeps. A run lists the folder once, for the file list and for the sweep, and shows the find
// button, the progress bar and the completion message on the view.
class SweepRun {
public:
    SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             SweepSettings settings = {});
    // Stops a run that is still going.
    ~SweepRun();
    SweepRun(const SweepRun&) = delete;
    SweepRun& operator=(const SweepRun&) = delete;

    // Starts a run over the folder, from the value the bar shows; false, and nothing done, while
    // the last run has been neither waited for nor stopped.
    bool start(std::filesystem::path folder, SweepView& view, float progress = 0);
    bool running() const { return thread_.joinable(); }
    // Waits for the run's end; its outcome.
    SweepOutcome wait();
    // Ends the run after the block being read and waits for it. The view is told nothing more;
    // the report's draft is removed and the day's earlier report is left as it was.
    void stop();

private:
    SweepOutcome run(const std::filesystem::path& folder, SweepView& view, float progress,
                     std::stop_token stop);

    FileSystem& fs_;
    Sweep sweep_;
    SweepOutcome outcome_;  // the last run's, written by its thread
    std::jthread thread_;
};

}  // namespace vesk
