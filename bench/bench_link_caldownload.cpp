// Wall time of a calibration download (command and 2048 pages of 528 bytes) through the real serial
// path: the POSIX control on a pseudo-terminal to the emulated controller, throttled to 115 200 baud,
// as a ratio to the wire time of the bytes exchanged. The replies are polled every 10 ms, so each
// page waits for the first check after its acknowledgement arrived: that rounding is the floor above
// the wire time. The unthrottled run shows the polling alone (every page costs one 10 ms check).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "korvex/korvex_dll.hpp"
#include "sim/emulated_controller_pty.hpp"
#include "sim/simulated_machine.hpp"
#include "state/state.hpp"

namespace {

namespace fs = std::filesystem;

// A library folder with a grid file for heads 1-3 (all offsets 0).
class GridFolder {
public:
    GridFolder() {
        char name[] = "/tmp/korvex_bench_cal_XXXXXX";
        if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
        folder_ = name;
        std::ofstream out(folder_ / "grid_data.dat1");
        out << "Marking calibrate Data Ver 1.0\n0,0,0,0\n";
        for (int k = 0; k <= 262144; ++k) out << "0,0\n";
    }
    ~GridFolder() { fs::remove_all(folder_); }
    std::string folder() const { return folder_.string(); }

private:
    fs::path folder_;
};

void calibration_download(benchmark::State& bench, bool throttle) {
    static GridFolder grid;
    korvex::EmulatedController controller;
    korvex::ControllerPty pty(controller, throttle);
    std::atomic<bool> stop{false};
    std::thread server([&] { pty.serve(stop); });

    korvex::testing::reset_thread_state();
    korvex::SimulatedMachine::Options opts;
    opts.trace = false;
    korvex::SimulatedMachine machine(opts);
    machine.serial().attach_device(1, pty.device_path());
    machine.set_library_folder(grid.folder());
    korvex::set_platform(machine.platform());
    double wall_s = 0.0;
    int16_t ok = 0;
    {
        korvex_dll host;
        host.Marking_init_pci(0, 0, 1, 0, 0, {0x81, 0, 0, 0}, 0);
        for (auto _ : bench) {
            const auto t0 = std::chrono::steady_clock::now();
            ok = host.Send_cal_data(1);
            wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
    }
    stop = true;
    server.join();
    korvex::testing::reset_thread_state();
    if (ok != -1) bench.SkipWithError("the calibration download failed");

    // Host to controller: the command and 2048 pages; back: 2047 + 1 acknowledgements and the 5-byte
    // confirmation; each byte 10 bits at 115 200 baud, one direction at a time.
    const double bytes = 5.0 + 2048.0 * 528.0 + 2048.0 + 5.0;
    const double wire_s = bytes * 10.0 / 115200.0;
    bench.counters["wall_s"] = wall_s;
    bench.counters["wire_s"] = wire_s;
    bench.counters["wall_per_wire"] = wall_s / wire_s;
    // Each page's acknowledgement is read at the first 10 ms check after it arrived.
    const double page_wire_s = (528.0 + 1.0) * 10.0 / 115200.0;
    const double poll_floor_s = 2049.0 * std::ceil(page_wire_s / 0.010) * 0.010;
    bench.counters["poll_floor_s"] = throttle ? poll_floor_s : 2049.0 * 0.010;
}

void BM_LinkCalibrationDownload_Throttled(benchmark::State& bench) { calibration_download(bench, true); }
void BM_LinkCalibrationDownload_Unthrottled(benchmark::State& bench) { calibration_download(bench, false); }

}  // namespace

BENCHMARK(BM_LinkCalibrationDownload_Throttled)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_LinkCalibrationDownload_Unthrottled)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
