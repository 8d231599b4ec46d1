#include "log_scanner.h"

#include "byte_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using vesk::LogScanner;
using vesk::MarkerFilter;

const std::string M = "ScriptLog: ####";

class StringSink final : public vesk::LineSink {
public:
    void write(std::string_view piece) override {
        text.append(piece);
        largestPiece = std::max(largestPiece, piece.size());
    }
    void endLine() override { text += "\r\n"; }
    std::string text;
    std::size_t largestPiece = 0;
};

// The rules written out the slow way: cut into whole lines, feed each to the filter.
std::string reference(const std::vector<std::string>& logs) {
    MarkerFilter filter;
    std::string report;
    for (const auto& log : logs) {
        std::string line;
        bool open = false;
        for (std::size_t i = 0; i < log.size(); ++i) {
            const char c = log[i];
            if (c == '\r' || c == '\n') {
                if (filter.feed(line)) {
                    report += line + "\r\n";
                }
                line.clear();
                open = false;
                if (c == '\r' && i + 1 < log.size() && log[i + 1] == '\n') {
                    ++i;
                }
            } else {
                line += c;
                open = true;
            }
        }
        if (open && filter.feed(line)) {
            report += line + "\r\n";
        }
    }
    return report;
}

// Feeds every log in blocks of the given size, each block in a buffer of its own so that a read
// past its end is caught by the sanitizers.
std::string scanned(const std::vector<std::string>& logs, std::size_t blockSize,
                    StringSink* sinkOut = nullptr) {
    MarkerFilter filter;
    StringSink sink;
    LogScanner scanner(filter, sink);
    for (const auto& log : logs) {
        scanner.beginLog();
        for (std::size_t at = 0; at < log.size(); at += blockSize) {
            const std::string piece = log.substr(at, blockSize);
            std::vector<char> block(piece.begin(), piece.end());
            scanner.scan(block.data(), block.size());
        }
        scanner.endLog();
    }
    if (sinkOut != nullptr) {
        *sinkOut = sink;
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

struct ScanCase {
    const char* name;
    std::vector<std::string> logs;
    std::string report;
};

TEST(LogScanner, CutsLinesAndPassesTheLineAfterEachMarker) {
    const std::vector<ScanCase> cases = {
        {"CR LF", {"a\r\n" + M + "\r\ncheat 1\r\nb\r\n"}, "cheat 1\r\n"},
        {"CR only", {M + "\rcheat\rb\r"}, "cheat\r\n"},
        {"LF only", {M + "\ncheat\nb\n" + M + "\nsecond\n"}, "cheat\r\nsecond\r\n"},
        {"LF CR is two line ends", {M + "\n\rx"}, "\r\n"},
        {"last line without line end", {"a\r\n" + M + "\r\nlast"}, "last\r\n"},
        {"empty passed line", {M + "\r\n\r\nx"}, "\r\n"},
        {"chain of markers", {M + "\r\n" + M + " 2\r\nx\r\ny"}, M + " 2\r\nx\r\n"},
        {"marker not at line start", {"a " + M + "\r\nx"}, ""},
        {"marker at end carries", {"a\r\n" + M, "y\r\nz"}, "y\r\n"},
        {"marker with CR LF at end carries", {M + "\r\n", "y"}, "y\r\n"},
        {"zero-byte log keeps the flag", {M + "\r\n", "", "y"}, "y\r\n"},
        {"LF at start of next log is an empty line", {M + "\r", "\ny"}, "\r\n"},
        {"binary bytes",
         {M + std::string("\r\n\xff\0\x01x\r\n", 9)},
         std::string("\xff\0\x01x\r\n", 6)},
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
    const std::vector<std::string> pieces = {M,
                                             M,
                                             "ScriptLog: ###",
                                             "x",
                                             "Player caught ",
                                             "\r\n",
                                             "\r",
                                             "\n",
                                             "\n\r",
                                             "S",
                                             "#",
                                             std::string(40, 'q'),
                                             std::string("\0\xff", 2)};
    std::mt19937 random(20261206);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> logs(1 + random() % 3);
        for (auto& log : logs) {
            const int count = static_cast<int>(random() % 60);
            for (int i = 0; i < count; ++i) {
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

TEST(LogScanner, CopiesALineLongerThanTheBlockInPieces) {
    const std::string longLine(300000, 'L');
    StringSink sink;
    const std::string report = scanned({M + "\r\n" + longLine + "\r\nafter"}, 4096, &sink);
    EXPECT_EQ(report, longLine + "\r\n");
    EXPECT_LE(sink.largestPiece, 4096u) << "a passed line is never held whole";
}

TEST(LogScanner, AbandonedLogClosesThePassedLineAndKeepsTheFlag) {
    MarkerFilter filter;
    StringSink sink;
    LogScanner scanner(filter, sink);
    scanner.beginLog();
    const std::string head = M + "\r\npart of a fin";
    scanner.scan(head.data(), head.size());
    scanner.abandonLog();
    EXPECT_EQ(sink.text, "part of a fin\r\n");
    EXPECT_TRUE(filter.armed()) << "the flag stands as the last whole line left it";
}

}  // namespace
