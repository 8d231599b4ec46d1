#include "follow/followed_folder.h"

#include <algorithm>
#include <map>
#include <set>

#include "follow/log_change.h"
#include "read/name_order.h"

namespace vesk {
namespace {

bool isGone(const std::error_code& ec) {
    return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
}

struct ByIdentity {
    bool operator()(const FileIdentity& a, const FileIdentity& b) const {
        return a.volume != b.volume ? a.volume < b.volume : a.file < b.file;
    }
};

}  // namespace

FollowedFolder::FollowedFolder(std::filesystem::path path, std::size_t index,
                               FollowContext& context)
    : path_(std::move(path)), index_(index), context_(context) {}

FollowedFolder::~FollowedFolder() {
    for (const auto& log : logs_) {
        drop(*log);
    }
}

void FollowedFolder::listedAs(const ListedFolder& listed, std::size_t logs) {
    state_ = State::present;
    identity_ = listed.folder()->identity();
    logs_.reserve(logs);
    byTag_.reserve(logs);
}

void FollowedFolder::adopt(std::unique_ptr<FollowedLog> log) {
    const auto at = std::lower_bound(byTag_.begin(), byTag_.end(), log->tag, byTag);
    byTag_.emplace(at, log->tag, log.get());
    logs_.push_back(std::move(log));
}

std::size_t FollowedFolder::indexOf(const FollowedLog& log) const {
    const auto at = std::lower_bound(logs_.begin(), logs_.end(), log.name(),
                                     [](const auto& entry, const std::filesystem::path& name) {
                                         return comesBefore(entry->name(), name);
                                     });
    return static_cast<std::size_t>(at - logs_.begin());
}

bool FollowedFolder::list() {
    const ListedFolder listed(context_.fs, path_, LogSizes::listed);
    if (listed.folder() == nullptr || listed.error()) {
        return lost(listed.error());
    }
    bool changed = state_ == State::gone;
    // A folder come back, as one restored from a copy: its logs are known by what they hold.
    restored_ = state_ == State::gone;
    state_ = State::present;
    failureReason_.clear();
    identity_ = listed.folder()->identity();

    const std::vector<const ListedFile*> now = listed.logs(context_.report());
    // The logs known, by name and by the file each was. A log keeps its name where it is the same
    // file; a file under another name is a log renamed; another file under a known name is that
    // log written anew; the rest are new.
    std::map<std::filesystem::path, std::size_t> byName;
    std::multimap<FileIdentity, std::size_t, ByIdentity> byFile;
    for (std::size_t i = 0; i < logs_.size(); ++i) {
        byName.emplace(logs_[i]->name(), i);
        if (logs_[i]->mark().identity.known()) {
            byFile.emplace(logs_[i]->mark().identity, i);
        }
    }
    std::vector<std::unique_ptr<FollowedLog>> kept(now.size());
    const auto take = [&](std::size_t at, std::size_t known) {
        kept[at] = std::move(logs_[known]);
    };
    for (std::size_t at = 0; at < now.size(); ++at) {
        const auto here = byName.find(now[at]->name);
        if (here != byName.end() && now[at]->identity.known() &&
            logs_[here->second]->mark().identity == now[at]->identity) {
            take(at, here->second);
        }
    }
    for (std::size_t at = 0; at < now.size(); ++at) {
        if (kept[at] != nullptr || !now[at]->identity.known()) {
            continue;
        }
        const auto [first, last] = byFile.equal_range(now[at]->identity);
        for (auto same = first; same != last; ++same) {
            if (logs_[same->second] != nullptr) {
                take(at, same->second);
                kept[at]->rename(now[at]->name);
                context_.unwatch(kept[at]->tag);
                kept[at]->tag = context_.watchFile(path_ / now[at]->name);
                changed = true;
                break;
            }
        }
    }
    for (std::size_t at = 0; at < now.size(); ++at) {
        if (kept[at] == nullptr) {
            const std::filesystem::path path = path_ / now[at]->name;
            const auto here = byName.find(now[at]->name);
            if (here != byName.end() && logs_[here->second] != nullptr) {
                // Another file in its place, as a link retargeted or a log replaced: its watch is
                // on the one that was there.
                take(at, here->second);
                context_.unwatch(kept[at]->tag);
                kept[at]->tag = context_.watchFile(path);
            } else {
                kept[at] = std::make_unique<FollowedLog>(path_, now[at]->name, context_.spool);
                kept[at]->tag = context_.watchFile(path);
                changed = true;
            }
        }
    }
    for (const auto& log : logs_) {  // gone, and their findings with them
        if (log != nullptr) {
            context_.departed(*this, *log);
            drop(*log);
            changed = true;
        }
    }
    logs_ = std::move(kept);
    indexTags();
    // Read once the logs are all in place: a new one may be a copy of another, or one gone.
    for (std::size_t at = 0; at < now.size(); ++at) {
        changed = readOnLog(*listed.folder(), *logs_[at], now[at]) || changed;
    }
    restored_ = false;
    return changed;
}

FollowedFolder::Looked FollowedFolder::readOnWatchedLog(FollowedLog& log) {
    std::error_code ec;
    const auto opened = context_.fs.openFolder(path_, ec);
    if (opened == nullptr || opened->identity() != identity_) {
        // gone, or another folder in its place
        return list() ? Looked::folderChanged : Looked::unchanged;
    }
    return readOnLog(*opened, log, nullptr) ? Looked::logChanged : Looked::unchanged;
}

FollowedLog* FollowedFolder::logWatchedBy(std::uint64_t tag) const {
    const auto found = std::lower_bound(byTag_.begin(), byTag_.end(), tag, byTag);
    return found != byTag_.end() && found->first == tag ? found->second : nullptr;
}

bool FollowedFolder::anyLogUnreadable() const {
    return std::any_of(logs_.begin(), logs_.end(),
                       [](const auto& log) { return static_cast<bool>(log->failure()); });
}

bool FollowedFolder::lost(const std::error_code& ec) {
    const bool gone = isGone(ec);
    if (state_ == State::present) {
        context_.events.folderGone({path_, ec.message()});
    }
    failureReason_ = ec.message();
    state_ = gone ? State::gone : State::unlisted;
    if (!gone) {
        return false;  // its logs kept as they were, until it can be listed
    }
    const bool hadLogs = !logs_.empty();
    for (const auto& log : logs_) {
        context_.departed(*this, *log);
        drop(*log);
    }
    logs_.clear();
    byTag_.clear();
    identity_ = {};
    return hadLogs;
}

// Reads on what grew and again what was written again. A log whose entry says it is as it was
// read is not opened.
bool FollowedFolder::readOnLog(LogFolder& folder, FollowedLog& log, const ListedFile* listed) {
    const LogMark& mark = log.mark();
    if (listed != nullptr && !log.failure() && mark.identity.known() &&
        listed->identity == mark.identity && listed->size == mark.size &&
        listed->times == mark.times) {
        return false;
    }
    std::error_code ec;
    const auto file = folder.openLog({log.name(), {}, 0, {}}, ec);
    if (file == nullptr) {
        if (isGone(ec)) {
            return false;  // gone since the listing: the next one, its folder's watch tells
        }
        log.failed(ec, context_.buffer);
        if (!log.named) {
            context_.events.unreadable({log.path(), ec.message()});
            log.named = true;
        }
        return true;
    }
    // A print that cannot be read makes it a rewrite, its error aside: the log is read again from
    // its start, and a read that fails there is named.
    const LogChange change = log.failure()            ? LogChange::rewritten
                             : !mark.identity.known() ? LogChange::grown
                                                      : tellChange(mark, *file, ec);
    if (change == LogChange::unchanged) {
        return false;
    }
    if (change == LogChange::rewritten) {
        log.restart(*file, context_.buffer);
    }
    if (restored_ && !mark.identity.known() && !log.failure()) {
        context_.recognize(*this, log, *file);  // what it told before it went, told not again
    }
    const auto before = log.signature();
    ec.clear();
    log.readOn(*file, context_.buffer, context_.telling, ec);
    if (ec && !log.named) {
        context_.events.unreadable({log.path(), ec.message()});
    }
    log.named = static_cast<bool>(ec);
    return change == LogChange::rewritten || log.signature() != before;
}

void FollowedFolder::drop(FollowedLog& log) {
    context_.unwatch(log.tag);
}

void FollowedFolder::indexTags() {
    byTag_.clear();
    for (const auto& log : logs_) {
        byTag_.emplace_back(log->tag, log.get());
    }
    std::sort(byTag_.begin(), byTag_.end());
    byTag_.shrink_to_fit();
}

}  // namespace vesk
