// Loading a full-size calibration grid file (262 145 offset pairs): the library's loader against a
// plain std::ifstream >> reader doing the same work (header, four Singles, every pair into the two
// offset tables), both on the same file in the same run.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "korvex/korvex_dll.hpp"
#include "device/calibration_file.hpp"
#include "state/state.hpp"

namespace {

namespace fs = std::filesystem;

// A temporary library folder holding a grid file laid out as the host tools write it: pincushion
// offsets of a few hundred D/A steps at the corners, one pair per CR LF line.
class GridFolder {
public:
    GridFolder() {
        char name[] = "/tmp/korvex_bench_grid_XXXXXX";
        if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
        folder_ = name;
        std::string text = "Marking calibrate Data Ver 1.0\r\n0.01,0.008,128,512\r\n";
        for (int64_t k = 0; k < korvex::kGridEntries; ++k) {
            double x = -32768.0 + 128.0 * static_cast<double>(k % 512) + 64.0;
            double y = -32768.0 + 128.0 * static_cast<double>(k / 512) + 64.0;
            if (k == korvex::kGridEntries - 1) x = y = 0.0;
            long dx = std::lround(-0.010 * x * (y / 32768.0) * (y / 32768.0));
            long dy = std::lround(-0.008 * y * (x / 32768.0) * (x / 32768.0));
            text += std::to_string(dx) + "," + std::to_string(dy) + "\r\n";
        }
        std::ofstream(path(), std::ios::binary) << text;
        size_bytes_ = static_cast<int64_t>(text.size());
    }
    ~GridFolder() { fs::remove_all(folder_); }
    std::string folder() const { return folder_.string(); }
    std::string path() const { return (folder_ / "grid_data.dat").string(); }
    int64_t size_bytes() const { return size_bytes_; }

private:
    fs::path folder_;
    int64_t size_bytes_ = 0;
};

GridFolder& grid_folder() {
    static GridFolder folder;
    return folder;
}

// A fresh library state whose folder is the grid folder.
korvex::State& state_for(const GridFolder& g) {
    korvex::testing::reset_thread_state();
    korvex::Platform p;
    p.library_folder = g.folder();
    korvex::set_platform(p);
    return korvex::thread_state();
}

// The straightforward reader: formatted stream extraction, value by value.
void ifstream_load(korvex::State& s, const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::string header;
    std::getline(in, header);
    float singles[4];
    char comma;
    in >> singles[0] >> comma >> singles[1] >> comma >> singles[2] >> comma >> singles[3];
    for (int64_t k = 0; k < korvex::kGridEntries; ++k) {
        int16_t dx, dy;
        in >> dx >> comma >> dy;
        if (!in) throw std::runtime_error("bad grid file");
        s.grid.intGridDX.at(k) = dx;
        s.grid.intGridDY.at(k) = dy;
    }
    s.grid.blnGridLoaded = korvex::kTrue;
}

void finish(benchmark::State& bench, const korvex::State& s, const GridFolder& g) {
    if (s.grid.blnGridLoaded != korvex::kTrue || s.grid.intGridDX.at(0) != 326 || s.grid.intGridDY.at(0) != 261)
        bench.SkipWithError("grid not loaded as written");
    bench.SetItemsProcessed(bench.iterations() * korvex::kGridEntries);
    bench.SetBytesProcessed(bench.iterations() * g.size_bytes());
    korvex::testing::reset_thread_state();
}

void BM_CalibrationLoad(benchmark::State& bench) {
    GridFolder& g = grid_folder();
    korvex::State& s = state_for(g);
    for (auto _ : bench) {
        korvex::Calibration_load(s, -1, 0, 0);
        benchmark::ClobberMemory();
    }
    finish(bench, s, g);
}

void BM_CalibrationLoad_IfstreamBaseline(benchmark::State& bench) {
    GridFolder& g = grid_folder();
    korvex::State& s = state_for(g);
    for (auto _ : bench) {
        ifstream_load(s, g.path());
        benchmark::ClobberMemory();
    }
    finish(bench, s, g);
}

}  // namespace

BENCHMARK(BM_CalibrationLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalibrationLoad_IfstreamBaseline)->Unit(benchmark::kMillisecond);
