#include <benchmark/benchmark.h>

#include <iterator>
#include <string>
#include <vector>

#include "corpus.h"
#include "sweep/byte_search.h"
#include "sweep/log_scanner.h"

namespace {

constexpr std::size_t kBlock = 64 * 1024;

class CountingSink final : public vesk::LineSink {
public:
    void write(std::string_view piece) override { bytes += piece.size(); }
    void endLine() override { bytes += 2; }
    std::size_t bytes = 0;
};

// Scans the log in the blocks a run reads, over and over.
void scanLog(benchmark::State& state, const std::string& log, bool vector) {
    vesk::useVectorSearch(vector);
    vesk::MarkerFilter filter;
    CountingSink sink;
    vesk::LogScanner scanner(filter, sink);
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
     [] { return "ScriptLog: ####\r\n" + std::string(100 * 1024 * 1024, 'x') + "\r\n"; }},
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> logs;
    logs.reserve(std::size(kCorpora));
    for (const auto& corpus : kCorpora) {
        const std::string& log = logs.emplace_back(corpus.make());
        // The portable search is the one taken by machines without AVX2, ARM servers among them.
        for (const bool vector : {true, false}) {
            const std::string name = std::string(corpus.name) + (vector ? "" : "/portable");
            benchmark::RegisterBenchmark(name.c_str(), [&log, vector](benchmark::State& state) {
                scanLog(state, log, vector);
            })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
