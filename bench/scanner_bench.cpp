#include <benchmark/benchmark.h>

#include <iterator>
#include <string>
#include <vector>

#include "corpus.h"
#include "rule/byte_search.h"
#include "rule/log_scanner.h"

namespace {

constexpr std::size_t kBlock = 64 * 1024;

class CountingSink final : public vesk::LineSink {
public:
    void write(std::string_view piece) override { bytes += piece.size(); }
    void endLine() override { bytes += 2; }
    std::size_t bytes = 0;
};

// Scans the log in the blocks a run reads, over and over.
void scanLog(benchmark::State& state, const std::string& log, const vesk::ByteSearch& search) {
    vesk::MarkerFilter filter;
    CountingSink sink;
    vesk::LogScanner scanner(filter, sink, search);
    for (auto _ : state) {
        scanner.beginLog();
        for (std::size_t at = 0; at < log.size(); at += kBlock) {
            scanner.scan(log.data() + at, std::min(kBlock, log.size() - at));
        }
        scanner.endLog();
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}

const std::size_t kLogSize = 64 * 1024 * 1024;

struct Corpus {
    const char* name;
    std::string (*make)();
};

const Corpus kCorpora[] = {
    {"RareMarkersCrLf", [] { return vesk::bench::makeLog(kLogSize, 1, "\r\n", 1); }},
    {"ManyMarkers", [] { return vesk::bench::makeLog(kLogSize, 100, "\r\n", 2); }},
    {"CrOnly", [] { return vesk::bench::makeLog(kLogSize, 1, "\r", 3); }},
    {"LfOnly", [] { return vesk::bench::makeLog(kLogSize, 1, "\n", 4); }},
    {"OneHundredMiBLine",
     [] {
         return std::string(vesk::MarkerFilter::marker) + "\r\n" +
                std::string(100 * 1024 * 1024, 'x') + "\r\n";
     }},
    // As the stats logs and UT2004 on Linux write it: each byte of a log followed by a NUL.
    {"Utf16Le",
     [] {
         const std::string log = vesk::bench::makeLog(kLogSize / 2, 1, "\r\n", 5);
         std::string wide(2 * log.size(), '\0');
         for (std::size_t i = 0; i < log.size(); ++i) {
             wide[2 * i] = log[i];
         }
         return wide;
     }},
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> logs;
    logs.reserve(std::size(kCorpora));
    for (const auto& corpus : kCorpora) {
        const std::string& log = logs.emplace_back(corpus.make());
        // Each search this machine has; the portable one is taken by machines without vectors.
        for (const auto& search : vesk::byteSearches()) {
            const std::string name = std::string(corpus.name) + "/" + std::string(search.name);
            benchmark::RegisterBenchmark(name.c_str(), [&log, &search](benchmark::State& state) {
                scanLog(state, log, search);
            })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
