// Cost of one D/A load (four card writes) through the library onto the simulated card, with the
// raw trace recording every access against the same load with the trace switched off.
#include <benchmark/benchmark.h>

#include "device/card_access.hpp"
#include "korvex/korvex_dll.hpp"
#include "sim/simulated_machine.hpp"
#include "state/state.hpp"

namespace {

void da_loads(benchmark::State& bench, bool traced) {
    korvex::testing::reset_thread_state();
    korvex::SimulatedMachine::Options opts;
    opts.trace = traced;
    korvex::SimulatedMachine machine(opts);
    korvex::set_platform(machine.platform());
    korvex_dll host;
    korvex::State& s = korvex::thread_state();
    s.hw.sngDaGain0 = 1.0f;
    machine.card().open();
    int32_t v = 0;
    for (auto _ : bench) {
        korvex::DA_write(s, v, 0);
        v = (v + 7) & 0x7FFF;
        if (machine.trace().size() > 40'000'000) {
            bench.PauseTiming();
            machine.trace().clear();
            bench.ResumeTiming();
        }
    }
    bench.SetItemsProcessed(bench.iterations());
    korvex::testing::reset_thread_state();
}

void BM_DaLoad_Traced(benchmark::State& bench) { da_loads(bench, true); }
void BM_DaLoad_Untraced(benchmark::State& bench) { da_loads(bench, false); }

}  // namespace

BENCHMARK(BM_DaLoad_Untraced);
BENCHMARK(BM_DaLoad_Traced);
