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

// é in the report's text.
#ifdef _WIN32
const std::string kEAcute = GetACP() == 1252 ? "\xE9" : "?";
#else
const std::string kEAcute = "\xC3\xA9";
#endif

// UTF-16LE as the report's text: UTF-8 here, the ANSI code page on Windows.
std::string reportText(std::string_view bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    std::string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
        }
#ifdef _WIN32
        if (c >= 0x80) {
            const std::wstring wide(
                units.begin() + static_cast<std::ptrdiff_t>(i) - (c >= 0x10000 ? 1 : 0),
                units.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            char out[8];
            const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                              out, sizeof out, "?", nullptr);
            text.append(out, static_cast<std::size_t>(n));
            continue;
        }
#endif
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            text += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                     static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            text +=
                {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                 static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return text;
}

// Whether UTF-16LE text begins here: four ASCII characters, each followed by a NUL.
bool utf16Begins(std::string_view log, std::size_t at) {
    for (std::size_t i = 0; i < 8; i += 2) {
        if (at + i + 1 >= log.size()) {
            return false;
        }
        const auto unit = static_cast<unsigned char>(log[at + i]);  // char may be unsigned
        if (unit < 0x01 || unit > 0x7F || log[at + i + 1] != 0) {
            return false;
        }
    }
    return true;
}

// A log's lines in the report's text, without their line ends.
std::vector<std::string> linesOf(std::string_view log) {
    std::size_t at = log.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    bool utf16Now = log.starts_with("\xFF\xFE");
    at += utf16Now ? 2 : 0;
    std::string converted;
    std::vector<std::string> lines;
    for (bool formKnown = false;;) {
        if (!formKnown && (utf16Now || utf16Begins(log, at))) {
            converted = reportText(log.substr(at));
            log = converted;
            at = 0;
            formKnown = true;
        }
        if (at >= log.size()) {
            return lines;
        }
        const std::size_t end = std::min(log.find_first_of("\r\n", at), log.size());
        lines.emplace_back(log.substr(at, end - at));
        at = end + (log.substr(end, 2) == "\r\n" ? 2 : 1);
    }
}

// The rules written out the slow way: cut into whole lines, report each one after a marker line.
std::string reference(const std::vector<std::string>& logs) {
    static const std::regex markerLine("^(\\[[0-9.:/ -]*[0-9][0-9.:/ -]*\\] )?ScriptLog: ####");
    bool afterMarker = false;
    std::string report;
    for (const auto& log : logs) {
        for (const auto& line : linesOf(log)) {
            report += afterMarker ? line + "\r\n" : "";
            afterMarker = std::regex_search(line, markerLine);
        }
    }
    return report;
}

// Feeds every log in blocks of the given size, each block in a buffer of its own so that a read
// past its end is caught by the sanitizers.
std::string scanned(const std::vector<std::string>& logs, std::size_t blockSize,
                    const vesk::ByteSearch& search) {
    vesk::MarkerFilter filter;
    StringSink sink;
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
        {"a non-ASCII finding in UTF-16LE",
         {utf16(M + "\r\n") + utf16(u"\u00e9t\u00e9\r\n")},
         kEAcute + "t" + kEAcute + "\r\n"},
        {"an 8-bit log with runs of NULs",
         {"x\r\n" + std::string(100, '\0') + "\r\n" + M + "\r\n" + std::string(5, '\0') + "\r\n" +
          M + "\r\nafter\0\0\r\n"s + std::string(8, '\0')},
         std::string(5, '\0') + "\r\nafter\0\0\r\n"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reference(c.logs), c.report) << c.name << " (reference)";
        forEachSearch([&](const vesk::ByteSearch& search) {
            for (std::size_t blockSize : {1, 2, 3, 7, 14, 15, 16, 17, 31, 64, 4096}) {
                EXPECT_EQ(scanned(c.logs, blockSize, search), c.report)
                    << c.name << ", blocks of " << blockSize;
            }
        });
    }
}

TEST(LogScanner, AgreesWithTheLineByLineRulesAtEveryBlockBoundary) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 1000; ++round) {
        std::vector<std::string> logs(1 + random() % 3);
        for (auto& log : logs) {
            log = randomLog(random, static_cast<int>(random() % 80));
        }
        const std::string expected = reference(logs);
        forEachSearch([&](const vesk::ByteSearch& search) {
            for (std::size_t blockSize : {1, 5, 15, 16, 33, 100, 65536}) {
                ASSERT_EQ(scanned(logs, blockSize, search), expected)
                    << "round " << round << ", blocks of " << blockSize;
            }
        });
    }
}

}  // namespace
