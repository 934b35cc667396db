// The md walk: each record starts with its point count (rounded half to even); a jump to its first
// point, the laser on, its segments, the laser off; the end value 0 is looked for only after a
// record, so the first record is always marked. Reading past the array is an index fault, after
// everything before it was marked.
#include "scan/direct_marking.hpp"

#include "device/laser_signals.hpp"
#include "scan/vector_stepping.hpp"

namespace korvex {

static double Md_at(const std::vector<double>& md, int64_t i) {
    if (i < 0 || static_cast<uint64_t>(i) >= md.size()) raise_fault(FaultKind::index, "md read past its end");
    return md[static_cast<std::size_t>(i)];
}

// The current position in millimetres, by the step size last given to Marking_para.
static float Position_mm(State& s, int32_t steps) { return to_single(steps * s.para.offPara.su / 1000.0); }

// Segment from the current position to (x, y) in the laser state of the moment.
static void Move_to(State& s, float x, float y) {
    Scan_vector(s, Position_mm(s, s.scan.lngPosX), Position_mm(s, s.scan.lngPosY), x, y);
}

int16_t Marking_data_direct(State& s, const std::vector<double>& md) {
    int64_t i = 0;
    for (;;) {
        const int64_t n = to_i32(Md_at(md, i));
        const float x1 = to_single(Md_at(md, i + 1)), y1 = to_single(Md_at(md, i + 2));
        Move_to(s, x1, y1);
        Laser_switch(s, kTrue);
        i += 3;
        for (int64_t k = 0; k <= n - 2; ++k) Move_to(s, to_single(Md_at(md, i + 2 * k)), to_single(Md_at(md, i + 2 * k + 1)));
        if (n >= 2) i += 2 * (n - 1);
        Laser_switch(s, kFalse);
        if (Md_at(md, i) == 0.0) return 1;
    }
}

}  // namespace korvex
