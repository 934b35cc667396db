// libFuzzer harness for the outline fill: the input becomes an edge list of small contours, which
// is hatched by the library's fill and by the edge-by-edge reference rule; any difference in result,
// hatch segments or fault kind stops the run, as does any crash. A Fault alone is accepted.
// Input: contour count, spacing in steps, flags (1: box reaches the origin, 2: box cuts the outline
// by the next two bytes), then per contour a byte (low 4 bits + 1 vertices, 0x80: loose edges not
// joined end to start) and the vertices as little-endian int16 x, y.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "font/hatch_fill.hpp"
#include "hatch_reference.hpp"
#include "korvex/fault.hpp"
#include "state/state.hpp"

namespace {

// More scan lines than this only slow the run down; the spacing is widened to stay under it.
constexpr int64_t kMaxLines = 64;

korvex::State& fuzz_state() {
    static const std::unique_ptr<korvex::State> s = [] {
        auto p = std::make_unique<korvex::State>();
        p->hw.sngStepsPerMm = 1.0f;  // FillSpace is then the spacing in steps
        return p;
    }();
    return *s;
}

class Bytes {
public:
    Bytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool has(std::size_t n) const { return size_ - pos_ >= n; }
    uint8_t u8() { return data_[pos_++]; }
    int32_t i16() {
        const auto v = static_cast<int16_t>(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct Outcome {
    korvex::vbool result = korvex::kFalse;
    std::optional<korvex::FaultKind> fault;
    std::vector<korvex::SegRec> hatch;
};

template <class Fill>
Outcome run(korvex::State& s, Fill&& fill) {
    Outcome o;
    try {
        o.result = fill();
    } catch (const korvex::Fault& f) {
        o.fault = f.kind();
    }
    for (int32_t i = 0; i < s.fill.lngHatchCount; ++i) o.hatch.push_back(s.fill.recHatch.at(i));
    return o;
}

bool same(const korvex::SegRec& a, const korvex::SegRec& b) {
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    if (!in.has(3)) return 0;
    const int wanted = 1 + in.u8() % 8;
    int64_t d = 1 + in.u8() % 64;
    const uint8_t flags = in.u8();
    int32_t cut_top = 0, cut_bottom = 0;
    if ((flags & 2) != 0) {
        if (!in.has(2)) return 0;
        cut_top = in.u8() % 8;
        cut_bottom = in.u8() % 8;
    }

    korvex::State& s = fuzz_state();
    int32_t edges = 0, contours = 0;
    while (contours < wanted && in.has(1)) {
        const uint8_t head = in.u8();
        const int n = 1 + (head & 0x0F);
        const bool loose = (head & 0x80) != 0;
        const std::size_t need = static_cast<std::size_t>(loose ? 2 * n : n) * 4;
        if (!in.has(need)) break;
        std::vector<korvex::SegRec> poly;
        if (loose) {
            for (int i = 0; i < n; ++i) {
                const int32_t x0 = in.i16(), y0 = in.i16(), x1 = in.i16(), y1 = in.i16();
                poly.push_back({x0, y0, x1, y1});
            }
        } else {
            std::vector<std::pair<int32_t, int32_t>> v;
            for (int i = 0; i < n; ++i) {
                const int32_t x = in.i16(), y = in.i16();
                v.emplace_back(x, y);
            }
            for (int i = 0; i < n; ++i) {
                const auto [x0, y0] = v[static_cast<std::size_t>(i)];
                const auto [x1, y1] = v[static_cast<std::size_t>((i + 1) % n)];
                poly.push_back({x0, y0, x1, y1});
            }
        }
        for (const korvex::SegRec& e : poly) s.fill.recEdge.at(edges++) = e;
        s.fill.lngContourEnd.at(contours++) = edges - 1;
    }
    if (contours == 0) return 0;

    int32_t maxX = INT32_MIN, maxY = INT32_MIN, minX = INT32_MAX, minY = INT32_MAX;
    for (int32_t i = 0; i < edges; ++i) {
        const korvex::SegRec& e = s.fill.recEdge.at(i);
        maxX = std::max({maxX, e.x0, e.x1});
        maxY = std::max({maxY, e.y0, e.y1});
        minX = std::min({minX, e.x0, e.x1});
        minY = std::min({minY, e.y0, e.y1});
    }
    if ((flags & 1) != 0) minX = std::min(minX, 0), minY = std::min(minY, 0);
    maxY -= cut_top;
    minY += cut_bottom;
    const int64_t span = static_cast<int64_t>(maxX) - minX;
    if (span / d >= kMaxLines) d = span / kMaxLines + 1;
    s.tmpl.curCell.FillSpace = static_cast<float>(d);

    const Outcome fast = run(s, [&] { return korvex::Hatch_fill(s, contours, maxX, maxY, minX, minY); });
    const Outcome literal =
        run(s, [&] { return hatch_reference::Hatch_fill_literal(s, contours, maxX, maxY, minX, minY); });
    if (fast.fault != literal.fault) __builtin_trap();
    if (fast.fault) return 0;  // both stopped: what was left behind may differ
    if (fast.result != literal.result || fast.hatch.size() != literal.hatch.size() ||
        !std::equal(fast.hatch.begin(), fast.hatch.end(), literal.hatch.begin(), same))
        __builtin_trap();
    return 0;
}
