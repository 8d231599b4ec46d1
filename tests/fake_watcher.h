#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

#include "sweep/change_watcher.h"
#include "sweep/file_system.h"

// Watches kept as the system keeps them, each on what its path led to when it was set, but told
// of changes by the test: a folder's watch tells of its entries coming, going and changing, a
// file's of writes to it through whatever name led to it.
class FakeWatcher final : public vesk::ChangeWatcher {
public:
    bool watchFolder(std::uint64_t tag, const std::filesystem::path& folder) override {
        return add(tag, folder, true);
    }
    void watchFile(std::uint64_t tag, const std::filesystem::path& file) override {
        add(tag, file, false);
    }
    void unwatch(std::uint64_t tag) override { watches_.erase(tag); }
    Wake wait(Deadline, vesk::Changes& changes) override {
        changes = std::exchange(pending_, {});
        return changes.tags.empty() && !changes.everything ? Wake::timeout : Wake::changed;
    }
    void wake() override {}

    // What the paths lead to before a change...
    void before(const std::vector<std::filesystem::path>& paths) { seen_ = identities(paths); }
    // ...and after it: every watch on what they led to then or lead to now tells of it.
    void after(const std::vector<std::filesystem::path>& paths) {
        for (const auto& identity : identities(paths)) {
            seen_.push_back(identity);
        }
        for (const auto& [tag, on] : watches_) {
            for (const auto& identity : seen_) {
                if (on == identity) {
                    pending_.tags.push_back(tag);
                    break;
                }
            }
        }
        seen_.clear();
    }
    void everything() { pending_.everything = true; }
    std::size_t watches() const { return watches_.size(); }

private:
    static vesk::FileIdentity identityOf(const std::filesystem::path& path) {
        std::error_code ec;
        return vesk::makeNativeFileSystem()->lookAt(path, ec).identity;
    }
    static std::vector<vesk::FileIdentity> identities(
        const std::vector<std::filesystem::path>& paths) {
        std::vector<vesk::FileIdentity> found;
        for (const auto& path : paths) {
            if (const auto identity = identityOf(path); identity.known()) {
                found.push_back(identity);
            }
        }
        return found;
    }
    bool add(std::uint64_t tag, const std::filesystem::path& path, bool) {
        const auto identity = identityOf(path);
        if (!identity.known()) {
            return false;
        }
        watches_[tag] = identity;
        return true;
    }

    std::map<std::uint64_t, vesk::FileIdentity> watches_;
    std::vector<vesk::FileIdentity> seen_;
    vesk::Changes pending_;
};
