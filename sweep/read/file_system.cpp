#include "sweep/file_system.h"

#include <functional>
#include <string>

#include "read/name_order.h"

namespace vesk {
namespace {

class SweepCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "vesk"; }
    std::string message(int code) const override {
        switch (static_cast<SweepErrc>(code)) {
            case SweepErrc::notOrdinaryFile:
                return "Not an ordinary file";
            case SweepErrc::replaced:
                return "Replaced after the folder was listed";
            case SweepErrc::shrank:
                return "Shorter than when it was opened";
            case SweepErrc::stateDamaged:
                return "Damaged, or not a place kept by following";
            case SweepErrc::stateForeign:
                return "Kept for other folders";
        }
        return "Unknown error";
    }
};

}  // namespace

std::vector<std::filesystem::path> FileSystem::listFiles(const std::filesystem::path& directory,
                                                         std::error_code& ec) {
    std::vector<std::filesystem::path> names;
    const auto folder = openFolder(directory, ec);
    if (folder == nullptr) {
        return names;
    }
    for (auto& file : folder->listFiles(LogSizes::skipped, ec)) {
        names.push_back(std::move(file.name));
    }
    sortByName(names, std::identity());
    return names;
}

void LogFolder::readLogs(std::span<LogRead> logs) {
    for (LogRead& log : logs) {
        const auto file = openLog(*log.log, log.ec);
        if (file == nullptr) {
            continue;
        }
        log.size = file->size();
        log.identity = file->identity();
        log.times = file->times();
        log.larger = log.size > log.into.size();
        while (!log.larger && log.read < log.size && !log.ec) {
            const std::size_t n =
                file->readAt(log.read, log.into.data() + log.read,
                             static_cast<std::size_t>(log.size) - log.read, log.ec);
            if (n == 0 && !log.ec) {
                log.ec = SweepErrc::shrank;
            }
            log.read += n;
        }
    }
}

std::error_code make_error_code(SweepErrc e) {
    static const SweepCategory category;
    return {static_cast<int>(e), category};
}

}  // namespace vesk
