// Scan engine benchmarks. (1) The cost of one stepping cycle (Point_step: correction, pacing reads,
// two D/A loads into the simulated card, no waiting) with the grid and with the coefficient model,
// beside the bare D/A loads it must make anyway. (2) Pacing fidelity on the monotonic clock: a 200 mm
// line at 1000 mm/s must take the time the stepping model predicts; the p99 step period jitter is
// reported as a counter.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "device/card_access.hpp"
#include "device/laser_signals.hpp"
#include "device/timer.hpp"
#include "korvex/korvex_dll.hpp"
#include "platform/monotonic_clock.hpp"
#include "platform/simulated_machine.hpp"
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

void point_steps(benchmark::State& bench, bool grid) {
    Bench b(false);
    korvex::State& s = b.s();
    if (grid) {
        s.grid.blnGridLoaded = korvex::kTrue;
        for (int i = 0; i < korvex::kGridEntries; ++i) {
            s.grid.intGridDX.items[i] = static_cast<int16_t>(i % 7 - 3);
            s.grid.intGridDY.items[i] = static_cast<int16_t>(i % 5 - 2);
        }
    } else {
        s.hw.sngDistortA = s.hw.sngDistortB = s.hw.sngDistortC = s.hw.sngDistortD = 1e-10f;
    }
    int32_t x = -20000, y = -15000;
    for (auto _ : bench) {
        korvex::Point_step(s, x, y, 0.0f);
        x += 3;
        y += 2;
        if (x > 20000) x = -20000, y = -15000;
    }
    bench.SetItemsProcessed(bench.iterations());
}

void BM_StepCycle_Grid(benchmark::State& bench) { point_steps(bench, true); }
void BM_StepCycle_Coefficients(benchmark::State& bench) { point_steps(bench, false); }

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

// Marks a 200 mm line at 1000 mm/s on the monotonic clock and compares the time taken with the
// stepping model's prediction: cycles x lngMarkStepUs.
void BM_PacingFidelity(benchmark::State& bench) {
    Bench b(true);
    korvex::State& s = b.s();
    struct Stamps : korvex::CardListener {
        korvex::MonotonicClock clock;
        std::vector<uint64_t> t;
        void on_write(uint8_t page, uint8_t offset, uint8_t value) override {
            if (offset == 0xCF && value == 0xC8) t.push_back(clock.counter());
        }
    } stamps;
    stamps.t.reserve(20000);
    b.machine.card().add_listener(&stamps);
    std::vector<double> ratios, jitters;
    for (auto _ : bench) {
        bench.PauseTiming();
        b.host->marking_start();
        korvex::Laser_switch(s, korvex::kTrue);
        stamps.t.clear();
        const int32_t n = s.para.lngMarkStepN, period = s.para.lngMarkStepUs;
        const double cycles = (200.0 * s.hw.sngStepsPerMm) / n;
        const double predicted_us = cycles * period;
        bench.ResumeTiming();
        const double t0 = korvex::Timer_now_us(s);
        korvex::Scan_vector(s, -100.0f, 0.0f, 100.0f, 0.0f);
        const double took_us = korvex::Timer_now_us(s) - t0;
        bench.PauseTiming();
        korvex::Laser_switch(s, korvex::kFalse);
        ratios.push_back(took_us / predicted_us);
        std::vector<double> periods;
        for (std::size_t i = 1; i < stamps.t.size(); ++i) periods.push_back((stamps.t[i] - stamps.t[i - 1]) / 1000.0 - period);
        std::sort(periods.begin(), periods.end(), [](double a, double c) { return std::abs(a) < std::abs(c); });
        if (!periods.empty()) jitters.push_back(std::abs(periods[periods.size() * 99 / 100]));
        bench.ResumeTiming();
    }
    b.machine.card().remove_listener(&stamps);
    std::sort(ratios.begin(), ratios.end());
    std::sort(jitters.begin(), jitters.end());
    bench.counters["measured_over_predicted"] = ratios[ratios.size() / 2];
    bench.counters["p99_jitter_us"] = jitters.empty() ? 0.0 : jitters[jitters.size() / 2];
}

}  // namespace

BENCHMARK(BM_StepCycle_BareDaLoads);
BENCHMARK(BM_StepCycle_Coefficients);
BENCHMARK(BM_StepCycle_Grid);
BENCHMARK(BM_PacingFidelity)->Iterations(7)->Unit(benchmark::kMillisecond);
