#include <benchmark/benchmark.h>

#include <string>

#include "corpus.h"
#include "log_scanner.h"

namespace {

constexpr std::size_t kBlock = 64 * 1024;

class CountingSink final : public vesk::LineSink {
public:
    void write(std::string_view piece) override { bytes += piece.size(); }
    void endLine() override { bytes += 2; }
    std::size_t bytes = 0;
};

// Scans the log in the blocks a run reads, over and over.
void scanLog(benchmark::State& state, const std::string& log) {
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

void RareMarkersCrLf(benchmark::State& state) {
    static const std::string log = vesk::bench::makeLog(kLogSize, 1, "\r\n", 1);
    scanLog(state, log);
}

void ManyMarkers(benchmark::State& state) {
    static const std::string log = vesk::bench::makeLog(kLogSize, 100, "\r\n", 2);
    scanLog(state, log);
}

void CrOnly(benchmark::State& state) {
    static const std::string log = vesk::bench::makeLog(kLogSize, 1, "\r", 3);
    scanLog(state, log);
}

void LfOnly(benchmark::State& state) {
    static const std::string log = vesk::bench::makeLog(kLogSize, 1, "\n", 4);
    scanLog(state, log);
}

void OneHundredMiBLine(benchmark::State& state) {
    static const std::string log =
        "ScriptLog: ####\r\n" + std::string(100 * 1024 * 1024, 'x') + "\r\n";
    scanLog(state, log);
}

}  // namespace

BENCHMARK(RareMarkersCrLf)->Unit(benchmark::kMillisecond);
BENCHMARK(ManyMarkers)->Unit(benchmark::kMillisecond);
BENCHMARK(CrOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(LfOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(OneHundredMiBLine)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
