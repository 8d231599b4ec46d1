#include "forwarding_file_system.h"

#include <algorithm>

namespace {

class HookedLog final : public vesk::InputFile {
public:
    HookedLog(std::unique_ptr<vesk::InputFile> log, std::filesystem::path name,
              const ForwardingFileSystem& hooks)
        : log_(std::move(log)), name_(std::move(name)), hooks_(hooks) {}

    std::size_t read(char* data, std::size_t size, std::error_code& ec) override {
        return hooks_.onRead(name_, *log_, data, std::min<std::size_t>(size, 16), ec);
    }
    std::uint64_t size() const override { return log_->size(); }

private:
    std::unique_ptr<vesk::InputFile> log_;
    std::filesystem::path name_;
    const ForwardingFileSystem& hooks_;
};

class HookedFolder final : public vesk::LogFolder {
public:
    HookedFolder(std::unique_ptr<vesk::LogFolder> folder, const ForwardingFileSystem& hooks)
        : folder_(std::move(folder)), hooks_(hooks) {}

    vesk::FileIdentity identity() const override { return folder_->identity(); }
    std::vector<vesk::ListedFile> listFiles(bool withLogSizes, std::error_code& ec) override {
        std::vector<vesk::ListedFile> files;
        if (hooks_.order.empty()) {
            files = folder_->listFiles(withLogSizes, ec);
        } else {
            for (const auto& name : hooks_.order) {
                files.push_back({name, {}, 0});
            }
        }
        if (hooks_.afterListing) {
            hooks_.afterListing();
        }
        return files;
    }
    std::unique_ptr<vesk::InputFile> openLog(const vesk::ListedFile& log,
                                             std::error_code& ec) override {
        if (hooks_.onOpenLog) {
            hooks_.onOpenLog(log.name);
        }
        auto file = folder_->openLog(log, ec);
        if (file != nullptr && hooks_.onRead) {
            return std::make_unique<HookedLog>(std::move(file), log.name, hooks_);
        }
        return file;
    }

private:
    std::unique_ptr<vesk::LogFolder> folder_;
    const ForwardingFileSystem& hooks_;
};

}  // namespace

std::unique_ptr<vesk::LogFolder> ForwardingFileSystem::openFolder(
    const std::filesystem::path& directory, std::error_code& ec) {
    auto folder = real_->openFolder(directory, ec);
    if (folder == nullptr) {
        return nullptr;
    }
    return std::make_unique<HookedFolder>(std::move(folder), *this);
}
