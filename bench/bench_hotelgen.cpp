// The hotel generator's speed: a whole demo hotel, and the bulk fill of the
// room accounts (a million rows must take seconds, so benchmarks and tests of
// the other layers can afford big hotels).
#include "hotel/HotelGenerator.h"

#include <benchmark/benchmark.h>
#include <QTemporaryDir>

using namespace quorvel;

namespace {

void BM_GenerateHotel(benchmark::State& state) {
    hotel::HotelSpec spec;
    spec.rooms = 200;
    spec.guests = 300;
    spec.externals = 20;
    for (auto _ : state) {
        QTemporaryDir dir;
        benchmark::DoNotOptimize(hotel::generateHotel(dir.path(), spec));
    }
}
BENCHMARK(BM_GenerateHotel)->Unit(benchmark::kMillisecond);

void BM_FillAccounts(benchmark::State& state) {
    hotel::HotelSpec spec;
    spec.rooms = 200;
    spec.guests = 300;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const hotel::HotelSummary summary = hotel::generateHotel(dir.path(), spec);
        state.ResumeTiming();
        hotel::fillAccounts(dir.path(), summary.data, state.range(0), 1, spec.today);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillAccounts)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
