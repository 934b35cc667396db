// Mark merging's share of an ear-tag batch without pictures: the batch of bench_eartag.cpp (the
// example template, 12 tags on 6 plates after e_Initlize) marked in-process twice per round, once
// with the machine model keeping its marks and once with recording off, each timed in thread CPU
// time; the difference is what turning the machine's movements into marks costs. Best of three
// rounds. Run with
//   build/korvex_bench --benchmark_filter=MarkMergingShare
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "korvex/korvex_dll.hpp"
#include "sim/simulated_machine.hpp"
#include "state/state.hpp"
#include "tag_code.hpp"

namespace {

double thread_cpu_s() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU seconds of the batch's plates (the e_PrintEarMark calls and the marks fetched after each).
double batch_cpu_s(bool record_marks) {
    constexpr int kTags = 12, kPerPlate = 2;
    korvex::testing::reset_thread_state();
    korvex::SimulatedMachine::Options options;
    options.trace = false;
    korvex::SimulatedMachine machine(options);
    korvex::MarkSettings settings = machine.model().mark_settings();
    settings.record = record_marks;
    machine.model().set_mark_settings(settings);
    korvex::set_platform(machine.platform());
    double cpu_s = 0.0;
    {
        korvex_dll dll;
        dll.e_Initlize();
        dll.e_setPrintInfo(std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template");
        for (int plate = 0; plate < kTags / kPerPlate; ++plate) {
            std::vector<uint8_t> image;
            std::vector<std::string> first, second;
            for (int t = 0; t < kPerPlate; ++t) {
                const std::string number = "9820001234560" + std::to_string(10 + plate * kPerPlate + t);
                const korvex::tool::TagCodeBitmap code = korvex::tool::tag_code_bitmap(number);
                image.insert(image.end(), code.begin(), code.end());
                first.push_back(number);
                second.push_back(number.substr(number.size() - 5));
            }
            const std::vector<uint8_t> sizes{kPerPlate, korvex::tool::kTagCodeBytes, korvex::tool::kTagCodeBytes};
            machine.model().clear_marks();
            const double t0 = thread_cpu_s();
            dll.e_PrintEarMark(image, first, second, sizes);
            benchmark::DoNotOptimize(machine.marks());
            cpu_s += thread_cpu_s() - t0;
        }
    }
    korvex::set_platform({});
    korvex::testing::reset_thread_state();
    return cpu_s;
}

void BM_MarkMergingShare(benchmark::State& state) {
    double best_with = 1e9, best_without = 1e9;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            best_with = std::min(best_with, batch_cpu_s(true));
            best_without = std::min(best_without, batch_cpu_s(false));
        }
    }
    state.counters["with_marks_cpu_s"] = best_with;
    state.counters["without_marks_cpu_s"] = best_without;
    state.counters["merging_share"] = (best_with - best_without) / best_with;
}

}  // namespace

BENCHMARK(BM_MarkMergingShare)->Unit(benchmark::kSecond)->Iterations(1);
