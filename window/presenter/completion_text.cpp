#include "presenter/completion_text.h"

#include "sweep/printable.h"

namespace vesk {
namespace {

// The completion message names at most this many unreadable logs.
constexpr std::size_t kMostNamed = 10;

std::string reportFailureText(const ReportFailure& failure, const std::filesystem::path& path) {
    const std::string report =
        (failure.path == path ? "The report " : "The report folder ") + printable(failure.path);
    if (!failure.keptIn.empty()) {
        return report + " could not be replaced: " + failure.reason +
               "\rThis run's findings are in " + printable(failure.keptIn) + ".";
    }
    return report + " could not be written: " + failure.reason +
           "\rNone of this run's findings were stored; the day's earlier report, if any, is left "
           "as it was.";
}

}  // namespace

std::string completionText(const SweepOutcome& outcome) {
    if (outcome.reportFailure) {
        return reportFailureText(*outcome.reportFailure, outcome.report);
    }
    if (const auto& starved = outcome.outOfDescriptors) {
        return printable(starved->path) +
               " could not be opened for want of file descriptors: " + starved->reason +
               "\rNone of this run's findings were stored; the day's earlier report, if any, is "
               "left as it was.";
    }
    std::string text = kCompletedMessage;
    const auto& unreadable = outcome.unreadable;
    if (unreadable.empty()) {
        return text;
    }
    text += "\r\rThese logs could not be read:";
    for (std::size_t i = 0; i < unreadable.size() && i < kMostNamed; ++i) {
        text += '\r';
        text += printable(unreadable[i].path);
        text += ": ";
        text += unreadable[i].reason;
    }
    if (unreadable.size() > kMostNamed) {
        text += "\rand ";
        text += std::to_string(unreadable.size() - kMostNamed);
        text += " more.";
    }
    return text;
}

}  // namespace vesk
