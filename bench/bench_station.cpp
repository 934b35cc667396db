// The marking station's costs, as ratios of one run:
// - journal overhead: `korvex eartag` on the same 24 tags with the journal (a new SQLite file,
//   synchronous=FULL) and without, no pictures; counter journal_vs_plain (tags/s with ÷ without);
// - a hall: `korvex station run` processes at a fixed pacing (each plate at least 1 s) on one
//   PostgreSQL journal, four against one; counter hall_vs_one (tags/hour of four ÷ of one).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>

#include "eartag_journal.hpp"
#include "korvex_process.hpp"
#include "postgres_cluster.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

void BM_StationJournalOverhead(benchmark::State& state) {
    char name[] = "/tmp/korvex_bench_station_XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
    korvex::tool::EartagOptions o;
    o.base = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag_template";
    o.numbers = korvex::tool::parse_number_list("982000123456001..982000123456024");
    o.pictures = false;
    o.bring_up = korvex::tool::BringUp::direct;
    o.picture.head_steps_per_mm = 0.0;
    double plain_s = 0.0, journal_s = 0.0;
    int run = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        auto t0 = Clock::now();
        if (korvex::tool::run_eartag(o, out, err) != 0) state.SkipWithError("korvex eartag failed");
        plain_s += seconds_since(t0);
        korvex::tool::JournalChoice j{std::string(name) + "/tags" + std::to_string(run++) + ".db", "bench", "eartag", "bench"};
        t0 = Clock::now();
        if (korvex::tool::run_eartag_journal(o, j, out, err) != 0) state.SkipWithError(("journal batch failed: " + err.str()).c_str());
        journal_s += seconds_since(t0);
    }
    std::filesystem::remove_all(name);
    state.counters["plain_tags_per_s"] = 24.0 * static_cast<double>(state.iterations()) / plain_s;
    state.counters["journal_tags_per_s"] = 24.0 * static_cast<double>(state.iterations()) / journal_s;
    state.counters["journal_vs_plain"] = plain_s / journal_s;
}

// `stations` processes mark `plates_each` x stations plates of 2 tags at 1 s a plate; tags/hour.
double hall_tags_per_hour(station_test::PostgresCluster& cluster, int stations, int plates_each) {
    const std::string db = cluster.new_database();
    korvex::station::Journal j = korvex::station::Journal::open(db);
    const int tags = 2 * plates_each * stations;
    std::vector<std::string> numbers;
    for (int i = 1; i <= tags; ++i) numbers.push_back(std::to_string(982000000200000 + i));
    const korvex::station::Actor op{"bench", ""};
    j.add_numbers("hall", "", numbers, op);
    j.add_order({"hall", "eartag_template", tags, 2}, op);
    const auto t0 = Clock::now();
    std::vector<pid_t> pids;
    for (int k = 1; k <= stations; ++k)
        pids.push_back(start_korvex({"station", "run", "--db", db, "--templates", std::string(KORVEX_SOURCE_DIR) + "/examples", "--station",
                                     "bench-" + std::to_string(k), "--operator", "bench", "--plate-s", "1"}));
    for (pid_t pid : pids)
        if (wait_korvex(pid) != 0) throw std::runtime_error("a station failed");
    return tags / seconds_since(t0) * 3600.0;
}

void BM_StationHall(benchmark::State& state) {
    std::string why;
    station_test::PostgresCluster* cluster = station_test::PostgresCluster::get(why);
    if (!cluster) {
        state.SkipWithError(("PostgreSQL: " + why).c_str());
        for (auto _ : state) {
        }
        return;
    }
    double one = 0.0, four = 0.0;
    for (auto _ : state) {
        one = hall_tags_per_hour(*cluster, 1, 8);
        four = hall_tags_per_hour(*cluster, 4, 8);
    }
    state.counters["one_station_tags_per_h"] = one;
    state.counters["four_stations_tags_per_h"] = four;
    state.counters["hall_vs_one"] = four / one;
}

}  // namespace

BENCHMARK(BM_StationJournalOverhead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StationHall)->Unit(benchmark::kSecond)->Iterations(1);
