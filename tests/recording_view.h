#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "clock.h"
#include "sweep_view.h"

// A SweepView that records every call the run makes, in order, as text.
class RecordingView : public vesk::SweepView {
public:
    RecordingView(std::filesystem::path directory, std::vector<std::filesystem::path> entries)
        : directory_(std::move(directory)), entries_(std::move(entries)) {}

    int entryCount() const override { return static_cast<int>(entries_.size()); }
    std::filesystem::path entry(int index) const override {
        return entries_.at(static_cast<std::size_t>(index));
    }
    std::filesystem::path directoryPath() const override { return directory_; }
    void setFindEnabled(bool enabled) override { calls.push_back(enabled ? "enable" : "disable"); }
    float progressValue() const override { return progress_; }
    void setProgressValue(float value) override {
        progress_ = value;
        calls.push_back("progress " + std::to_string(static_cast<int>(value)));
    }
    void showMessage(const std::string& text, const std::string& title) override {
        calls.push_back("message " + title);
        messages.push_back(text);
    }

    std::vector<std::string> calls;
    std::vector<std::string> messages;

private:
    std::filesystem::path directory_;
    std::vector<std::filesystem::path> entries_;
    float progress_ = 0;
};

class FixedClock : public vesk::Clock {
public:
    explicit FixedClock(vesk::LocalDate date) : date_(date) {}
    vesk::LocalDate today() const override { return date_; }
    void set(vesk::LocalDate date) { date_ = date; }

private:
    vesk::LocalDate date_;
};
