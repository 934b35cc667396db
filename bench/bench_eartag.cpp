// Ear-tag batch throughput: tags per second of wall time for `korvex eartag` on the virtual clock,
// with the plates' pictures (a PNG each) and without, against the machine time the plates take on
// the machine (counters: machine seconds a plate, and how many times faster than the machine);
// and the pictures' share of a batch's CPU time, the batch with and without PNGs side by side.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "eartag_batch.hpp"

namespace {

// The example template's batch of 12 tags, its PNGs (if any) into the folder `out_dir`.
korvex::tool::EartagOptions batch_options(const char* out_dir) {
    korvex::tool::EartagOptions o;
    o.base = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template";
    o.numbers = korvex::tool::parse_number_list("982000123456001..982000123456012");
    o.out_dir = out_dir;
    o.picture.head_steps_per_mm = 0.0;
    return o;
}

void run_batch(benchmark::State& state, bool pictures) {
    char name[] = "/tmp/korvex_bench_eartag_XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
    korvex::tool::EartagOptions o = batch_options(name);
    o.pictures = pictures;
    double machine_s = 0.0, wall_s = 0.0;
    int tags = 0, plates = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        korvex::tool::EartagReport report;
        if (korvex::tool::run_eartag(o, out, err, &report) != 0) {
            state.SkipWithError(("korvex eartag failed: " + err.str()).c_str());
            break;
        }
        machine_s += report.machine_us / 1e6;
        wall_s += report.wall_s;
        tags += report.tags;
        plates += report.plates;
    }
    std::filesystem::remove_all(name);
    if (plates == 0) return;
    state.counters["tags_per_wall_s"] = tags / wall_s;
    state.counters["machine_s_per_plate"] = machine_s / plates;
    state.counters["faster_than_machine"] = machine_s / wall_s;
}

double process_cpu_s() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The batch with a PNG per plate and without, in turn, three rounds; the best CPU time of each
// gives the pictures' share of the batch: (with - without) / with.
void BM_EartagPictureShare(benchmark::State& state) {
    char name[] = "/tmp/korvex_bench_eartag_XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
    korvex::tool::EartagOptions o = batch_options(name);
    double best_with = 1e9, best_without = 1e9;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            for (bool pictures : {true, false}) {
                o.pictures = pictures;
                std::ostringstream out, err;
                const double t0 = process_cpu_s();
                if (korvex::tool::run_eartag(o, out, err) != 0) {
                    state.SkipWithError(("korvex eartag failed: " + err.str()).c_str());
                    std::filesystem::remove_all(name);
                    return;
                }
                double& best = pictures ? best_with : best_without;
                best = std::min(best, process_cpu_s() - t0);
            }
        }
    }
    std::filesystem::remove_all(name);
    state.counters["with_pictures_cpu_s"] = best_with;
    state.counters["without_pictures_cpu_s"] = best_without;
    state.counters["picture_share"] = (best_with - best_without) / best_with;
}

void BM_EartagBatchWithPictures(benchmark::State& state) { run_batch(state, true); }
void BM_EartagBatchWithoutPictures(benchmark::State& state) { run_batch(state, false); }

}  // namespace

BENCHMARK(BM_EartagBatchWithPictures)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EartagBatchWithoutPictures)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EartagPictureShare)->Unit(benchmark::kSecond)->Iterations(1);
