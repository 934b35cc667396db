// Pacing fidelity against the machine's own limit. Each iteration runs, back to back on the same
// machine, the bare spin loop (platform/spin_pacing: a busy wait per cycle measured from the
// reading that ended the previous one, nothing else) and Marking_data of a 200 mm line at
// 1000 mm/s on the monotonic clock (the simulated machine in real time, 100 steps/mm: 10 000
// cycles of 20 us), both for the same planned time. Counters, medians over the iterations:
//   bare_ratio         bare loop, measured / planned
//   library_ratio      Marking_data, measured / planned (cycles x lngMarkStepUs)
//   library_over_bare  library_ratio / bare_ratio of the same iteration; the goal is <= 1.01
// BM_Pacing/plain runs as the thread is; BM_Pacing/rt under the real-time settings (SCHED_FIFO 80,
// memory locked, pinned to the last core; refused settings are named in the label). Between runs
// the thread sleeps a little, so a real-time thread stays under the kernel's real-time throttling.
// Run just these: korvex_bench --benchmark_filter=BM_Pacing
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "korvex/korvex_dll.hpp"
#include "korvex/real_time.hpp"
#include "platform/monotonic_clock.hpp"
#include "sim/simulated_machine.hpp"
#include "platform/spin_pacing.hpp"
#include "state/state.hpp"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void rest() { std::this_thread::sleep_for(std::chrono::milliseconds(80)); }

void pacing(benchmark::State& bench, bool real_time) {
    std::unique_ptr<korvex::RealTimeScope> rt;
    if (real_time) {
        rt = std::make_unique<korvex::RealTimeScope>(korvex::RealTimeSettings{});
        std::string label;
        for (const auto& r : rt->outcome().refusals) label += (label.empty() ? "" : "; ") + r;
        if (!label.empty()) bench.SetLabel(label);
    }
    korvex::testing::reset_thread_state();
    korvex::SimulatedMachine::Options o;
    o.trace = false;
    o.real_time = true;
    korvex::SimulatedMachine machine(o);
    machine.set_library_folder("/dev/null");
    korvex::set_platform(machine.platform());
    {
        korvex_dll host;
        host.Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
        host.Marking_para(1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0);  // 100 steps/mm, no delays
        host.marking_start();
        korvex::State& s = korvex::thread_state();
        const double period_us = s.para.lngMarkStepUs;
        const auto cycles = static_cast<uint64_t>(std::ceil(200.0 * s.hw.sngStepsPerMm / s.para.lngMarkStepN));
        const double planned_us = static_cast<double>(cycles) * period_us;
        std::vector<double> line{2, -100, 0, 100, 0, 0}, to_start{1, -100, 0, 0};
        std::vector<float> lateness(cycles);
        std::vector<double> bare, library, quotient;
        korvex::MonotonicClock clock;
        for (auto _ : bench) {
            bench.PauseTiming();
            host.Marking_data(to_start);
            rest();
            bench.ResumeTiming();
            const double b = korvex::Spin_pacing(period_us, cycles, nullptr, lateness).ratio();
            bench.PauseTiming();
            rest();
            bench.ResumeTiming();
            const uint64_t t0 = clock.counter();
            host.Marking_data(line);
            const double l = static_cast<double>(clock.counter() - t0) / 1000.0 / planned_us;
            bare.push_back(b);
            library.push_back(l);
            quotient.push_back(l / b);
        }
        bench.counters["bare_ratio"] = median(bare);
        bench.counters["library_ratio"] = median(library);
        bench.counters["library_over_bare"] = median(quotient);
    }
    korvex::testing::reset_thread_state();
}

void BM_Pacing_plain(benchmark::State& bench) { pacing(bench, false); }
void BM_Pacing_rt(benchmark::State& bench) { pacing(bench, true); }

}  // namespace

BENCHMARK(BM_Pacing_plain)->Name("BM_Pacing/plain")->Iterations(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pacing_rt)->Name("BM_Pacing/rt")->Iterations(9)->Unit(benchmark::kMillisecond);
