#include "follow/following.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "fake_watcher.h"
#include "sweep/follow.h"
#include "sweep_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A finding by the log that holds it, where its line begins there, and its text.
struct Place {
    std::string log;
    std::uint64_t offset = 0;
    std::string line;
    friend auto operator<=>(const Place&, const Place&) = default;
};
using Places = std::multiset<Place>;

std::string show(const Places& places) {
    std::string shown;
    for (const auto& place : places) {
        shown += '[';
        shown += fs::path(place.log).filename().string() + "@" + std::to_string(place.offset) +
                 " " + place.line + "] ";
    }
    return shown;
}

Places without(Places places, const Places& gone) {
    for (const auto& place : gone) {
        if (const auto at = places.find(place); at != places.end()) {
            places.erase(at);
        }
    }
    return places;
}

// The findings told of, each where it lies.
struct Told : vesk::FollowEvents {
    void finding(const vesk::Finding& finding) override {
        places.insert({finding.log.string(), finding.offset, std::string(finding.line)});
    }
    Places places;
};

// Following driven step by step, on a clock the test moves and a watcher the test tells, over
// folders that change as servers, rotators and deploys change them. After each step what was told
// is checked before anything is cleared, and once the changes are published the report is what a
// run writes then.
class FollowModel {
public:
    FollowModel(std::uint32_t seed, bool reportAmongLogs) : random_(seed) {
        fs::create_directory(releases_ / "v1");
        fs::create_directory(releases_ / "v2");
        // A folder followed through a link, where the system lets the test make one.
        std::error_code ec;
        fs::create_directory_symlink(releases_ / "v1", current(), ec);
        linked_ = !ec;
        paths_ = {folders_.logs.path(), second_.path()};
        if (linked_) {
            paths_.push_back(current());
        }
        if (reportAmongLogs) {
            paths_.push_back(folders_.reports.path());
        }
        for (int i = 0; i < 3; ++i) {
            write(logs(0) / name(), lines(), false);
        }
        write(releases_ / "v2" / name(), lines(), false);
    }

    void start() {
        following_.emplace(folders_.fileSystem, folders_.clock, folders_.reports.path(), paths_,
                           told_, vesk::SweepSettings{});
        following_->watchWith(watcher_);
        following_->start();
        EXPECT_TRUE(told_.places.empty()) << "what was there when following began is not new";
        // What had ended then is as good as told of; a line still open is told of once it ends.
        const Places found = aRunFinds();
        everTold_ = without(found, openIn(found, openLines()));
        checkReport("the first sweep");
    }

    void step(int number) {
        const Places before = aRunFinds();
        const auto openBefore = openLines();
        const Change change = makeChange();
        const std::string what = "step " + std::to_string(number) + ": " + change.what;
        if (random_() % 8 == 0) {
            watcher_.everything();  // as a look once a second would
        }
        vesk::Changes changes;
        watcher_.wait(std::nullopt, changes);
        following_->readChanges(changes);
        checkTold(what, change, before, openBefore);
        folders_.clock.time += 300ms;  // the burst gathered
        const int drafts = folders_.fileSystem.drafts;
        following_->publishWhenDue();
        if (folders_.fileSystem.draftFails) {
            // Tried again once the delay is over, not at each change meanwhile.
            following_->readChanges({{}, true});
            following_->publishWhenDue();
            EXPECT_LE(folders_.fileSystem.drafts - drafts, 1) << what << ": attempts at once";
            if (random_() % 2 == 0) {
                folders_.fileSystem.draftFails.clear();
                folders_.clock.time += 31s;  // the longest delay
                following_->publishWhenDue();
            }
        }
        if (!folders_.fileSystem.draftFails) {
            checkReport(what);
        }
    }

private:
    struct Change {
        std::string what;
        enum { tells, quiet, appends, rewrites } kind;
        std::vector<fs::path> touched = {};  // the files and folders whose watches tell of it
        std::vector<fs::path> renewed = {};  // logs, and folders of logs, that hold other lines now
        std::pair<fs::path, fs::path> renamed = {};
        // Logs written again that begin as they did, and how long they are now: a line that
        // begins past that is new.
        std::map<fs::path, std::uint64_t> rewritten = {};
    };

    fs::path logs(std::size_t index) const { return paths_.at(index); }
    fs::path current() const { return releases_ / "current"; }

    std::string name() {
        static const char* kNames[] = {"a.log", "b.log", "C.LOG", "server.log"};
        return kNames[random_() % std::size(kNames)];
    }
    std::string lines(int most = 6) {
        static const std::vector<std::string> kLines = {M, "[0031.64] " + M, "quiet", ""};
        std::string text;
        for (int i = 0, n = 1 + static_cast<int>(random_() % most); i < n; ++i) {
            const std::size_t pick = random_() % (kLines.size() + 1);
            text += (pick < kLines.size() ? kLines[pick] : "found " + std::to_string(random_())) +
                    (random_() % 4 == 0 ? "\n" : "\r\n");
        }
        return text;
    }
    static void write(const fs::path& path, const std::string& text, bool append) {
        std::ofstream(path, append ? std::ios::app | std::ios::binary : std::ios::binary) << text;
    }
    fs::path anyLog() {
        std::vector<fs::path> all;
        for (const auto& folder : paths_) {
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
                const std::string name = it->path().filename().string();
                const std::string extension = it->path().extension().string();
                if ((extension == ".log" || extension == ".LOG") &&
                    !name.starts_with("VOReradivu_")) {
                    all.push_back(it->path());
                }
            }
        }
        return all.empty() ? logs(0) / name() : all[random_() % all.size()];
    }

    // Every file of the folders followed, by the file it leads to.
    std::map<fs::path, std::uint64_t> namesOfFiles() const {
        std::map<fs::path, std::uint64_t> names;
        for (const auto& folder : paths_) {
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
                names[it->path()] =
                    vesk::makeNativeFileSystem()->lookAt(it->path(), ec).identity.file;
            }
        }
        return names;
    }

    // Picks a change and makes it, the watches told of what it touched.
    Change makeChange() {
        const fs::path log = anyLog();
        const fs::path folder = log.parent_path();
        Change change = pick(log, folder);
        // A file written again is so under every name that leads to it.
        const auto files = namesOfFiles();
        for (const auto& path : std::vector(change.renewed)) {
            std::error_code ec;
            const auto file = vesk::makeNativeFileSystem()->lookAt(path, ec).identity.file;
            for (const auto& [name, same] : files) {
                if (same == file && name != path) {
                    change.renewed.push_back(name);
                }
            }
        }
        std::map<fs::path, std::string> heads;
        for (const auto& path : change.renewed) {
            heads[path] = readBytes(path).substr(0, 64);
        }
        watcher_.before(change.touched);
        act_();
        watcher_.after(change.touched);
        // A log that begins as it did keeps what it told of: its lines that come back in order
        // are not told of again.
        std::erase_if(change.renewed, [&](const fs::path& path) {
            const std::string& head = heads[path];
            const std::string bytes = readBytes(path);
            if (head.empty() || !fs::is_regular_file(path) ||
                bytes.substr(0, head.size()) != head) {
                return false;
            }
            change.rewritten[path] = bytes.size();
            return true;
        });
        return change;
    }

    Change pick(const fs::path& log, const fs::path& folder) {
        std::error_code ec;
        const auto size = fs::exists(log) ? fs::file_size(log) : 0;
        // A write tells the log's own watch, and its folder's where it makes the log.
        const std::vector<fs::path> written =
            fs::exists(log) ? std::vector{log} : std::vector{log, folder};
        switch (random_() % 17) {
            case 0:
            case 1: {
                const std::string text = lines();
                // An empty line whose LF is the last byte may begin UTF-16LE text ("\n\0"...):
                // it is told of once what follows shows which.
                act_ = [=] { write(log, text, true); };
                return {"lines appended to " + log.string(), Change::appends, written};
            }
            case 2: {
                const std::string text = M.substr(0, random_() % M.size());
                act_ = [=] { write(log, text, true); };
                return {"a line begun in " + log.string(), Change::tells, written};
            }
            case 3: {
                std::string text = lines(12);
                text.resize(size, 'r');
                act_ = [=] { write(log, text, false); };
                return {
                    "written again as long in " + log.string(), Change::rewrites, written, {log}};
            }
            case 4: {
                const fs::path copy = folder / ("copy-" + log.filename().string());
                act_ = [=] {
                    std::error_code ignored;
                    fs::copy_file(log, copy, fs::copy_options::overwrite_existing, ignored);
                    write(log, "", false);
                };
                return {"copied and truncated: " + log.string(),
                        Change::rewrites,
                        {log, copy, folder},
                        {log, copy}};
            }
            case 5: {
                const fs::path renamed = folder / ("old-" + log.filename().string());
                act_ = [=] {
                    std::error_code ignored;
                    fs::rename(log, renamed, ignored);
                };
                return {
                    "renamed away: " + log.string(), Change::quiet, {folder}, {}, {log, renamed}};
            }
            case 6:
                act_ = [=] {
                    std::error_code ignored;
                    fs::remove(log, ignored);
                };
                return {"removed: " + log.string(), Change::quiet, {log, folder}, {log}};
            case 7: {
                const fs::path added = folder / name();
                const std::string text = lines();
                act_ = [=] { write(added, text, true); };
                return {"a log begun in " + folder.string(), Change::tells, {added, folder}};
            }
            case 8:
                act_ = [=] {
                    std::error_code ignored;
                    fs::resize_file(log, size / 2, ignored);
                };
                return {"shrunk: " + log.string(), Change::rewrites, {log}, {log}};
            case 9:
                if (fs::exists(second_.path())) {
                    act_ = [this] { fs::remove_all(second_.path()); };
                    return {"the second folder removed",
                            Change::quiet,
                            {second_.path(), second_.path().parent_path()},
                            {second_.path()}};
                }
                act_ = [this] {
                    fs::create_directory(second_.path());
                    write(second_ / "a.log", lines(), false);
                };
                return {
                    "the second folder made again", Change::tells, {second_.path().parent_path()}};
            case 10: {
                const fs::path link = folder / "linked.log";
                const fs::path target = outside_ / (random_() % 2 ? "one.log" : "two.log");
                const std::string text = lines();
                act_ = [=] {
                    std::error_code ignored;
                    write(target, text, true);
                    fs::remove(link, ignored);
                    fs::create_symlink(target, link, ignored);
                };
                return {"a linked log pointed at " + target.string() + " in " + folder.string(),
                        Change::rewrites,
                        {link, target, folder},
                        {link}};
            }
            case 11: {
                if (!linked_) {
                    break;
                }
                const fs::path to =
                    releases_ / (fs::read_symlink(current(), ec) == releases_ / "v1" ? "v2" : "v1");
                act_ = [this, to] {
                    std::error_code ignored;
                    fs::remove(current(), ignored);
                    fs::create_directory_symlink(to, current(), ignored);
                };
                return {"the link to the release pointed at " + to.string(),
                        Change::rewrites,
                        {releases_.path()},
                        {current()}};
            }
            case 12: {
                // Written again as long, its first and last bytes and its times as they were.
                std::string text = readBytes(log);
                if (text.size() < 3) {
                    break;
                }
                text[text.size() / 2] = text[text.size() / 2] == 'x' ? 'y' : 'x';
                act_ = [=] {
                    const auto written = fs::last_write_time(log);
                    write(log, text, false);
                    fs::last_write_time(log, written);
                };
                return {"written again in place, its time put back: " + log.string(),
                        Change::rewrites,
                        {log},
                        {log}};
            }
            case 13: {
                const fs::path report = folders_.reportPath();
                act_ = [=] {
                    std::error_code ignored;
                    fs::resize_file(report, 0, ignored);
                };
                return {"the report emptied in place", Change::quiet, {report}};
            }
            case 14:
                folders_.fileSystem.draftFails =
                    std::make_error_code(std::errc::no_space_on_device);
                act_ = [this, log] { write(log, lines(), true); };
                return {"the disk full, lines appended to " + log.string(), Change::tells, written};
            case 15: {
                // Truncated and written again past where it was read, beginning as it did.
                std::string text = readBytes(log).substr(0, 64) + lines(12) + lines(12);
                act_ = [=] { write(log, text, false); };
                return {"truncated and written again past its end: " + log.string(),
                        Change::rewrites,
                        written,
                        {log}};
            }
            default:
                break;
        }
        act_ = [=] {
            std::error_code ignored;
            fs::last_write_time(log, fs::file_time_type::clock::now(), ignored);
        };
        return {"touched: " + log.string(), Change::quiet, {log, folder}};
    }

    // The report a run writes now, and the findings it tells of.
    std::string aRunWrites(Places* findings = nullptr) {
        std::vector<vesk::ListedFolder> listed;
        std::vector<const vesk::ListedFolder*> swept;
        for (const auto& folder : paths_) {
            listed.emplace_back(runFileSystem_, folder, vesk::LogSizes::skipped);
        }
        for (const auto& folder : listed) {
            swept.push_back(&folder);
        }
        Told told;
        vesk::Sweep(runFileSystem_, folders_.clock, folders_.reports.path())
            .run(swept, told, {}, {findings != nullptr, nullptr});
        if (findings != nullptr) {
            *findings = std::move(told.places);
        }
        return folders_.report();
    }
    Places aRunFinds() {
        Places findings;
        aRunWrites(&findings);
        return findings;
    }

    // Where each log's last line begins, where it has not ended: a run reports it, but it is
    // told of once it ends. A line end alone at a line's start is such a line too, as it may
    // begin UTF-16LE text ("\n\0...") and is known for what it is once more comes.
    std::map<std::string, std::uint64_t> openLines() const {
        std::map<std::string, std::uint64_t> open;
        const auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
        for (const auto& folder : paths_) {
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
                const std::string bytes = readBytes(it->path());
                const std::size_t n = bytes.size();
                const auto last = bytes.find_last_of("\r\n");
                std::uint64_t from = last == std::string::npos ? 0 : last + 1;
                if (n > 0 && isLineEnd(bytes[n - 1]) &&
                    (n == 1 || (isLineEnd(bytes[n - 2]) && bytes.compare(n - 2, 2, "\r\n") != 0))) {
                    from = n - 1;
                }
                open[it->path().string()] = from;
            }
        }
        return open;
    }

    static Places openIn(const Places& places, const std::map<std::string, std::uint64_t>& open) {
        Places in;
        for (const auto& place : places) {
            if (const auto at = open.find(place.log);
                at != open.end() && place.offset >= at->second) {
                in.insert(place);
            }
        }
        return in;
    }

    // Findings as the change leaves them under their logs' names: moved with a log renamed,
    // forgotten with a log gone, written again otherwise or past its new end, or whose line is no
    // longer there.
    static Places adjusted(Places places, const Change& change) {
        const auto under = [](const Place& place, const fs::path& path) {
            return !path.empty() &&
                   (place.log == path.string() || place.log.starts_with(path.string() + "/"));
        };
        std::erase_if(places, [&](const Place& place) {
            const auto rewritten = change.rewritten.find(place.log);
            return std::any_of(change.renewed.begin(), change.renewed.end(),
                               [&](const fs::path& path) { return under(place, path); }) ||
                   under(place, change.renamed.second) ||
                   (rewritten != change.rewritten.end() && place.offset >= rewritten->second);
        });
        Places moved;
        std::erase_if(places, [&](const Place& place) {
            if (under(place, change.renamed.first)) {
                moved.insert({change.renamed.second.string(), place.offset, place.line});
                return true;
            }
            return false;
        });
        places.insert(moved.begin(), moved.end());
        std::erase_if(places, [](const Place& place) {
            return readBytes(place.log).substr(0, place.offset + place.line.size()) !=
                   readBytes(place.log).substr(0, place.offset) + place.line;
        });
        return places;
    }

    // Told of: each finding an append adds, once its line ended, and nothing that was a finding
    // before but a line that ended now, nor anything told of before; each where its log holds it.
    void checkTold(const std::string& what, const Change& change, const Places& before,
                   const std::map<std::string, std::uint64_t>& openBefore) {
        const Places now = aRunFinds();
        const Places added = without(now, adjusted(before, change));
        everTold_ = adjusted(everTold_, change);
        Places allowed = added;
        for (const auto& place : openIn(now, openBefore)) {
            allowed.insert(place);  // a line that ended now
        }
        if (change.kind == Change::rewrites) {
            EXPECT_EQ(show(without(told_.places, now)), "") << what << ": told of what it holds";
        } else {
            EXPECT_EQ(show(without(told_.places, allowed)), "")
                << what << ": told of what it added only, which is " << show(added);
            Places again = told_.places;
            again = without(again, without(again, everTold_));
            EXPECT_EQ(show(again), "") << what << ": told of again";
        }
        if (change.kind == Change::appends) {
            EXPECT_EQ(show(without(without(without(added, openIn(added, openLines())), everTold_),
                                   told_.places)),
                      "")
                << what << ": told of each finding it added";
        }
        for (const auto& told : told_.places) {
            EXPECT_EQ(readBytes(told.log).substr(told.offset, told.line.size()), told.line)
                << what << ": where " << told.line << " begins in " << told.log;
        }
        everTold_.insert(told_.places.begin(), told_.places.end());
        told_.places.clear();
    }

    void checkReport(const std::string& what) {
        ASSERT_EQ(folders_.report(), aRunWrites()) << what;
    }

    std::mt19937 random_;
    SweepFolders folders_;
    TempFolder second_;
    TempFolder outside_;
    TempFolder releases_;
    bool linked_ = true;
    ForwardingFileSystem runFileSystem_;
    std::vector<fs::path> paths_;
    std::function<void()> act_;
    FakeWatcher watcher_;
    Told told_;
    Places everTold_;
    std::optional<vesk::Following> following_;
};

// Seeds that once found a fault run first; VESK_MODEL_SEEDS=N runs N more, from 1000 on.
std::vector<std::uint32_t> seeds() {
    std::vector<std::uint32_t> seeds = {105, 20261208, 1, 2, 3, 4, 5, 6, 7, 8, 1076, 1127, 1244};
    const char* more = std::getenv("VESK_MODEL_SEEDS");
    for (int i = 0; more != nullptr && i < std::atoi(more); ++i) {
        seeds.push_back(1000 + static_cast<std::uint32_t>(i));
    }
    return seeds;
}

TEST(Follower, KeepsTheReportWhatARunWritesAndTellsOfEachNewFindingOnce) {
    for (const std::uint32_t seed : seeds()) {
        SCOPED_TRACE(seed);
        FollowModel model(seed, seed % 2 == 0);
        model.start();
        for (int step = 0; step < 80 && !::testing::Test::HasFatalFailure(); ++step) {
            model.step(step);
        }
    }
}

// Following over the folders given, on the fixture's clock, with a watcher the test tells.
struct Followed {
    explicit Followed(SweepFolders& folders, std::vector<fs::path> paths = {},
                      vesk::SweepSettings settings = {})
        : following(folders.fileSystem, folders.clock, folders.reports.path(),
                    paths.empty() ? std::vector{folders.logs.path()} : std::move(paths), told,
                    settings) {
        following.watchWith(watcher);
        following.start();
    }
    // The files written, as their watches tell of it.
    void written(const std::vector<fs::path>& files, const std::function<void()>& write) {
        watcher.before(files);
        write();
        watcher.after(files);
        vesk::Changes changes;
        watcher.wait(std::nullopt, changes);
        following.readChanges(changes);
    }
    std::vector<std::string> toldLines() const {
        std::vector<std::string> lines;
        for (const auto& place : told.places) {
            lines.push_back(place.line);
        }
        return lines;
    }

    struct Events : Told {
        void folderGone(const vesk::UnreadableLog&) override { ++gone; }
        void reportFailed(const vesk::ReportFailure&) override { ++failures; }
        int gone = 0;
        int failures = 0;
    } told;
    FakeWatcher watcher;
    vesk::Following following;
};

void append(const fs::path& log, const std::string& text) {
    std::ofstream(log, std::ios::app | std::ios::binary) << text;
}
void overwrite(const fs::path& log, const std::string& text) {
    std::ofstream(log, std::ios::binary) << text;
}
// A folder's files copied into another, made if missing, as a backup is restored.
void copyFiles(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const auto& file : fs::directory_iterator(from)) {
        fs::copy_file(file.path(), to / file.path().filename(),
                      fs::copy_options::overwrite_existing);
    }
}

// An append that leaves a log ending on a marker line makes findings of the first lines after
// it: through empty logs, from folder to folder, up to the first log that carried the flag
// already. Each is told of once.
TEST(Follower, TellsOfTheFirstLinesAnAppendMakesFindings) {
    struct Case {
        const char* what;
        std::vector<std::string> first;  // a.log, b.log, c.log in the first folder
        std::string second;              // d.log in the second
        std::vector<std::string> told;
    };
    const std::vector<Case> cases = {
        {"the next log's", {"quiet\r\n", "b1\r\nb2\r\n", "c1\r\n"}, "d1\r\n", {"b1"}},
        {"through an empty log", {"quiet\r\n", "", "c1\r\n"}, "d1\r\n", {"c1"}},
        {"into the next folder", {"quiet\r\n", "", ""}, "d1\r\n", {"d1"}},
        {"up to a log that carried it already", {"quiet\r\n", M + "\r\n", "c1\r\n"}, "d1\r\n", {M}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SweepFolders folders;
        TempFolder second;
        const char* names[] = {"a.log", "b.log", "c.log"};
        for (std::size_t i = 0; i < c.first.size(); ++i) {
            folders.logs.write(names[i], c.first[i]);
        }
        second.write("d.log", c.second);
        Followed followed(folders, {folders.logs.path(), second.path()});
        followed.written({folders.logs / "a.log"},
                         [&] { append(folders.logs / "a.log", M + "\r\n"); });
        EXPECT_EQ(followed.toldLines(), c.told);
    }
}

// UTF-16LE findings are told of as their lines end, as 8-bit ones are, each where its line
// begins in the log.
TEST(Follower, TellsOfUtf16FindingsAsTheirLinesEnd) {
    SweepFolders folders;
    folders.logs.write("a.log", "x\r\n");
    Followed followed(folders);
    const std::string wide = "\xFF\xFE" + utf16(M + "\r\none\r\n" + M + "\r\ntwo\r\n" + M + "\r\n");
    followed.written({folders.logs / "b.log", folders.logs.path()},
                     [&] { folders.logs.write("b.log", wide + utf16("three\r\n")); });
    EXPECT_EQ(followed.toldLines(), (std::vector<std::string>{"one", "two", "three"}));
    for (const auto& place : followed.told.places) {
        EXPECT_EQ(readBytes(folders.logs / "b.log").substr(place.offset, place.line.size() * 2),
                  utf16(place.line));
    }
    followed.told.places.clear();
    followed.written({folders.logs / "b.log"},
                     [&] { append(folders.logs / "b.log", utf16(M + "\r\nfour\r\n")); });
    EXPECT_EQ(followed.toldLines(), std::vector<std::string>{"four"});
}

// Appends that end within a line or between a CR and its LF are read on as a run reads the
// whole log: each finding told of once its line ends.
TEST(Follower, ReadsOnWhereAnAppendEnded) {
    SweepFolders folders;
    folders.logs.write("a.log", "x\r\n");
    Followed followed(folders);
    const std::pair<std::string, std::vector<std::string>> appends[] = {
        {M + "\r", {}}, {"\none\r\n", {"one"}}, {M + "\r\ntw", {}}, {"o\r\n", {"two"}}};
    for (const auto& [text, told] : appends) {
        followed.told.places.clear();
        followed.written({folders.logs / "a.log"}, [&] { append(folders.logs / "a.log", text); });
        EXPECT_EQ(followed.toldLines(), told) << text;
    }
}

// A log read again from its start tells only what it did not hold before, in order; one that
// begins otherwise is a new log in its place, all of it new.
TEST(Follower, ALogReadAgainTellsOnlyWhatItDidNotHold) {
    const std::string head = "Log: server started on port 7777, map DM-Deck16, 16 players\r\n";
    const auto log = [&](const std::vector<std::string>& findings, char quiet = 'q') {
        std::string text = head;
        for (const auto& finding : findings) {
            text += "Log: " + std::string(120, quiet) + "\r\n" + M + "\r\n" + finding + "\r\n";
        }
        return text;
    };
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> change;
        std::vector<std::string> told;
    };
    const std::vector<Case> cases = {
        {"an earlier finding changed",
         [&](const fs::path& path) {
             overwrite(path, log({"A", "B2", "C"}));
         },
         {"B2"}},
        {"written again as long, its first and last bytes and its times kept",
         [&](const fs::path& path) {
             const auto written = fs::last_write_time(path);
             overwrite(path, log({"A", "b", "C"}));
             fs::last_write_time(path, written);
         },
         {"b"}},
        {"truncated and written again past its end, its head and its old tail kept",
         [&](const fs::path& path) {
             const std::string before = log({"A", "B", "C"});
             const std::string after = log({"X", "Y", "C", "D"}, 'r');
             overwrite(path, after.substr(0, before.size() - 100) +
                                 before.substr(before.size() - 100) + after.substr(before.size()));
         },
         {"X", "Y", "D"}},
        {"a new log in its place",
         [&](const fs::path& path) { overwrite(path, M + "\r\nA\r\n"); },
         {"A"}},
        {"unreadable for a while, then as it was",
         [&](const fs::path& path) {
             fs::rename(path, path.string() + ".away");
             fs::create_directory(path);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SweepFolders folders;
        const fs::path path = folders.logs.write("a.log", log({"A", "B", "C"}));
        Followed followed(folders);
        followed.written({path, folders.logs.path()}, [&] { c.change(path); });
        EXPECT_EQ(followed.toldLines(), c.told);
    }
}

}  // namespace

namespace {

// Following stopped and started again, as a unit is: its place kept in a state folder.
struct Restarted {
    explicit Restarted(SweepFolders& folders, const fs::path& state,
                       std::vector<fs::path> paths = {})
        : folders_(folders),
          state_(state),
          paths_(paths.empty() ? std::vector{folders.logs.path()} : paths) {}

    // Follows from a start to a stop; what was told of, and of it what reached the reader.
    std::vector<std::string> follow(const std::function<void(Told&)>& meanwhile = {},
                                    std::uint64_t delivered = UINT64_MAX) {
        struct Events : Told {
            std::uint64_t delivered(std::uint64_t told) override { return std::min(told, most); }
            void placeNotRead(const vesk::UnreadableLog& what) override {
                notKept.push_back(what.reason);
            }
            std::uint64_t most = UINT64_MAX;
            std::vector<std::string> notKept;
        } events;
        events.most = delivered;
        FakeWatcher watcher;
        vesk::Following following(folders_.fileSystem, folders_.clock, folders_.reports.path(),
                                  paths_, events, {}, state_);
        following.watchWith(watcher);
        following.start();
        if (meanwhile) {
            meanwhile(events);
            following.readChanges({{}, true});
        }
        following.finish();
        notKept = events.notKept;
        std::vector<std::string> lines;
        for (const auto& place : events.places) {
            lines.push_back(place.line);
        }
        return lines;
    }

    std::vector<std::string> notKept;

private:
    SweepFolders& folders_;
    fs::path state_;
    std::vector<fs::path> paths_;
};

using Lines = std::vector<std::string>;

// What was written while following was stopped is told once at its next start, in the order a
// run reads the logs; nothing told before is told again.
TEST(Follower, ResumesWhereItStopped) {
    struct Case {
        const char* what;
        std::function<void(SweepFolders&, TempFolder& backup)> meanwhile;
        Lines told;
    };
    const std::vector<Case> cases = {
        {"nothing new", [](SweepFolders&, TempFolder&) {}, {}},
        {"lines appended",
         [](SweepFolders& f, TempFolder&) { append(f.logs / "a.log", M + "\r\nnew\r\n"); },
         {"new"}},
        {"a log new since",
         [](SweepFolders& f, TempFolder&) { f.logs.write("c.log", M + "\r\nfresh\r\n"); },
         {"fresh"}},
        {"rotated by copy and truncation",
         [](SweepFolders& f, TempFolder&) {
             append(f.logs / "a.log", M + "\r\nbefore the copy\r\n");
             fs::copy_file(f.logs / "a.log", f.logs / "a-1.log");
             overwrite(f.logs / "a.log", M + "\r\nafter\r\n");
         },
         {"before the copy", "after"}},
        {"written again",
         [](SweepFolders& f, TempFolder&) { overwrite(f.logs / "b.log", M + "\r\nrewritten\r\n"); },
         {"rewritten"}},
        {"the folder restored from a copy",
         [](SweepFolders& f, TempFolder& backup) {
             fs::remove_all(f.logs.path());
             copyFiles(backup.path(), f.logs.path());
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SweepFolders folders;
        TempFolder state;
        TempFolder backup;
        folders.logs.write("a.log", "x\r\n" + M + "\r\nfirst\r\n");
        folders.logs.write("b.log", M + "\r\nsecond\r\n");
        copyFiles(folders.logs.path(), backup.path());
        Restarted restarted(folders, state.path());
        EXPECT_EQ(restarted.follow(), Lines{}) << "nothing old at the first start";
        c.meanwhile(folders, backup);
        EXPECT_EQ(restarted.follow(), c.told);
        EXPECT_EQ(restarted.follow(), Lines{}) << "and at the next start, nothing";
    }
}

// A finding told that never reached its reader, as when the process is killed right after, is
// told again at the next start; one that did is not.
TEST(Follower, TellsAgainWhatNeverReachedItsReader) {
    SweepFolders folders;
    TempFolder state;
    folders.logs.write("a.log", "x\r\n");
    Restarted restarted(folders, state.path());
    restarted.follow();
    const auto appendOne = [&](const std::string& line) {
        return
            [&folders, line](Told&) { append(folders.logs / "a.log", M + "\r\n" + line + "\r\n"); };
    };
    EXPECT_EQ(restarted.follow(appendOne("lost"), 0), Lines{"lost"});
    EXPECT_EQ(restarted.follow(appendOne("kept")), (Lines{"lost", "kept"}));
    EXPECT_EQ(restarted.follow(), Lines{});
}

// A state file that is damaged, another's or cannot be read is named (none, on a first start, is
// not), and following starts as with none: nothing old is told, the report is whole; the file is
// then written anew.
TEST(Follower, StartsAfreshFromAStateFileItCannotUse) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& file)> spoil;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"none yet", [](const fs::path&) {}, ""},
        {"cut short", [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) / 2); },
         "Damaged, or not a place kept by following"},
        {"a byte changed",
         [](const fs::path& file) {
             std::string bytes = readBytes(file);
             bytes[bytes.size() / 2] ^= 1;
             overwrite(file, bytes);
         },
         "Damaged, or not a place kept by following"},
        {"another's", [](const fs::path&) {}, "Kept for other folders"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SweepFolders folders;
        TempFolder state;
        TempFolder other;
        TempFolder otherLogs;
        folders.logs.write("a.log", M + "\r\nold\r\n");
        if (c.what != std::string("none yet")) {
            Restarted(folders, state.path()).follow();
            c.spoil(state.files().at(0));
        }
        if (c.what == std::string("another's")) {
            Restarted(folders, other.path(), {otherLogs.path()}).follow();
            fs::rename(other.files().at(0), state.files().at(0));
        }
        Restarted restarted(folders, state.path());
        EXPECT_EQ(
            restarted.follow([&](Told&) { append(folders.logs / "a.log", M + "\r\nnew\r\n"); }),
            Lines{"new"});
        EXPECT_EQ(restarted.notKept,
                  c.reason.empty() ? std::vector<std::string>{} : std::vector{c.reason});
        EXPECT_EQ(folders.report(), "old\r\nnew\r\n");
        EXPECT_EQ(restarted.follow(), Lines{}) << "written anew";
    }
}

// Followers of different folders keep places of their own.
TEST(Follower, FollowersOfOtherFoldersKeepPlacesOfTheirOwn) {
    SweepFolders folders;
    TempFolder state;
    TempFolder second;
    folders.logs.write("a.log", M + "\r\none\r\n");
    second.write("b.log", M + "\r\ntwo\r\n");
    Restarted first(folders, state.path());
    Restarted other(folders, state.path(), {second.path()});
    first.follow();
    other.follow();
    EXPECT_EQ(state.files().size(), 2u);
    append(folders.logs / "a.log", M + "\r\nthree\r\n");
    append(second / "b.log", M + "\r\nfour\r\n");
    EXPECT_EQ(first.follow(), Lines{"three"});
    EXPECT_EQ(other.follow(), Lines{"four"});
}

// A folder that goes away and comes back with the logs it had tells nothing again.
TEST(Follower, AFolderThatComesBackTellsNothingAgain) {
    SweepFolders folders;
    TempFolder state;
    TempFolder backup;
    folders.logs.write("a.log", M + "\r\nold\r\n");
    Followed followed(folders, {}, {});
    copyFiles(folders.logs.path(), backup.path());
    followed.written({folders.logs.path(), folders.logs.path().parent_path()},
                     [&] { fs::remove_all(folders.logs.path()); });
    followed.written({folders.logs.path().parent_path()}, [&] {
        copyFiles(backup.path(), folders.logs.path());
        append(folders.logs / "a.log", M + "\r\nnew\r\n");
    });
    EXPECT_EQ(followed.toldLines(), Lines{"new"});
}

}  // namespace
