#include "rule/log_scanner.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "rule/byte_search.h"
#include "sweep_fixture.h"

namespace {

using namespace std::string_literals;

struct StringSink final : vesk::LineSink {
    void write(std::string_view piece) override { text.append(piece); }
    void endLine() override { text += "\r\n"; }
    std::string text;
};

// Characters as UTF-16LE code units and as the report's 8-bit text: UTF-8 here, the ANSI code
// page on Windows.
struct Character {
    std::string utf16;
    std::string report;
};
#ifdef _WIN32
const bool kCodePage1252 = GetACP() == 1252;
const Character kEAcute{"\xE9\0"s, kCodePage1252 ? "\xE9" : "?"};
const std::vector<Character> kBeyondAscii = {kEAcute};
#else
const Character kEAcute{"\xE9\0"s, "\xC3\xA9"};
const std::vector<Character> kBeyondAscii = {
    kEAcute,
    {"\x2D\x4E", "\xE4\xB8\xAD"},               // a CJK character
    {"\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},  // a surrogate pair, outside the first plane
    {"\x3D\xD8"s + utf16("x"), "?x"},           // a high surrogate without its pair
    {"\x00\xDE"s, "?"},                         // a low surrogate alone
};
#endif

// Lines of text, without their line ends: CR LF, CR alone or LF alone.
std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        lines.emplace_back(text.substr(at, end - at));
        at = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}

// The rule written out the slow way over whole lines: each line after a marker line.
std::string reference(const std::vector<std::string>& lines) {
    static const std::regex markerLine("^(\\[[0-9.:/ -]*[0-9][0-9.:/ -]*\\] )?ScriptLog: ####");
    bool afterMarker = false;
    std::string report;
    for (const auto& line : lines) {
        report += afterMarker ? line + "\r\n" : "";
        afterMarker = std::regex_search(line, markerLine);
    }
    return report;
}

// Each passed line where it begins in its log, then the line: "12:found\n".
struct PlacedSink final : vesk::LineSink {
    bool wantsOffsets() const override { return true; }
    void beginLine(std::uint64_t offset) override { text += std::to_string(offset) + ":"; }
    void write(std::string_view piece) override { text.append(piece); }
    void endLine() override { text += "\n"; }
    std::string text;
};

// Feeds every log in blocks of the given size, each block in a buffer of its own so that a read
// past its end is caught by the sanitizers.
template <typename Sink = StringSink>
std::string scanned(const std::vector<std::string>& logs, std::size_t blockSize,
                    const vesk::ByteSearch& search) {
    vesk::MarkerFilter filter;
    Sink sink;
    vesk::LogScanner scanner(filter, sink, search);
    for (const auto& log : logs) {
        scanner.beginLog();
        for (std::size_t at = 0; at < log.size(); at += blockSize) {
            const std::string piece = log.substr(at, blockSize);
            std::vector<char> block(piece.begin(), piece.end());
            scanner.scan(block.data(), block.size());
        }
        scanner.endLog();
    }
    return sink.text;
}

// Runs the checks with each search this machine has: the widest vectors it has down to the
// portable path that machines without them take.
template <typename Checks>
void forEachSearch(Checks checks) {
    for (const auto& search : vesk::byteSearches()) {
        SCOPED_TRACE(search.name);
        checks(search);
    }
}

TEST(LogScanner, CutsLinesAndPassesTheLineAfterEachMarker) {
    const std::string dump = utf16("C:\\srv\\ut\\crash.dmp");
    struct Case {
        const char* name;
        std::vector<std::string> logs;
        std::string report;
    };
    const std::vector<Case> cases = {
        {"CR LF", {"a\r\n" + M + "\r\nPlayer1 caught\r\nb\r\n"}, "Player1 caught\r\n"},
        {"CR only", {M + "\rcheat\rb\r"}, "cheat\r\n"},
        {"LF only", {M + "\ncheat\nb\n" + M + "\nsecond\n"}, "cheat\r\nsecond\r\n"},
        {"LF CR is two line ends", {M + "\n\rx"}, "\r\n"},
        {"last line without line end", {"a\r\n" + M + "\r\nlast"}, "last\r\n"},
        {"empty passed line", {M + "\r\n\r\nx"}, "\r\n"},
        {"chain of markers", {M + "\r\n" + M + " 2\r\nx\r\ny"}, M + " 2\r\nx\r\n"},
        {"more text after the marker, then a short line", {M + " cheat\r\nSc\r\nz"}, "Sc\r\n"},
        {"near misses",
         {" " + M + "\r\na\r\nScriptLog: ###\r\nb\r\nscriptlog: ####\r\nc\r\nScriptLog: ###x\r\nd"},
         ""},
        {"marker at end carries", {"a\r\n" + M, "y\r\nz"}, "y\r\n"},
        {"marker with CR LF at end carries", {M + "\r\n", "y"}, "y\r\n"},
        {"zero-byte log keeps the flag", {M + "\r\n", "", "y"}, "y\r\n"},
        {"LF at start of next log is an empty line", {M + "\r", "\ny"}, "\r\n"},
        {"binary bytes", {M + "\r\n\xff\0\x01x\r\n"s}, "\xff\0\x01x\r\n"s},
        // The forms real servers write.
        {"UTF-8 byte-order mark, a marker first",
         {"\xEF\xBB\xBF" + M + "\r\nfound\r\n"},
         "found\r\n"},
        {"no byte-order mark in a passed first line",
         {M,
          "\xEF\xBB\xBF"
          "first\r\n"},
         "first\r\n"},
        {"UTF-16LE with its mark", {"\xFF\xFE" + utf16(M + "\r\nfound\r\nx\r\n")}, "found\r\n"},
        {"UTF-16LE without a mark", {utf16("Log: open\r\n" + M + "\r\nfound\r\n")}, "found\r\n"},
        {"two 8-bit lines, then UTF-16LE from an odd offset",
         {"Log: a\r\nLog: b\n" + utf16(M + "\r\nfound")},
         "found\r\n"},
        {"UE3 time stamps, the passed line whole",
         {"[0031.64] " + M + "\r\n[0031.65] ScriptLog: cheat\r\n"},
         "[0031.65] ScriptLog: cheat\r\n"},
        {"stamps with blanks, slashes and dashes",
         {"[12/07/26 18:00:01] " + M + "\r\na\r\n[ 2026-12-07 ] " + M + "\r\nb\r\n"},
         "a\r\nb\r\n"},
        {"a stamped marker in UTF-16LE", {utf16("x\n[0031.64] " + M + "\nfound\n")}, "found\r\n"},
        {"near misses of a stamp",
         {"[x] " + M + "\r\na\r\n[] " + M + "\r\nb\r\n[1][2] " + M + "\r\nc\r\n[1]" + M +
          "\r\nd\r\n [1] " + M + "\r\ne\r\n[1]  " + M + "\r\nf\r\n[.] " + M + "\r\ng"},
         ""},
        {"the flag from 8-bit into UTF-16LE", {"x\r\n" + M, utf16("first\r\nsecond")}, "first\r\n"},
        {"the flag from UTF-16LE into 8-bit",
         {"\xFF\xFE" + utf16("x\r\n" + M), "first\r\nnext"},
         "first\r\n"},
        {"characters beyond ASCII in UTF-16LE",
         {utf16(M + "\r\n") + kEAcute.utf16 + utf16("t") + kEAcute.utf16 + utf16("\r\n")},
         kEAcute.report + "t" + kEAcute.report + "\r\n"},
        {"an 8-bit log with runs of NULs",
         {"x\r\n" + std::string(100, '\0') + "\r\n" + M + "\r\n" + std::string(5, '\0') + "\r\n" +
          M + "\r\nafter\0\0\r\n"s + std::string(8, '\0')},
         std::string(5, '\0') + "\r\nafter\0\0\r\n"s},
        // Text that changes its form midway.
        {"a crash dump's UTF-16LE path in an 8-bit log loses no later finding",
         {M + "\r\nbefore\r\n" + dump + "\r\n" + M + "\r\nafter the dump\r\n"},
         "before\r\nafter the dump\r\n"},
        {"8-bit text after UTF-16LE text, from its first marker line",
         {"\xFF\xFE" + utf16(M + "\r\nwide\r\n") + "[0031.64] " + M + "\r\nnarrow\r\n"},
         "wide\r\nnarrow\r\n"},
        {"UTF-16LE text whose first line begins beyond ASCII",
         {"x\r\n" + kEAcute.utf16 + utf16("t\r\n" + M + "\r\nfound\r\n")},
         "found\r\n"},
        {"a UTF-16LE marker line after 8-bit reading took its line end for its own",
         {"x\r\n" + utf16(u"\u0416\u0416\r\n" + std::u16string(M.begin(), M.end()) + u"\r\nf\r\n")},
         "f\r\n"},
        {"a byte-order mark midway", {"x\r\n\xFF\xFE" + utf16(M + "\r\nfound\r\n")}, "found\r\n"},
        {"UTF-16LE from the line end of an 8-bit marker line",
         {M + utf16("\r\nfound\r\nx"), "x" + utf16("\r\n" + M + "\r\nnext"),
          "\xFF\xFE" + utf16("x\r\n") + M + utf16("\r\nwide\r\n")},
         "found\r\nnext\r\nwide\r\n"},
    };
    for (const auto& c : cases) {
        forEachSearch([&](const vesk::ByteSearch& search) {
            for (std::size_t blockSize : {1, 2, 3, 7, 14, 15, 16, 17, 31, 64, 4096}) {
                EXPECT_EQ(scanned(c.logs, blockSize, search), c.report)
                    << c.name << ", blocks of " << blockSize;
            }
        });
    }
}

// A log of sections in either form, each section's lines known, put together as servers and
// crashes put them: a UTF-16LE section begins at an 8-bit line's start, with a byte-order mark or
// its first characters below 256, and 8-bit text comes back with a marker line. Marker lines
// stand at the sections' edges and at the edges of the blocks read.
class Sections {
public:
    explicit Sections(std::mt19937& random) : random_(random) {}

    void add8Bit(bool marked, bool startsWithMarker) {
        if (marked) {
            log_ += "\xEF\xBB\xBF";
        }
        if (startsWithMarker || sections_ > 0) {
            line8Bit(pick({M, "[0031.64] " + M, M + " more"}));
        }
        for (int i = 0, n = static_cast<int>(random_() % 6); i < n; ++i) {
            const std::string junk = pick({"x"s, "\0\0\0\0\xff\x01"s, "\xe9t\xe9"s, "caught"s});
            line8Bit(pick({"Log: " + junk, M, "[1 2] " + M, "[x] " + M, "Player " + junk, ""s}));
        }
        ++sections_;
    }

    // The lines that pass, each where it begins in the log: as PlacedSink tells them.
    std::string placedReference() const {
        std::string placed;
        bool afterMarker = false;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (afterMarker) {
                placed += std::to_string(offsets_[i]) + ":" + lines_[i] + "\n";
            }
            afterMarker = reference({lines_[i], "x"}) == "x\r\n";
        }
        return placed;
    }

    void addUtf16(bool marked) {
        if (marked) {
            log_ += "\xFF\xFE";
        }
        const std::u16string first =
            pick<std::u16string>({u"Log: ", u"\u00e9t\u00e9 ", u"ScriptLog: ####"});
        std::string raw = utf16(first);
        std::string text(first.begin(), first.end());
        if (first[0] == u'\u00e9') {
            text = kEAcute.report + "t" + kEAcute.report + " ";
        }
        for (int i = 0, n = static_cast<int>(random_() % 5); i < n; ++i) {
            const Character c = kBeyondAscii[random_() % kBeyondAscii.size()];
            raw += c.utf16;
            text += c.report;
        }
        lineUtf16(raw, text);
        for (int i = 0, n = static_cast<int>(random_() % 5); i < n; ++i) {
            const std::string line = pick({M, "[0031.64] " + M, "found"s, "Log: x"s, ""s});
            lineUtf16(utf16(line), line);
        }
        ++sections_;
    }

    // A quiet line that puts what follows near the end of the first block.
    void fillTo(std::size_t offset) {
        if (log_.size() + 2 < offset) {
            line8Bit(std::string(offset - log_.size() - 2, 'q'));
        }
    }

    const std::string& log() const { return log_; }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    template <typename T>
    T pick(std::initializer_list<T> options) {
        return options.begin()[random_() % options.size()];
    }
    // An empty line after a lone CR ends with CR too, so that the two make no CR LF.
    std::string lineEnd(bool empty) {
        lastEnd_ = empty && lastEnd_ == "\r" ? "\r"s : pick({"\r\n"s, "\n"s, "\r"s});
        return lastEnd_;
    }

    void line8Bit(const std::string& text) {
        offsets_.push_back(log_.size());
        log_ += text + lineEnd(text.empty());
        lines_.push_back(text);
    }
    void lineUtf16(const std::string& raw, const std::string& text) {
        offsets_.push_back(log_.size());
        log_ += raw + utf16(lineEnd(text.empty()));
        lines_.push_back(text);
    }

    std::mt19937& random_;
    std::string log_;
    std::vector<std::string> lines_;
    std::vector<std::size_t> offsets_;
    std::string lastEnd_;
    int sections_ = 0;
};

TEST(LogScanner, FindsEveryMarkerLineWhereverTheTextChangesItsForm) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        Sections sections(random);
        const bool atBlockEdge = round % 3 == 0;
        if (atBlockEdge) {
            sections.fillTo(65536 - random() % 40);
        }
        bool utf16Now = !atBlockEdge && random() % 2 == 0;
        for (int i = 0, n = 1 + static_cast<int>(random() % 5); i < n; ++i) {
            if (utf16Now) {
                sections.addUtf16(i == 0 ? random() % 2 == 0 : random() % 3 == 0);
            } else {
                sections.add8Bit(i == 0 && !atBlockEdge && random() % 2 == 0, random() % 2 == 0);
            }
            utf16Now = !utf16Now;
        }
        const std::string expected = reference(sections.lines());
        const std::string placed = sections.placedReference();
        forEachSearch([&](const vesk::ByteSearch& search) {
            const auto blockSizes = atBlockEdge ? std::vector<std::size_t>{4096, 65536}
                                                : std::vector<std::size_t>{1, 7, 64, 65536};
            for (std::size_t blockSize : blockSizes) {
                ASSERT_EQ(scanned({sections.log()}, blockSize, search), expected)
                    << "round " << round << ", blocks of " << blockSize;
                ASSERT_EQ(scanned<PlacedSink>({sections.log()}, blockSize, search), placed)
                    << "where each line begins: round " << round << ", blocks of " << blockSize;
            }
        });
    }
}

// Whatever the bytes, the report does not depend on how they arrive: the same for blocks of any
// size as for the whole log at once, and for every search.
TEST(LogScanner, GivesTheSameReportForEveryBlockSize) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 1000; ++round) {
        std::vector<std::string> logs(1 + random() % 3);
        for (auto& log : logs) {
            log = randomLog(random, static_cast<int>(random() % 80));
        }
        const std::string whole = scanned(logs, 1 << 20, vesk::byteSearches().back());
        forEachSearch([&](const vesk::ByteSearch& search) {
            for (std::size_t blockSize : {1, 5, 15, 16, 33, 100, 1 << 20}) {
                ASSERT_EQ(scanned(logs, blockSize, search), whole)
                    << "round " << round << ", blocks of " << blockSize;
            }
        });
    }
    // Logs of 8-bit text alone agree with the rule over whole lines.
    for (int round = 0; round < 300; ++round) {
        std::string log;
        for (int i = 0, n = static_cast<int>(random() % 40); i < n; ++i) {
            log +=
                std::vector<std::string>{M,    "[0031.64] ", "ScriptLog: ###", "x", "\r\n", "\r",
                                         "\n", "#",          "[1 2] " + M,     "]"}[random() % 10];
        }
        ASSERT_EQ(scanned({log}, 7, vesk::fastestSearch()), reference(linesOf(log))) << log;
    }
}

}  // namespace
