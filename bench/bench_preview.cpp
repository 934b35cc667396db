// Previews at scale, one case per goal, each reporting its figures and ratio as counters:
//  - pictures: `korvex mark` of a generated drawing (1k, 10k, 100k segments; 1M in its own case,
//    BM_PreviewPictureMillion) with the default PNG against `--marks` only, in turn, best of three,
//    each run as a child process so its wall time, CPU time and peak memory (max RSS from wait4)
//    are its own. Goal:
//    time ratio <= 1.5 (cpu_ratio is the same figure robust to a busy machine; at 1M segments it
//    should stay within 1.15), memory ratio <= 1.2.
//  - marks: the example ear-tag drawing's `line` and `jump` marks against its segments and jumps,
//    and the marked length against the drawing's. Goal: both ratios within 5%, length within 0.1%.
//  - start-up: `korvex run` of an empty script against `korvex --help`, alternated, best of many.
//    Goal: ratio <= 2.
//  - machine time: a small drawing on the monotonic clock (`--real-time`); the job's machine time
//    against the wall time of the whole command, and the marked vectors' measured / planned time.
// Run (configured with -DKORVEX_BENCH=ON): the quick cases with
//   build/korvex_bench --benchmark_filter='Preview(Picture/|Marks|Startup|MachineTime)'
// and the 1M-segment picture case (about a minute on a quiet machine) with
//   build/korvex_bench --benchmark_filter=PreviewPictureMillion
// The tool is build/korvex beside the benchmark binary, or the path in KORVEX_CLI.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "mark_command.hpp"
#include "vector_file.hpp"

namespace {

namespace fs = std::filesystem;

std::string cli_path() {
    if (const char* p = std::getenv("KORVEX_CLI")) return p;
    return (fs::read_symlink("/proc/self/exe").parent_path() / "korvex").string();
}

struct ChildRun {
    bool ok = false;
    double wall_s = 0.0;
    double cpu_s = 0.0;  // user + system: what the run cost, whatever else the machine was doing
    double max_rss_mib = 0.0;
};

// Runs the tool with args, its output to /dev/null, and measures it.
ChildRun run_tool(const std::vector<std::string>& args) {
    const std::string exe = cli_path();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
    ChildRun r;
    r.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.max_rss_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
    r.cpu_s = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

// A scratch folder removed with the object.
struct TempDir {
    fs::path path;
    TempDir() {
        char name[] = "/tmp/korvex_bench_preview_XXXXXX";
        if (!::mkdtemp(name)) throw std::runtime_error("cannot create a temporary folder");
        path = name;
    }
    ~TempDir() { fs::remove_all(path); }
};

// A drawing of `segments` marked segments: polylines of 20 short oblique strokes (0.25 mm, turning
// by the golden angle, so every stroke is a stepped staircase) spread over a 100 mm field.
void write_drawing(const fs::path& file, int segments) {
    constexpr int kPerRecord = 20;
    constexpr double kStrokeMm = 0.25;
    const int records = std::max(1, segments / kPerRecord);
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(records))));
    const double pitch_mm = 100.0 / side;
    std::ofstream out(file);
    char buf[64];
    for (int r = 0; r < records; ++r) {
        double x = -50.0 + pitch_mm * (r % side + 0.5), y = -50.0 + pitch_mm * (r / side + 0.5);
        out << kPerRecord + 1;
        for (int k = 0; k <= kPerRecord; ++k) {
            std::snprintf(buf, sizeof buf, ", %.4f, %.4f", x, y);
            out << buf;
            const double angle = (r * 0.7 + k * 2.39996);
            x += kStrokeMm * std::cos(angle);
            y += kStrokeMm * std::sin(angle);
        }
        out << "\n";
    }
    out << "0\n";
}

void picture_case(benchmark::State& state, int segments) {
    TempDir dir;
    const fs::path drawing = dir.path / "drawing.md";
    write_drawing(drawing, segments);
    // Three rounds of the two runs in turn; each figure is the best of its three.
    ChildRun marks{true, 1e9, 1e9, 1e9}, png{true, 1e9, 1e9, 1e9};
    const auto keep_best = [](ChildRun& best, const ChildRun& run) {
        best.wall_s = std::min(best.wall_s, run.wall_s);
        best.cpu_s = std::min(best.cpu_s, run.cpu_s);
        best.max_rss_mib = std::min(best.max_rss_mib, run.max_rss_mib);
    };
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            const ChildRun m = run_tool({"mark", drawing.string(), "--marks", (dir.path / "drawing.marks").string()});
            const ChildRun p = run_tool({"mark", drawing.string(), "--png", (dir.path / "drawing.png").string()});
            if (!m.ok || !p.ok) {
                state.SkipWithError("korvex mark failed");
                return;
            }
            keep_best(marks, m);
            keep_best(png, p);
        }
    }
    state.counters["segments"] = segments;
    state.counters["marks_s"] = marks.wall_s;
    state.counters["png_s"] = png.wall_s;
    state.counters["time_ratio"] = png.wall_s / marks.wall_s;
    state.counters["marks_cpu_s"] = marks.cpu_s;
    state.counters["png_cpu_s"] = png.cpu_s;
    state.counters["cpu_ratio"] = png.cpu_s / marks.cpu_s;
    state.counters["marks_MiB"] = marks.max_rss_mib;
    state.counters["png_MiB"] = png.max_rss_mib;
    state.counters["mem_ratio"] = png.max_rss_mib / marks.max_rss_mib;
}

void BM_PreviewPicture(benchmark::State& state) { picture_case(state, static_cast<int>(state.range(0))); }
void BM_PreviewPictureMillion(benchmark::State& state) { picture_case(state, 1'000'000); }

// Marks of the example ear-tag drawing against the drawing itself.
void BM_PreviewMarks(benchmark::State& state) {
    const std::string input = std::string(KORVEX_SOURCE_DIR) + "/examples/eartag.md";
    std::vector<double> md = korvex::tool::read_vector_file(input);
    const korvex::tool::Drawing drawing = korvex::tool::describe_drawing(md);
    // Every record starts with a jump to its first point.
    const double drawing_jumps = static_cast<double>(drawing.records);
    uint64_t lines = 0, jumps = 0;
    double marked_mm = 0.0;
    for (auto _ : state) {
        korvex::tool::MarkCommand c;
        c.input = input;
        c.outputs.marks_path = "-";
        std::ostringstream out, err;
        if (korvex::tool::run_mark_command(c, out, err) != 0) {
            state.SkipWithError(("korvex mark failed: " + err.str()).c_str());
            return;
        }
        std::istringstream text(out.str());
        std::string kind;
        lines = jumps = 0;
        marked_mm = 0.0;
        for (std::string row; std::getline(text, row);) {
            std::istringstream fields(row);
            double x0, y0, x1, y1;
            fields >> kind >> x0 >> y0 >> x1 >> y1;
            if (kind == "line") {
                ++lines;
                marked_mm += std::hypot(x1 - x0, y1 - y0) / 100.0;  // 10 um steps: 100 D/A units a mm
            } else if (kind == "jump") {
                ++jumps;
            }
        }
    }
    state.counters["segments"] = static_cast<double>(drawing.segments);
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["line_ratio"] = static_cast<double>(lines) / static_cast<double>(drawing.segments);
    state.counters["drawing_jumps"] = drawing_jumps;
    state.counters["jumps"] = static_cast<double>(jumps);
    state.counters["jump_ratio"] = static_cast<double>(jumps) / drawing_jumps;
    state.counters["length_ratio"] = marked_mm / drawing.marked_mm;
}

// An empty host script against the tool's help: both are mostly process start-up.
void BM_PreviewStartup(benchmark::State& state) {
    TempDir dir;
    const fs::path script = dir.path / "empty.ks";
    std::ofstream(script) << "# nothing\n";
    double best_run = 1e9, best_help = 1e9, best_run_cpu = 1e9, best_help_cpu = 1e9;
    for (auto _ : state) {
        for (int i = 0; i < 15; ++i) {
            const ChildRun run = run_tool({"run", script.string(), "--trace", (dir.path / "trace").string()});
            const ChildRun help = run_tool({"--help"});
            if (!run.ok || !help.ok) {
                state.SkipWithError("korvex failed");
                return;
            }
            best_run = std::min(best_run, run.wall_s);
            best_help = std::min(best_help, help.wall_s);
            best_run_cpu = std::min(best_run_cpu, run.cpu_s);
            best_help_cpu = std::min(best_help_cpu, help.cpu_s);
        }
    }
    state.counters["empty_script_ms"] = best_run * 1e3;
    state.counters["help_ms"] = best_help * 1e3;
    state.counters["ratio"] = best_run / best_help;
    state.counters["empty_script_cpu_ms"] = best_run_cpu * 1e3;
    state.counters["help_cpu_ms"] = best_help_cpu * 1e3;
}

// A small drawing on the monotonic clock: the summary's machine time must be the job's (not the
// set-up or the PNG written after it), and the marked vectors must take about their planned time.
void BM_PreviewMachineTime(benchmark::State& state) {
    TempDir dir;
    const fs::path drawing = dir.path / "drawing.md";
    write_drawing(drawing, 2000);
    double machine_s = 0.0, wall_s = 0.0, measured_over_planned = 0.0;
    for (auto _ : state) {
        korvex::tool::MarkCommand c;
        c.input = drawing.string();
        c.real_time = true;
        c.outputs.png_path = (dir.path / "drawing.png").string();
        std::ostringstream out, err;
        const auto t0 = std::chrono::steady_clock::now();
        if (korvex::tool::run_mark_command(c, out, err) != 0) {
            state.SkipWithError(("korvex mark failed: " + err.str()).c_str());
            return;
        }
        wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const std::string summary = out.str();
        const std::size_t at = summary.find("machine time ");
        const std::size_t x = summary.find("planned (x");
        if (at == std::string::npos || x == std::string::npos) {
            state.SkipWithError(("no machine time in the summary: " + summary).c_str());
            return;
        }
        machine_s = std::stod(summary.substr(at + 13)) / 1e6;
        measured_over_planned = std::stod(summary.substr(x + 10));
    }
    state.counters["machine_s"] = machine_s;
    state.counters["command_wall_s"] = wall_s;
    state.counters["machine_over_wall"] = machine_s / wall_s;
    state.counters["measured_over_planned"] = measured_over_planned;
}

}  // namespace

BENCHMARK(BM_PreviewPicture)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PreviewPictureMillion)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PreviewMarks)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PreviewStartup)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PreviewMachineTime)->Unit(benchmark::kSecond)->Iterations(1);
