#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "forwarding_file_system.h"
#include "recording_view.h"
#include "report_file.h"
#include "sweep_run.h"
#include "temp_folder.h"

// Hands out the logs in a fixed order and can make chosen logs fail: the seam for what a real
// folder cannot be made to do on demand.
class StagedFileSystem final : public ForwardingFileSystem {
public:
    std::vector<std::filesystem::path> order;       // when set, the enumeration yields these names
    std::vector<std::filesystem::path> failMidway;  // these fail on their second read

    std::unique_ptr<vesk::InputFile> openLog(const std::filesystem::path& path,
                                             std::error_code& ec) override {
        auto log = ForwardingFileSystem::openLog(path, ec);
        if (log != nullptr &&
            std::find(failMidway.begin(), failMidway.end(), path.filename()) != failMidway.end()) {
            return std::make_unique<FailingLog>(std::move(log));
        }
        return log;
    }
    std::unique_ptr<vesk::NameEnumeration> findLogs(const std::filesystem::path& directory,
                                                    std::error_code& ec) override {
        if (order.empty()) {
            return ForwardingFileSystem::findLogs(directory, ec);
        }
        return std::make_unique<Listed>(order);
    }

private:
    struct Listed final : vesk::NameEnumeration {
        explicit Listed(std::vector<std::filesystem::path> names) : names(std::move(names)) {}
        std::optional<std::filesystem::path> next(std::error_code&) override {
            if (at == names.size()) {
                return std::nullopt;
            }
            return names[at++];
        }
        std::vector<std::filesystem::path> names;
        std::size_t at = 0;
    };
    struct FailingLog final : vesk::InputFile {
        explicit FailingLog(std::unique_ptr<vesk::InputFile> log) : log(std::move(log)) {}
        std::size_t read(char* data, std::size_t size, std::error_code& ec) override {
            if (reads++ == 1) {
                ec = std::make_error_code(std::errc::io_error);
                return 0;
            }
            return log->read(data, std::min<std::size_t>(size, 16), ec);
        }
        vesk::FileIdentity identity() const override { return log->identity(); }
        std::unique_ptr<vesk::InputFile> log;
        int reads = 0;
    };
};

class SweepRunTest : public ::testing::Test {
protected:
    // Sweeps the logs folder with a file list read from it, as the window would.
    vesk::SweepOutcome sweep(const std::filesystem::path& folder) {
        std::error_code ec;
        view = std::make_unique<RecordingView>(folder, fileSystem.listFiles(folder, ec));
        return run(*view);
    }
    vesk::SweepOutcome run(RecordingView& v) {
        vesk::SweepRun run(fileSystem, clock, reports.path());
        return run.run(v);
    }
    std::string report() const { return readBytes(reportPath()); }
    std::filesystem::path reportPath() const {
        return vesk::ReportFile::pathFor(reports.path(), clock.today());
    }

    TempFolder logs;
    TempFolder reports;
    FixedClock clock{{2001, 7, 10}};
    StagedFileSystem fileSystem;
    std::unique_ptr<RecordingView> view;
};
