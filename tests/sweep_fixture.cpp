#include "sweep_fixture.h"

#include <algorithm>

namespace {

class HookedLog final : public vesk::InputFile {
public:
    HookedLog(std::unique_ptr<vesk::InputFile> log, std::filesystem::path name,
              std::filesystem::path path, ForwardingFileSystem& hooks)
        : log_(std::move(log)), name_(std::move(name)), path_(std::move(path)), hooks_(hooks) {}
    ~HookedLog() override { --hooks_.logsOpen; }

    std::size_t readAt(std::uint64_t offset, char* data, std::size_t size,
                       std::error_code& ec) override {
        const std::size_t read = hooks_.onRead ? hooks_.onRead(name_, *log_, offset, data,
                                                               std::min(size, hooks_.readLimit), ec)
                                               : log_->readAt(offset, data, size, ec);
        hooks_.bytesRead += read;
        return read;
    }
    std::uint64_t size() const override { return log_->size(); }
    vesk::FileIdentity identity() const override { return log_->identity(); }
    vesk::FileTimes times() const override {
        return hooks_.timesOf ? hooks_.timesOf(path_) : log_->times();
    }

private:
    std::unique_ptr<vesk::InputFile> log_;
    std::filesystem::path name_;
    std::filesystem::path path_;
    ForwardingFileSystem& hooks_;
};

class HookedFolder final : public vesk::LogFolder {
public:
    HookedFolder(std::unique_ptr<vesk::LogFolder> folder, std::filesystem::path path,
                 ForwardingFileSystem& hooks)
        : folder_(std::move(folder)), path_(std::move(path)), hooks_(hooks) {}

    vesk::FileIdentity identity() const override { return folder_->identity(); }
    std::vector<vesk::ListedFile> listFiles(vesk::LogSizes sizes, std::error_code& ec) override {
        std::vector<vesk::ListedFile> files;
        if (hooks_.order.empty()) {
            files = folder_->listFiles(sizes, ec);
        }
        for (const auto& name : hooks_.order) {
            files.push_back({name, {}, 0, {}});
        }
        for (auto& file : files) {
            file.times = hooks_.timesOf ? hooks_.timesOf(path_ / file.name) : file.times;
        }
        if (hooks_.afterListing) {
            if (const std::error_code failure = hooks_.afterListing()) {
                ec = failure;
            }
        }
        return files;
    }
    bool readsTogether() const override { return hooks_.readTogether; }
    std::unique_ptr<vesk::InputFile> openLog(const vesk::ListedFile& log,
                                             std::error_code& ec) override {
        if (hooks_.beforeOpen) {
            hooks_.beforeOpen(log.name);
        }
        // Counted before it is opened, so that logs opened at once cannot pass the limit together.
        if (++hooks_.logsOpen > hooks_.mostLogsOpen && hooks_.mostLogsOpen > 0) {
            --hooks_.logsOpen;
            ++hooks_.refusedOpens;
            ec = std::make_error_code(std::errc::too_many_files_open);
            return nullptr;
        }
        auto file = folder_->openLog(log, ec);
        if (file == nullptr) {
            --hooks_.logsOpen;
            return nullptr;
        }
        return std::make_unique<HookedLog>(std::move(file), log.name, path_ / log.name, hooks_);
    }

private:
    std::unique_ptr<vesk::LogFolder> folder_;
    std::filesystem::path path_;
    ForwardingFileSystem& hooks_;
};

}  // namespace

std::unique_ptr<vesk::LogFolder> ForwardingFileSystem::openFolder(
    const std::filesystem::path& directory, std::error_code& ec) {
    auto folder = real_->openFolder(directory, ec);
    return folder == nullptr ? nullptr
                             : std::make_unique<HookedFolder>(std::move(folder), directory, *this);
}
