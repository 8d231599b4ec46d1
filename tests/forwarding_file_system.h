#pragma once

#include <memory>
#include <vector>

#include "file_system.h"

// The machine's file system, for test seams to override one call of it.
class ForwardingFileSystem : public vesk::FileSystem {
public:
    std::unique_ptr<vesk::OutputFile> createReport(const std::filesystem::path& path,
                                                   std::error_code& ec) override {
        return real_->createReport(path, ec);
    }
    std::unique_ptr<vesk::InputFile> openLog(const std::filesystem::path& path,
                                             std::error_code& ec) override {
        return real_->openLog(path, ec);
    }
    std::unique_ptr<vesk::NameEnumeration> findLogs(const std::filesystem::path& directory,
                                                    std::error_code& ec) override {
        return real_->findLogs(directory, ec);
    }
    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& directory,
                                                 std::error_code& ec) override {
        return real_->listFiles(directory, ec);
    }

private:
    std::unique_ptr<vesk::FileSystem> real_ = vesk::makeNativeFileSystem();
};
