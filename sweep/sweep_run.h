#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "clock.h"
#include "file_system.h"
#include "sweep_view.h"

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
    std::string reportError;  // the reason, when the report failed
    std::string message;      // what the view was shown
};

// The completion text: the bare success message only when every log was read.
std::string completionText(const std::vector<UnreadableLog>& unreadable);

// One Find Cheaters run: every line that follows a marker line, from every log of the view's
// directory, into the day's report, with the progress and the completion message on the view.
class SweepRun {
public:
    SweepRun(FileSystem& fs, const Clock& clock, std::filesystem::path reportFolder);
    SweepOutcome run(SweepView& view);

private:
    FileSystem& fs_;
    const Clock& clock_;
    std::filesystem::path reportFolder_;
};

}  // namespace vesk
