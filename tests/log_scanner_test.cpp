#include "sweep/log_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "sweep/byte_search.h"
#include "sweep_fixture.h"

namespace {

using namespace std::string_literals;

struct StringSink final : vesk::LineSink {
    void write(std::string_view piece) override { text.append(piece); }
    void endLine() override { text += "\r\n"; }
    std::string text;
};

// The rules written out the slow way: cut into whole lines, report each one after a marker line.
std::string reference(const std::vector<std::string>& logs) {
    bool afterMarker = false;
    std::string report;
    for (const auto& log : logs) {
        for (std::size_t at = 0; at < log.size();) {
            const std::size_t end = std::min(log.find_first_of("\r\n", at), log.size());
            const std::string line = log.substr(at, end - at);
            report += afterMarker ? line + "\r\n" : "";
            afterMarker = line.starts_with(M);
            at = end + (log.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        }
    }
    return report;
}

// Feeds every log in blocks of the given size, each block in a buffer of its own so that a read
// past its end is caught by the sanitizers.
std::string scanned(const std::vector<std::string>& logs, std::size_t blockSize) {
    vesk::MarkerFilter filter;
    StringSink sink;
    vesk::LogScanner scanner(filter, sink);
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

// Runs the checks once with the vector search, where the machine has it, and once with the
// portable one that machines without it take.
template <typename Checks>
void forEachSearchPath(Checks checks) {
    for (const bool vector : {true, false}) {
        SCOPED_TRACE(vector && vesk::hasVectorSearch() ? "vector search" : "portable search");
        vesk::useVectorSearch(vector);
        checks();
    }
    vesk::useVectorSearch(true);
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
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reference(c.logs), c.report) << c.name << " (reference)";
        forEachSearchPath([&] {
            for (std::size_t blockSize : {1, 2, 3, 7, 14, 15, 16, 17, 31, 64, 4096}) {
                EXPECT_EQ(scanned(c.logs, blockSize), c.report)
                    << c.name << ", blocks of " << blockSize;
            }
        });
    }
}

TEST(LogScanner, AgreesWithTheLineByLineRulesAtEveryBlockBoundary) {
    // Pieces chosen to put markers, near-markers and line ends at every offset of a block.
    const std::vector<std::string> pieces = {
        M,   M,   "ScriptLog: ###",     "x",      "Player caught ", "\r\n", "\r", "\n", "\n\r",
        "S", "#", std::string(40, 'q'), "\0\xff"s};
    std::mt19937 random(20261206);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> logs(1 + random() % 3);
        for (auto& log : logs) {
            for (int i = static_cast<int>(random() % 60); i > 0; --i) {
                log += pieces[random() % pieces.size()];
            }
        }
        const std::string expected = reference(logs);
        forEachSearchPath([&] {
            for (std::size_t blockSize : {1, 5, 15, 16, 33, 100, 65536}) {
                ASSERT_EQ(scanned(logs, blockSize), expected)
                    << "round " << round << ", blocks of " << blockSize;
            }
        });
    }
}

}  // namespace
