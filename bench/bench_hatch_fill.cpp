// Outline fill on a 30 000-edge outline (a wavy ring of 20 000 edges around a 10 x 10 grid of
// 100-edge holes, 3 300 scan lines): the library's edge-table fill against the edge-by-edge rule
// with its bubble sort, in one run so the two times can be compared side by side.
#include <benchmark/benchmark.h>

#include <cmath>
#include <stdexcept>

#include "../tests/hatch_reference.hpp"

namespace {

struct Outline {
    int32_t contours = 0, maxX = INT32_MIN, maxY = INT32_MIN, minX = INT32_MAX, minY = INT32_MAX;
};

// Writes the outline into the thread's edge list.
Outline Build_outline(korvex::State& s) {
    s.hw.sngStepsPerMm = 100.0f;
    s.tmpl.curCell.FillSpace = 0.12f;  // 12 steps
    Outline o;
    int32_t a = 0;
    auto contour = [&](double cx, double cy, double r, double wobble, int waves, int n) {
        for (int i = 0; i < n; ++i) {
            auto point = [&](int k) {
                const double t = 2 * M_PI * (k % n) / n;
                const double rr = r + wobble * std::sin(waves * t);
                return std::pair<int32_t, int32_t>{static_cast<int32_t>(std::lround(cx + rr * std::cos(t))),
                                                    static_cast<int32_t>(std::lround(cy + rr * std::sin(t)))};
            };
            const auto [x0, y0] = point(i);
            const auto [x1, y1] = point(i + 1);
            s.fill.recEdge.at(a++) = korvex::SegRec{x0, y0, x1, y1};
            o.maxX = std::max({o.maxX, x0, x1});
            o.maxY = std::max({o.maxY, y0, y1});
            o.minX = std::min({o.minX, x0, x1});
            o.minY = std::min({o.minY, y0, y1});
        }
        s.fill.lngContourEnd.at(o.contours++) = a - 1;
    };
    contour(0, 0, 20000, 300, 97, 20000);
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) contour(-13500 + 3000 * i, -13500 + 3000 * j, 1000, 50, 7, 100);
    return o;
}

void BM_HatchFillLibrary(benchmark::State& state) {
    korvex::State& s = korvex::thread_state();
    const Outline o = Build_outline(s);
    for (auto _ : state) benchmark::DoNotOptimize(korvex::Hatch_fill(s, o.contours, o.maxX, o.maxY, o.minX, o.minY));
    state.counters["segments"] = s.fill.lngHatchCount;
}

void BM_HatchFillEdgeByEdge(benchmark::State& state) {
    korvex::State& s = korvex::thread_state();
    const Outline o = Build_outline(s);
    for (auto _ : state)
        benchmark::DoNotOptimize(hatch_reference::Hatch_fill_literal(s, o.contours, o.maxX, o.maxY, o.minX, o.minY));
    state.counters["segments"] = s.fill.lngHatchCount;
}

}  // namespace

BENCHMARK(BM_HatchFillLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HatchFillEdgeByEdge)->Unit(benchmark::kMillisecond)->Iterations(3);
