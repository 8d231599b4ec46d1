#include "sweep_fixture.h"

#include <algorithm>

namespace {

class HookedLog final : public vesk::InputFile {
public:
    HookedLog(std::unique_ptr<vesk::InputFile> log, std::filesystem::path name,
              const ForwardingFileSystem::Read& read)
        : log_(std::move(log)), name_(std::move(name)), read_(read) {}

    std::size_t read(char* data, std::size_t size, std::error_code& ec) override {
        return read_(name_, *log_, data, std::min<std::size_t>(size, 16), ec);
    }
    std::uint64_t size() const override { return log_->size(); }

private:
    std::unique_ptr<vesk::InputFile> log_;
    std::filesystem::path name_;
    const ForwardingFileSystem::Read& read_;
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
        }
        for (const auto& name : hooks_.order) {
            files.push_back({name, {}, 0});
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
            return std::make_unique<HookedLog>(std::move(file), log.name, hooks_.onRead);
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
    return folder == nullptr ? nullptr : std::make_unique<HookedFolder>(std::move(folder), *this);
}

vesk::SweepOutcome SweepRunTest::sweep(const std::filesystem::path& folder) {
    std::error_code ec;
    view = std::make_unique<RecordingView>(folder, fileSystem.listFiles(folder, ec));
    return run(*view);
}

vesk::SweepOutcome SweepRunTest::run(RecordingView& view) {
    return vesk::SweepRun(fileSystem, clock, reports.path()).run(view);
}

void SweepRunTest::failMidway(const std::filesystem::path& failing) {
    fileSystem.onRead = [failing, reads = 0](const std::filesystem::path& name,
                                             vesk::InputFile& log, char* data, std::size_t size,
                                             std::error_code& ec) mutable {
        if (name == failing && reads++ == 2) {
            ec = std::make_error_code(std::errc::io_error);
            return std::size_t{0};
        }
        return log.read(data, size, ec);
    };
}

std::string SweepRunTest::unreadable(const vesk::SweepOutcome& outcome) {
    std::vector<std::string> lines;
    for (const auto& log : outcome.unreadable) {
        lines.push_back(log.path.filename().string() + ": " + log.reason + "\n");
    }
    std::sort(lines.begin(), lines.end());
    std::string named;
    for (const auto& line : lines) {
        named += line;
    }
    return named;
}
