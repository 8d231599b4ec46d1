#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "sweep/file_system.h"

namespace vesk {

// Where a log was read to and told of, by which the same log is known again: after a restart,
// when its folder comes back, or as a copy under another name.
struct Place {
    std::size_t folder = 0;  // among the folders followed
    std::filesystem::path name;
    FileIdentity identity;
    std::uint64_t size = 0;  // read to; its print and head of the bytes up to there
    std::uint64_t print = 0;
    std::uint64_t head = 0;
    std::uint64_t toldTo = 0;  // findings whose lines begin before it were told of
    bool firstTold = false;    // its first line, which is told of apart
};

// The places of the logs followed and of those that went away lately, kept in a state file of
// its own for each set of folders followed and report folder: written whole, as the report is,
// never torn, and read back at the next start.
class PlaceBook {
public:
    // stateFolder: where the file is; none keeps no file, and only remembers logs gone.
    PlaceBook(FileSystem& fs, const std::optional<std::filesystem::path>& stateFolder,
              const std::vector<std::filesystem::path>& folders,
              const std::filesystem::path& reportFolder);

    // Empty where no file is kept.
    const std::filesystem::path& file() const { return file_; }
    // The places kept by the last to follow these folders. Returns why there are none to go by:
    // no state file, or one that cannot be read, is damaged, or is another's.
    std::error_code load();
    // Whether places were kept: a log that matches none of them is new.
    bool loaded() const { return loaded_; }
    // Writes the places of the logs now followed, added one at a time, then those of the logs
    // gone lately: a line at a time, so that many logs take no more memory to save than a few.
    class Saving {
    public:
        void add(const Place& place);
        // Once every place is added: the file moved into place whole.
        std::error_code finish();

    private:
        friend class PlaceBook;
        explicit Saving(PlaceBook& book);
        void put(std::string_view bytes);
        void flush();

        PlaceBook& book_;
        std::unique_ptr<ReportDraft> draft_;
        std::error_code ec_;
        std::string pending_;
        std::uint64_t hash_;
    };
    Saving save();

    // A log that went away, remembered for a while in case it comes back.
    void departed(Place place);
    // The place, kept or of a log gone, that the log matches: by its folder and name, by the file
    // it is, or by how it begins, where the log's print at the place's length is the place's.
    // printAt gives the log's print at a length, or none where it is shorter or cannot be read.
    // The places of logs followed now are looked at too, for a copy of one.
    std::optional<Place> match(
        std::size_t folder, const std::filesystem::path& name, FileIdentity identity,
        std::uint64_t head,
        const std::function<std::optional<std::uint64_t>(std::uint64_t size)>& printAt,
        const std::vector<Place>& followed = {}) const;

private:
    FileSystem& fs_;
    std::filesystem::path file_;
    std::string owner_;  // the folders and report folder the file is for, as written in it
    bool loaded_ = false;
    std::vector<Place> kept_;     // as loaded
    std::deque<Place> departed_;  // newest last
};

}  // namespace vesk
