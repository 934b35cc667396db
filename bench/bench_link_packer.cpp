// Packing throughput of the stand-alone job packer: a 1-million-point md array (1000 polylines of
// 1000 points) packed by Marking_data in stand-alone mode, against a plain byte-by-byte
// std::vector::push_back packer of the same records, measured in the same run. Both produce the same
// bytes (checked before timing); the counter is job bytes per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "link/job_packer.hpp"
#include "state/state.hpp"

namespace {

constexpr int kLines = 1000;
constexpr int kPointsPerLine = 1000;
constexpr double kSuUm = 10.0;

std::vector<double> drawing() {
    std::vector<double> md;
    md.reserve(static_cast<std::size_t>(kLines) * (2 * kPointsPerLine + 1) + 1);
    for (int l = 0; l < kLines; ++l) {
        md.push_back(kPointsPerLine);
        for (int p = 0; p < kPointsPerLine; ++p) {
            md.push_back(-300.0 + 0.6 * p);  // mm, a zigzag across the field
            md.push_back(-300.0 + 0.6 * l + (p % 2 ? 0.05 : 0.0));
        }
    }
    md.push_back(0);
    return md;
}

korvex::State& packer_state() {
    korvex::testing::reset_thread_state();
    korvex::State& s = korvex::thread_state();
    s.para.offPara = {1000.0f, 3000.0f, 300, 400, 100, 200, kSuUm, 50.0f, 20.0f, 300};
    s.hw.sngLaserMaxPower = 100.0f;
    s.hw.intLaserType = 0;
    return s;
}

// The plain packer: the same records, each byte pushed on its own.
class PlainPacker {
public:
    explicit PlainPacker(std::vector<uint8_t>& out) : out_(out) {}
    void pack(const std::vector<double>& md) {
        bool first = true;
        for (std::size_t i = 0; md[i] != 0.0; i += 2 * static_cast<std::size_t>(md[i]) + 1) {
            const int n = static_cast<int>(md[i]);
            if (first) {
                for (uint8_t b : {0xB0, 0x80, 0x80, 0xB1, 0xED, 0xED, 0xC0, 0x2C, 0x01}) out_.push_back(b);
                first = false;
            }
            header(3000.0);
            for (uint8_t b : {0x60, 0x01, 0x00, 0x00, 0x00}) out_.push_back(b);
            point(md[i + 1], md[i + 2]);
            header(1000.0);
            wait(300);
            out_.push_back(0x01);
            wait(400);
            out_.push_back(0x60);
            out_.push_back(static_cast<uint8_t>((n - 1) & 0xFF));
            out_.push_back(static_cast<uint8_t>((n - 1) >> 8));
            out_.push_back(0);
            out_.push_back(0);
            for (int k = 2; k <= n; ++k) point(md[i + 2 * k - 1], md[i + 2 * k]);
            wait(100);
            out_.push_back(0x02);
            wait(200);
        }
    }

private:
    void header(double v) {
        const long b = std::lround(kSuUm * 1000.0 / v * 98.0 / 12.0);
        long c = 1, d;
        if (b >= 160) {
            d = 65535 - b;
        } else {
            const long c0 = 160 / b + 1;
            c = 2;
            while (c < c0) c *= 2;
            d = 65535 - std::lround(c * kSuUm * 1000.0 / v * 98.0 / 12.0);
        }
        for (long x : {0x40L, c, 0x50L, d & 0xFF, d >> 8, 0x51L, d & 0xFF, d >> 8}) out_.push_back(static_cast<uint8_t>(x));
    }
    void wait(int t) {
        out_.push_back(0x80);
        out_.push_back(static_cast<uint8_t>(t & 0xFF));
        out_.push_back(static_cast<uint8_t>(t >> 8));
    }
    void point(double x, double y) {
        for (double v : {x, y}) {
            const long s = std::lrint(v * 1000.0 / kSuUm);
            const long t = s >= 0 ? s : 65536 + s;
            out_.push_back(static_cast<uint8_t>(t & 0xFF));
            out_.push_back(static_cast<uint8_t>(t >> 8));
        }
    }
    std::vector<uint8_t>& out_;
};

const std::vector<double>& the_drawing() {
    static const std::vector<double> md = drawing();
    return md;
}

void check_same_bytes() {
    static bool checked = false;
    if (checked) return;
    std::vector<double> md = the_drawing();
    korvex::State& s = packer_state();
    korvex::Job_packer_reset(s);
    korvex::Marking_data_standalone(s, md);
    std::vector<uint8_t> plain;
    PlainPacker(plain).pack(md);
    if (plain.size() != static_cast<std::size_t>(s.link.lngJobPos) ||
        !std::equal(plain.begin(), plain.end(), s.link.bytJob.items.begin()))
        throw std::logic_error("the plain packer does not make the library's bytes");
    checked = true;
}

void BM_LinkPacker_Library(benchmark::State& bench) {
    check_same_bytes();
    std::vector<double> md = the_drawing();
    korvex::State& s = packer_state();
    int64_t bytes = 0;
    for (auto _ : bench) {
        korvex::Job_packer_reset(s);
        korvex::Marking_data_standalone(s, md);
        bytes += s.link.lngJobPos;
        benchmark::DoNotOptimize(s.link.bytJob.items.data());
    }
    bench.SetBytesProcessed(bytes);
    bench.counters["job_bytes"] = static_cast<double>(s.link.lngJobPos);
    korvex::testing::reset_thread_state();
}

void BM_LinkPacker_PlainPushBack(benchmark::State& bench) {
    check_same_bytes();
    const std::vector<double>& md = the_drawing();
    std::vector<uint8_t> out;
    int64_t bytes = 0;
    for (auto _ : bench) {
        out.clear();
        PlainPacker(out).pack(md);
        bytes += static_cast<int64_t>(out.size());
        benchmark::DoNotOptimize(out.data());
    }
    bench.SetBytesProcessed(bytes);
}

}  // namespace

BENCHMARK(BM_LinkPacker_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinkPacker_PlainPushBack)->Unit(benchmark::kMillisecond);
