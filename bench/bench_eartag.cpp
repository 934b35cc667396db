// Ear-tag batch throughput: tags per second of wall time for `korvex eartag` on the virtual clock,
// with the plates' pictures (a PNG each) and without, against the machine time the plates take on
// the machine (counters: machine seconds a plate, and how many times faster than the machine).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "eartag_batch.hpp"

namespace {

void run_batch(benchmark::State& state, bool pictures) {
    char name[] = "/tmp/korvex_bench_eartag_XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
    korvex::tool::EartagOptions o;
    o.base = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template";
    o.numbers = korvex::tool::parse_number_list("982000123456001..982000123456012");
    o.pictures = pictures;
    o.out_dir = name;
    o.picture.head_steps_per_mm = 0.0;
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

void BM_EartagBatchWithPictures(benchmark::State& state) { run_batch(state, true); }
void BM_EartagBatchWithoutPictures(benchmark::State& state) { run_batch(state, false); }

}  // namespace

BENCHMARK(BM_EartagBatchWithPictures)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EartagBatchWithoutPictures)->Unit(benchmark::kMillisecond)->Iterations(3);
