#include "follow/followed_folder.h"

#include <set>

#include "read/log_name.h"

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

FollowedFolder::FollowedFolder(std::filesystem::path path, FollowContext& context)
    : path_(std::move(path)), context_(context) {}

FollowedFolder::~FollowedFolder() {
    for (auto& [name, log] : logs_) {
        drop(log);
    }
}

bool FollowedFolder::list(bool announce) {
    std::error_code ec;
    auto opened = context_.fs.openFolder(path_, ec);
    std::vector<ListedFile> files;
    if (opened != nullptr) {
        files = opened->listFiles(true, ec);
    }
    if (opened == nullptr || ec) {
        return lost(ec);
    }
    // The folder is not held open between listings: one removed must go, for its watch to tell.
    bool changed = state_ == State::gone;
    state_ = State::present;
    trouble_.clear();
    identity_ = opened->identity();

    // The logs as listed now, in name order; the day's report among them is none.
    const bool reportHere = identity_ == context_.reportFolder;
    const std::filesystem::path report = context_.reportName();
    std::map<std::filesystem::path, const ListedFile*, ByName> now;
    std::set<FileIdentity, ByIdentity> identities;
    for (const ListedFile& file : files) {
        using Char = std::filesystem::path::value_type;
        if (hasLogExtension(std::basic_string_view<Char>(file.name.native())) &&
            !(reportHere && sameFileName(file.name, report))) {
            now.emplace(file.name, &file);
            identities.insert(file.identity);
        }
    }
    // The logs known, by the file each was: a file under another name is the same log renamed.
    std::map<FileIdentity, std::filesystem::path, ByIdentity> known;
    for (const auto& [name, log] : logs_) {
        if (log.log->mark().identity.known()) {
            known.emplace(log.log->mark().identity, name);
        }
    }
    std::map<std::filesystem::path, Log, ByName> kept;
    for (const auto& [name, listed] : now) {
        Log log;
        const auto same = listed->identity.known() ? known.find(listed->identity) : known.end();
        const auto here = logs_.find(name);
        if (same != known.end() && logs_.contains(same->second)) {
            log = std::move(logs_.extract(same->second).mapped());
            if (same->second != name) {
                log.log->moveTo(path_ / name);
                context_.unwatch(log.tag);
                log.tag = context_.watchFile(path_ / name);
                changed = true;
            }
        } else if (here != logs_.end() && !identities.contains(here->second.log->mark().identity)) {
            log = std::move(logs_.extract(here).mapped());  // another file in its place
        } else {
            log.log = std::make_unique<FollowedLog>(path_ / name, context_.spool);
            log.tag = context_.watchFile(path_ / name);
            changed = true;
        }
        changed = look(*opened, log, listed, announce) || changed;
        kept.emplace(name, std::move(log));
    }
    for (auto& [name, log] : logs_) {  // gone, and their findings with them
        drop(log);
        changed = true;
    }
    logs_ = std::move(kept);
    byTag_.clear();
    for (const auto& [name, log] : logs_) {
        byTag_.emplace(log.tag, name);
    }
    return changed;
}

FollowedFolder::Looked FollowedFolder::lookAt(std::uint64_t tag, bool announce) {
    const auto name = byTag_.find(tag);
    if (name == byTag_.end()) {
        return Looked::unchanged;
    }
    std::error_code ec;
    const auto opened = context_.fs.openFolder(path_, ec);
    if (opened == nullptr || opened->identity() != identity_) {
        // gone, or another folder in its place
        return list(announce) ? Looked::folderChanged : Looked::unchanged;
    }
    return look(*opened, logs_.at(name->second), nullptr, announce) ? Looked::logChanged
                                                                    : Looked::unchanged;
}

std::optional<std::filesystem::path> FollowedFolder::logWatchedBy(std::uint64_t tag) const {
    const auto name = byTag_.find(tag);
    return name != byTag_.end() ? std::optional(name->second) : std::nullopt;
}

bool FollowedFolder::anyLogUnreadable() const {
    for (const auto& [name, log] : logs_) {
        if (log.log->failure()) {
            return true;
        }
    }
    return false;
}

// Gone, its logs and their findings with it; or not to be listed for now, its logs kept as they
// were. Named once either way.
bool FollowedFolder::lost(const std::error_code& ec) {
    const bool gone = isGone(ec);
    if (state_ == State::present) {
        context_.events.folderGone({path_, ec.message()});
    }
    trouble_ = ec.message();
    state_ = gone ? State::gone : State::unlisted;
    if (!gone) {
        return false;
    }
    const bool hadLogs = !logs_.empty();
    for (auto& [name, log] : logs_) {
        drop(log);
    }
    logs_.clear();
    byTag_.clear();
    identity_ = {};
    return hadLogs;
}

// Reads on what grew and again what was written again. A log whose entry says it is as it was
// read is not opened.
bool FollowedFolder::look(LogFolder& folder, Log& log, const ListedFile* listed, bool announce) {
    FollowedLog& followed = *log.log;
    const LogMark& mark = followed.mark();
    if (listed != nullptr && !followed.failure() && mark.identity.known() &&
        listed->identity == mark.identity && listed->size == mark.size &&
        listed->times == mark.times) {
        return false;
    }
    std::error_code ec;
    const auto file = folder.openLog({followed.path().filename(), {}, 0, {}}, ec);
    if (file == nullptr) {
        if (isGone(ec)) {
            return false;  // gone since the listing: the next one, its folder's watch tells
        }
        followed.failed(ec.message(), context_.buffer);
        if (!log.named) {
            context_.events.unreadable({followed.path(), ec.message()});
            log.named = true;
        }
        return true;
    }
    const LogChange change = followed.failure() ? LogChange::rewritten
                             : mark.size == 0 && !mark.identity.known()
                                 ? LogChange::grown
                                 : tellChange(mark, *file, ec);
    if (change == LogChange::unchanged) {
        return false;
    }
    if (change == LogChange::rewritten) {
        followed.restart(context_.buffer);
    }
    const auto before = followed.signature();
    followed.readOn(*file, context_.buffer, announce ? &context_.events : nullptr, ec);
    if (ec && !log.named) {
        context_.events.unreadable({followed.path(), ec.message()});
    }
    log.named = static_cast<bool>(ec);
    return change == LogChange::rewritten || followed.signature() != before;
}

void FollowedFolder::drop(Log& log) {
    context_.unwatch(log.tag);
}

}  // namespace vesk
