// The outline fill as the machine's rule states it, edge by edge for every scan line with a bubble
// sort: the yardstick the library's fill is compared with (property test) and timed against
// (benchmark). It shares only Scan_cross, the spacing and the edge count with the library.
#pragma once

#include <vector>

#include "font/hatch_fill.hpp"

namespace hatch_reference {

inline korvex::vbool Hatch_fill_literal(korvex::State& s, int32_t contours, int32_t maxX, int32_t maxY, int32_t minX,
                                        int32_t minY) {
    using namespace korvex;
    const int64_t d = Hatch_spacing_steps(s);
    s.fill.lngHatchCount = 0;
    bool up = true;
    if (contours < 1) return kFalse;
    const int32_t total = Hatch_edge_total(s, contours);
    if (total < 2) return kFalse;
    struct Point {
        int32_t x, y;
    };
    std::vector<Point> cross(static_cast<std::size_t>(total) + static_cast<std::size_t>(contours));
    std::size_t k = 0;
    auto add = [&](Point p) {
        if (k >= cross.size()) raise_fault(FaultKind::index, "crossing list full");
        cross[k++] = p;
    };
    for (int64_t x = minX; x <= maxX; x += d) {
        const SegRec scan{static_cast<int32_t>(x), maxY, static_cast<int32_t>(x), minY};
        k = 0;
        int64_t end_before = -1;
        for (int32_t c = 0; c < contours; ++c) {
            const int64_t first = end_before + 1, last = s.fill.lngContourEnd.at(c);
            end_before = last;
            int64_t j = first;
            while (j <= last) {
                const int32_t r = Scan_cross(s, scan, s.fill.recEdge.at(j));
                if (r == 2) {
                    ++j;
                    while (j <= last && Scan_cross(s, scan, s.fill.recEdge.at(j)) == 2) ++j;
                    ++j;
                    continue;
                }
                if (r == 1) {
                    const Point P{s.fill.lngCrossX, s.fill.lngCrossY};
                    const SegRec e = s.fill.recEdge.at(j);
                    if (P.x == e.x0 && P.y == e.y0) {
                        // the edge ending here accounts for it
                    } else if (P.x == e.x1 && P.y == e.y1) {
                        int64_t g = j;
                        do {
                            g = g == last ? first : g + 1;
                        } while (Scan_cross(s, scan, s.fill.recEdge.at(g)) == 2);
                        const SegRec across{e.x0, e.y0, s.fill.recEdge.at(g).x1, s.fill.recEdge.at(g).y1};
                        add(P);
                        if (Scan_cross(s, scan, across) == 0) add(P);
                        if (g > j) {
                            j = g + 1;
                            continue;
                        }
                    } else {
                        add(P);
                    }
                }
                ++j;
            }
        }
        for (std::size_t pass = 1; pass < k; ++pass)
            for (std::size_t i = 0; i + pass < k; ++i)
                if (up ? cross[i].y > cross[i + 1].y : cross[i].y < cross[i + 1].y) std::swap(cross[i], cross[i + 1]);
        up = !up;
        for (std::size_t i = 0; i < k; i += 2) {
            const Point b = i + 1 < k ? cross[i + 1] : cross[i];
            s.fill.recHatch.at(s.fill.lngHatchCount) = SegRec{cross[i].x, cross[i].y, b.x, b.y};
            ++s.fill.lngHatchCount;
        }
    }
    return to_vbool(s.fill.lngHatchCount > 0);
}

}  // namespace hatch_reference
