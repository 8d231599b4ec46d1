#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sweep/clock.h"
#include "sweep/file_system.h"
#include "sweep/listed_folder.h"
#include "sweep/sweep_progress.h"
#include "sweep/sweep_view.h"

namespace vesk {

inline constexpr const char* kMessageTitle = "VESK Parser";
inline constexpr const char* kCompletedMessage = "Operation completed!";

struct UnreadableLog {
    std::filesystem::path path;
    std::string reason;
};

struct SweepOutcome {
    enum class Status { completed, someUnreadable, reportFailed };
    Status status = Status::completed;
    std::filesystem::path report;
    std::vector<UnreadableLog> unreadable;
    std::string reportError;       // the reason, when the report failed
    std::filesystem::path keptIn;  // where the findings are when the report could not be replaced
    std::uint64_t findings = 0;    // lines that went into the report
    int logsRead = 0;              // logs read to their end
    std::string message;           // what the view was shown
};

// The completion text: the bare success message only when every log was read.
std::string completionText(const std::vector<UnreadableLog>& unreadable);

// One Find Cheaters run: every line that follows a marker line, from every log of the chosen
// folder, into the day's report, with the progress and the completion message on the view.
class SweepRun {
public:
    SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder,
             SweepProgress* progress = nullptr);

    // The view's own folder.
    SweepOutcome run(SweepView& view);
    // Several folders in turn into one report, each swept as a run sweeps the view's folder: its
    // own file list opens its gate and counts its logs. The marker flag carries from one folder
    // to the next as from one log to the next.
    SweepOutcome run(SweepView& view, const std::vector<ListedFolder>& folders);

private:
    SweepOutcome run(SweepView& view, const std::vector<ListedFolder>* folders);

    FileSystem& fs_;
    const Clock& clock_;
    std::filesystem::path reportFolder_;
    SweepProgress* progress_;
};

}  // namespace vesk
