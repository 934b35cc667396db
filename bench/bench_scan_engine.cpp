// Scan engine benchmarks: the cost of one stepping cycle (Point_step: correction, pacing reads, two
// D/A loads into the simulated card, no waiting) with the grid and with the coefficient model,
// beside the bare D/A loads it must make anyway, and the two models' cycles side by side in one
// run (BM_StepCycle_CoefficientsOverGrid: the ratio robust to a busy machine). Pacing fidelity on
// the monotonic clock, against the bare spin loop, is bench_pacing.cpp.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <vector>

#include "device/card_access.hpp"
#include "device/laser_signals.hpp"
#include "device/timer.hpp"
#include "korvex/korvex_dll.hpp"
#include "platform/monotonic_clock.hpp"
#include "sim/simulated_machine.hpp"
#include "scan/point_output.hpp"
#include "scan/vector_stepping.hpp"
#include "state/state.hpp"

namespace {

// real_time: the whole simulated machine on the monotonic clock. Otherwise the bare card register
// file on a virtual clock, without the machine model's mark recording, so the figures are the
// library's own cost plus the card's register writes.
struct Bench {
    explicit Bench(bool real_time) : machine(options(real_time)), card(&clock, nullptr) {
        korvex::testing::reset_thread_state();
        korvex::Platform p = machine.platform();
        if (!real_time) {
            p.card = &card;
            p.clock = &clock;
        }
        korvex::set_platform(p);
        host = std::make_unique<korvex_dll>();
        host->Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
        host->Marking_para(1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0);  // 100 steps/mm
        host->marking_start();
    }
    ~Bench() {
        host.reset();
        korvex::testing::reset_thread_state();
    }
    static korvex::SimulatedMachine::Options options(bool real_time) {
        korvex::SimulatedMachine::Options o;
        o.trace = false;
        o.real_time = real_time;
        return o;
    }
    korvex::State& s() { return korvex::thread_state(); }
    korvex::SimulatedMachine machine;
    korvex::VirtualClock clock;
    korvex::SimulatedCard card;
    std::unique_ptr<korvex_dll> host;
};

// Both models set up: a grid (used while blnGridLoaded is set) and distortion coefficients.
void set_up_models(korvex::State& s) {
    for (int i = 0; i < korvex::kGridEntries; ++i) {
        s.grid.intGridDX.items[i] = static_cast<int16_t>(i % 7 - 3);
        s.grid.intGridDY.items[i] = static_cast<int16_t>(i % 5 - 2);
    }
    s.hw.sngDistortA = s.hw.sngDistortB = s.hw.sngDistortC = s.hw.sngDistortD = 1e-10f;
}

// A diagonal sweep over most of the field, one Point_step a point.
struct Sweep {
    int32_t x = -20000, y = -15000;
    void step(korvex::State& s) {
        korvex::Point_step(s, x, y, 0.0f);
        x += 3;
        y += 2;
        if (x > 20000) x = -20000, y = -15000;
    }
};

void point_steps(benchmark::State& bench, bool grid) {
    Bench b(false);
    korvex::State& s = b.s();
    set_up_models(s);
    s.grid.blnGridLoaded = grid ? korvex::kTrue : korvex::kFalse;
    Sweep sweep;
    for (auto _ : bench) sweep.step(s);
    bench.SetItemsProcessed(bench.iterations());
}

void BM_StepCycle_Grid(benchmark::State& bench) { point_steps(bench, true); }
void BM_StepCycle_Coefficients(benchmark::State& bench) { point_steps(bench, false); }

double thread_cpu_ns() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Blocks of cycles with the grid and with the coefficient model in turn, on the same points; the
// best block of each (CPU time) gives the cost of a cycle and their ratio.
void BM_StepCycle_CoefficientsOverGrid(benchmark::State& bench) {
    constexpr int kCycles = 200'000, kRounds = 3;
    Bench b(false);
    korvex::State& s = b.s();
    set_up_models(s);
    double best_grid = 1e30, best_coefficients = 1e30;
    auto block = [&](bool grid) {
        s.grid.blnGridLoaded = grid ? korvex::kTrue : korvex::kFalse;
        Sweep sweep;
        const double t0 = thread_cpu_ns();
        for (int i = 0; i < kCycles; ++i) sweep.step(s);
        const double per_cycle = (thread_cpu_ns() - t0) / kCycles;
        double& best = grid ? best_grid : best_coefficients;
        best = std::min(best, per_cycle);
    };
    for (auto _ : bench) {
        for (int round = 0; round < kRounds; ++round) {
            block(true);
            block(false);
        }
    }
    bench.counters["grid_ns"] = best_grid;
    bench.counters["coefficients_ns"] = best_coefficients;
    bench.counters["ratio"] = best_coefficients / best_grid;
}

// What a cycle has to do at the least: one load per channel.
void BM_StepCycle_BareDaLoads(benchmark::State& bench) {
    Bench b(false);
    korvex::State& s = b.s();
    int32_t v = 0;
    for (auto _ : bench) {
        korvex::DA_write(s, v, 0);
        korvex::DA_write(s, v, 1);
        v = (v + 3) & 0x3FFF;
    }
    bench.SetItemsProcessed(bench.iterations());
}

}  // namespace

BENCHMARK(BM_StepCycle_BareDaLoads);
BENCHMARK(BM_StepCycle_Coefficients);
BENCHMARK(BM_StepCycle_Grid);
BENCHMARK(BM_StepCycle_CoefficientsOverGrid)->Iterations(1)->Unit(benchmark::kMillisecond);
