#pragma once

#include <filesystem>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "presenter/sweep_run.h"
#include "sweep_fixture.h"

// A SweepView that records every call the run makes, in order, as text: "disable 50 100 enable
// [VESK Parser]" for two logs; the file list apart. Read once the run has ended.
class RecordingView : public vesk::SweepView {
public:
    void showFiles(const std::filesystem::path&,
                   const std::vector<std::filesystem::path>& names) override {
        files = names;
    }
    void setFindEnabled(bool enabled) override { record(enabled ? "enable" : "disable"); }
    void setProgressValue(float value) override { record(std::to_string(static_cast<int>(value))); }
    void showCompletion(const std::string& text, const std::string& title) override {
        record("[" + title + "]");
        messages.push_back(text);
    }

    std::vector<std::filesystem::path> files;
    std::string calls;
    std::vector<std::string> messages;

private:
    void record(const std::string& call) { calls += (calls.empty() ? "" : " ") + call; }
};

// Runs over the logs folder, on the run's own thread, with a view that records what the run does
// to it.
class SweepRunTest : public ::testing::Test, protected SweepFolders {
protected:
    vesk::SweepOutcome sweep(const std::filesystem::path& folder) {
        view = std::make_unique<RecordingView>();
        EXPECT_TRUE(run.start(folder, *view));
        return run.wait();
    }
    // The logs a run could not read, a "name: reason" line each, by name.
    static std::string unreadable(const vesk::SweepOutcome& outcome) {
        std::set<std::string> lines;
        for (const auto& log : outcome.unreadable) {
            lines.insert(log.path.filename().string() + ": " + log.reason + "\n");
        }
        return std::accumulate(lines.begin(), lines.end(), std::string());
    }

    vesk::SweepRun run{fileSystem, clock, reports.path()};
    std::unique_ptr<RecordingView> view;
};
