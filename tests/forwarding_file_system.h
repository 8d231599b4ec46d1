#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "file_system.h"

// The machine's file system, with hooks for tests at the moments a real folder cannot be made
// to act on demand: after a folder's logs are listed, and as each log is opened or read.
class ForwardingFileSystem : public vesk::FileSystem {
public:
    // When set, a folder's listing yields these names, in this order, and nothing else.
    std::vector<std::filesystem::path> order;
    // After each listing of a folder: the window's file list as well as a run's.
    std::function<void()> afterListing;
    std::function<void(const std::filesystem::path& name)> onOpenLog;
    // Reads a log through this, at most 16 bytes at a time, when set.
    std::function<std::size_t(const std::filesystem::path& name, vesk::InputFile& log, char* data,
                              std::size_t size, std::error_code& ec)>
        onRead;

    std::unique_ptr<vesk::ReportDraft> draftReport(const std::filesystem::path& report,
                                                   std::error_code& ec) override {
        return real_->draftReport(report, ec);
    }
    std::unique_ptr<vesk::LogFolder> openFolder(const std::filesystem::path& directory,
                                                std::error_code& ec) override;

private:
    std::unique_ptr<vesk::FileSystem> real_ = vesk::makeNativeFileSystem();
};
