#include "follow/place_book.h"

#include "engine/fnv_hash.h"
#include "engine/log_print.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace vesk {
namespace {

constexpr std::string_view kFirstLine = "veskparser-sweep follow state 1\n";
// Logs gone remembered at most: enough for a folder of logs to come back, not so many that the
// state file grows without end.
constexpr std::size_t kMostDeparted = 10000;
// Candidates looked at for one log, each at the cost of reading its print.
constexpr std::size_t kMostCandidates = 8;
// What is gathered before it is written.
constexpr std::size_t kWriteEvery = 64 * 1024;

std::string hexOf(std::uint64_t number) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(number));
    return text;
}

// A path's code units, each as hex digits, so that any name survives: bytes on POSIX, UTF-16
// units on Windows.
std::string hexOf(const std::filesystem::path& path) {
    using Unit = std::filesystem::path::value_type;
    constexpr int kDigits = 2 * sizeof(Unit);
    std::string text;
    for (const Unit unit : path.native()) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%0*x", kDigits,
                      static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(unit)));
        text += digits;
    }
    return text.empty() ? "-" : text;
}

std::optional<std::filesystem::path> pathOf(std::string_view text) {
    using Unit = std::filesystem::path::value_type;
    constexpr std::size_t kDigits = 2 * sizeof(Unit);
    std::filesystem::path::string_type units;
    if (text == "-") {
        return std::filesystem::path();
    }
    if (text.size() % kDigits != 0) {
        return std::nullopt;
    }
    for (std::size_t at = 0; at < text.size(); at += kDigits) {
        unsigned unit = 0;
        const auto parsed = std::from_chars(text.data() + at, text.data() + at + kDigits, unit, 16);
        if (parsed.ec != std::errc() || parsed.ptr != text.data() + at + kDigits) {
            return std::nullopt;
        }
        units += static_cast<Unit>(unit);
    }
    return std::filesystem::path(units);
}

std::string lineOf(std::string_view kind, const Place& place) {
    std::ostringstream line;
    line << kind << ' ' << place.folder << ' ' << hexOf(place.name) << ' ' << place.identity.volume
         << ' ' << place.identity.file << ' ' << place.size << ' ' << place.print << ' '
         << place.head << ' ' << place.toldTo << ' ' << (place.firstTold ? 1 : 0) << '\n';
    return line.str();
}

std::optional<Place> placeOf(std::istringstream& fields) {
    Place place;
    std::string name;
    int firstTold = 0;
    if (!(fields >> place.folder >> name >> place.identity.volume >> place.identity.file >>
          place.size >> place.print >> place.head >> place.toldTo >> firstTold) ||
        (firstTold != 0 && firstTold != 1)) {
        return std::nullopt;
    }
    const auto path = pathOf(name);
    if (!path) {
        return std::nullopt;
    }
    place.name = *path;
    place.firstTold = firstTold == 1;
    return place;
}

std::error_code readWhole(FileSystem& fs, const std::filesystem::path& file, std::string& bytes) {
    std::error_code ec;
    const auto folder = fs.openFolder(file.parent_path(), ec);
    if (folder == nullptr) {
        return ec;
    }
    const auto opened = folder->openLog({file.filename(), {}, 0, {}}, ec);
    if (opened == nullptr) {
        return ec;
    }
    bytes.resize(static_cast<std::size_t>(opened->size()));
    for (std::size_t done = 0; done < bytes.size() && !ec;) {
        const std::size_t n = opened->readAt(done, bytes.data() + done, bytes.size() - done, ec);
        if (n == 0 && !ec) {
            ec = SweepErrc::shrank;
        }
        done += n;
    }
    return ec;
}

}  // namespace

PlaceBook::PlaceBook(FileSystem& fs, const std::optional<std::filesystem::path>& stateFolder,
                     const std::vector<std::filesystem::path>& folders,
                     const std::filesystem::path& reportFolder)
    : fs_(fs) {
    for (const auto& folder : folders) {
        owner_ += "folder " + hexOf(folder) + "\n";
    }
    owner_ += "report " + hexOf(reportFolder) + "\n";
    if (stateFolder) {
        file_ = *stateFolder / ("follow-" + hexOf(fnv(owner_)) + ".state");
    }
}

std::error_code PlaceBook::load() {
    if (file_.empty()) {
        return {};
    }
    std::string bytes;
    if (const std::error_code ec = readWhole(fs_, file_, bytes)) {
        return ec;
    }
    // The file ends with the hash of all before it: one cut short or changed is no use.
    constexpr std::size_t kEnd = 4 + 16 + 1;  // "end " and the hash's digits
    const std::size_t last = bytes.size() >= kEnd ? bytes.size() - kEnd : 0;
    if (!bytes.starts_with(kFirstLine) || last < kFirstLine.size() ||
        bytes.compare(last, kEnd,
                      "end " + hexOf(fnv(std::string_view(bytes).substr(0, last))) + "\n") != 0) {
        return SweepErrc::stateDamaged;
    }
    const std::string_view body =
        std::string_view(bytes).substr(kFirstLine.size(), last - kFirstLine.size());
    if (!body.starts_with(owner_)) {
        return SweepErrc::stateForeign;
    }
    std::istringstream lines(std::string(body.substr(owner_.size())));
    std::vector<Place> kept;
    std::deque<Place> departed;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        const auto place = placeOf(fields);
        if (!place || (kind != "log" && kind != "gone")) {
            return SweepErrc::stateDamaged;
        }
        (kind == "log" ? kept.emplace_back(*place) : departed.emplace_back(*place));
    }
    kept_ = std::move(kept);
    departed_ = std::move(departed);
    loaded_ = true;
    return {};
}

PlaceBook::Saving PlaceBook::save() {
    return Saving(*this);
}

// Written as the report is: a draft of its own, moved into place once whole and flushed.
PlaceBook::Saving::Saving(PlaceBook& book) : book_(book), hash_(kFnvStart) {
    if (!book_.file_.empty()) {
        draft_ = book_.fs_.draftReport(book_.file_, ec_);
        put(kFirstLine);
        put(book_.owner_);
    }
}

void PlaceBook::Saving::add(const Place& place) {
    if (draft_ != nullptr) {
        put(lineOf("log", place));
    }
}

void PlaceBook::Saving::put(std::string_view bytes) {
    hash_ = fnvOn(hash_, bytes);
    pending_ += bytes;
    if (pending_.size() >= kWriteEvery) {
        flush();
    }
}

void PlaceBook::Saving::flush() {
    if (draft_ != nullptr && !ec_) {
        draft_->write(pending_.data(), pending_.size(), ec_);
    }
    pending_.clear();
}

std::error_code PlaceBook::Saving::finish() {
    if (draft_ == nullptr) {
        return ec_;
    }
    for (const Place& place : book_.departed_) {
        put(lineOf("gone", place));
    }
    const std::string end = "end " + hexOf(hash_) + "\n";
    pending_ += end;
    flush();
    if (!ec_) {
        draft_->finish(ec_);
    }
    if (!ec_) {
        draft_->publish(ec_);
    }
    return ec_;
}

void PlaceBook::departed(Place place) {
    departed_.push_back(std::move(place));
    if (departed_.size() > kMostDeparted) {
        departed_.pop_front();
    }
}

std::optional<Place> PlaceBook::match(
    std::size_t folder, const std::filesystem::path& name, FileIdentity identity,
    std::uint64_t head,
    const std::function<std::optional<std::uint64_t>(std::uint64_t size)>& printAt,
    const std::vector<Place>& followed) const {
    std::vector<const Place*> candidates;
    const auto consider = [&](auto matches) {
        const auto look = [&](const Place& place) {
            if (candidates.size() < kMostCandidates && matches(place) &&
                std::find(candidates.begin(), candidates.end(), &place) == candidates.end()) {
                candidates.push_back(&place);
            }
        };
        std::for_each(departed_.rbegin(), departed_.rend(), look);
        std::for_each(kept_.begin(), kept_.end(), look);
        std::for_each(followed.begin(), followed.end(), look);
    };
    consider([&](const Place& place) { return place.folder == folder && place.name == name; });
    consider([&](const Place& place) { return identity.known() && place.identity == identity; });
    // By how it begins; a log shorter than its head began with fewer bytes than this one may.
    consider([&](const Place& place) {
        return place.head == head || (place.folder == folder && place.size < LogPrint::kEnds);
    });
    for (const Place* candidate : candidates) {
        if (const auto print = printAt(candidate->size); print && *print == candidate->print) {
            return *candidate;
        }
    }
    return std::nullopt;
}

}  // namespace vesk
