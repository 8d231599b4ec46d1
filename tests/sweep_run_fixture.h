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
    // The named log fails on its second read.
    void failMidway(const std::filesystem::path& failing) {
        fileSystem.onRead = [failing, reads = 0](const std::filesystem::path& name,
                                                 vesk::InputFile& log, char* data, std::size_t size,
                                                 std::error_code& ec) mutable {
            if (name == failing && reads++ == 1) {
                ec = std::make_error_code(std::errc::io_error);
                return std::size_t{0};
            }
            return log.read(data, size, ec);
        };
    }
    std::string report() const { return readBytes(reportPath()); }
    std::filesystem::path reportPath() const {
        return vesk::ReportFile::pathFor(reports.path(), clock.today());
    }

    TempFolder logs;
    TempFolder reports;
    FixedClock clock{{2001, 7, 10}};
    ForwardingFileSystem fileSystem;
    std::unique_ptr<RecordingView> view;
};
