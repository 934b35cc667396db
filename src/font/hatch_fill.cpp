// Outline fill. The machine's rule walks every edge of every contour for every scan line; here an
// edge table sorted by the first scan line an edge reaches keeps a list of the edges a line can
// meet (in contour order), so a line costs the edges it meets, not all of them. What the rule
// does with the edges it walks past depends only on each edge's neighbour before it, so walking
// the met edges alone gives the same crossings, hence the same hatch segments in the same order.
#include "font/hatch_fill.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace korvex {

namespace {

// Scan_cross without its side effects: what a vertical line at x = c from y = ya to y = yb makes
// of edge e, and the crossing y it leaves behind.
struct Cross {
    int32_t kind = 0;     // 0, 1 or 2 as Scan_cross
    bool sets_x = false;  // Scan_cross writes lngCrossX (= c)
    bool sets_y = false;  // ... and lngCrossY (= y)
    int32_t y = 0;
};

// a / b rounded to the nearest integer, halves to even; b > 0. Exact for any 64-bit a.
int64_t Div_round_half_even(__int128 a, int64_t b) {
    __int128 q = a / b, r = a % b;
    if (r < 0) {
        q -= 1;
        r += b;
    }
    const __int128 twice = 2 * r;
    if (twice > b || (twice == b && (q & 1) != 0)) q += 1;
    return static_cast<int64_t>(q);
}

Cross Cross_of(int32_t c, int32_t ya, int32_t yb, bool scan_empty, const SegRec& e) {
    Cross r;
    if (scan_empty || (e.x0 == e.x1 && e.y0 == e.y1)) return r;
    const int32_t lo = std::min(ya, yb), hi = std::max(ya, yb);
    if (e.x0 == e.x1) {
        if (e.x0 == c && std::max(e.y0, e.y1) >= lo && std::min(e.y0, e.y1) <= hi) {
            r.kind = 2;
            r.sets_x = r.sets_y = true;
            r.y = e.y1;
        }
        return r;
    }
    const bool first_left = e.x0 < e.x1;
    const int32_t xl = first_left ? e.x0 : e.x1, yl = first_left ? e.y0 : e.y1;
    const int32_t xr = first_left ? e.x1 : e.x0, yr = first_left ? e.y1 : e.y0;
    r.sets_x = true;
    if (c < xl || c > xr) return r;
    // yl + (yr - yl)(c - xl) / (xr - xl) lies between yl and yr, so it fits 32 bits.
    const __int128 num = static_cast<__int128>(static_cast<int64_t>(yr) - yl) * (static_cast<int64_t>(c) - xl);
    r.y = static_cast<int32_t>(yl + Div_round_half_even(num, static_cast<int64_t>(xr) - xl));
    r.sets_y = true;
    r.kind = r.y >= lo && r.y <= hi ? 1 : 0;
    return r;
}

// What the fill makes of an edge on one scan line.
enum class Meet : uint8_t {
    none,      // no common point
    on_line,   // lies on the line
    at_start,  // crosses at its start point: the edge before accounts for it
    at_end,    // crosses at its end point: the vertex rule decides
    inside,    // crosses between its ends
};

Meet Meet_of(const Cross& r, int32_t c, const SegRec& e) {
    if (r.kind == 2) return Meet::on_line;
    if (r.kind != 1) return Meet::none;
    if (c == e.x0 && r.y == e.y0) return Meet::at_start;
    if (c == e.x1 && r.y == e.y1) return Meet::at_end;
    return Meet::inside;
}

// The edges in walking order ("slots": contour by contour, each from its first edge to its last),
// with the scan lines each can meet, and the buffers one line works in, all sized once per fill.
struct FillWork {
    std::vector<SegRec> edge;           // by slot
    std::vector<int32_t> contour_first; // by slot: the slot of its contour's first edge
    std::vector<int32_t> contour_last;  // by slot: ... and of its last
    std::vector<int64_t> line_last;     // by slot: the last scan line (index) the edge can meet
    std::vector<int32_t> table;         // slots that meet some line, by first line, then slot
    std::vector<int64_t> line_first;    // by table entry
    std::vector<int32_t> active, merged;  // slots a line can meet, in slot order
    std::vector<Meet> meet;             // by position in active
    std::vector<int32_t> cross_y;       // by position in active
    std::vector<int32_t> crossings;     // the line's crossing y values
};

// Fills the slots and the edge table; every edge index is checked.
void Build_table(const State& s, int32_t contours, int32_t total, int64_t minX, int64_t d, int64_t lines, FillWork& w) {
    w.edge.reserve(static_cast<std::size_t>(total));
    w.contour_first.reserve(static_cast<std::size_t>(total));
    w.contour_last.reserve(static_cast<std::size_t>(total));
    int64_t end_before = -1;
    for (int32_t c = 0; c < contours; ++c) {
        const int64_t last = s.fill.lngContourEnd.at(c);
        const int32_t first_slot = static_cast<int32_t>(w.edge.size());
        for (int64_t j = end_before + 1; j <= last; ++j) w.edge.push_back(s.fill.recEdge.at(j));
        const int32_t last_slot = static_cast<int32_t>(w.edge.size()) - 1;
        w.contour_first.resize(w.edge.size(), first_slot);
        w.contour_last.resize(w.edge.size(), last_slot);
        end_before = last;
    }
    std::vector<std::pair<int64_t, int32_t>> order;  // (first line, slot)
    order.reserve(w.edge.size());
    w.line_last.assign(w.edge.size(), -1);
    for (int32_t slot = 0; slot < static_cast<int32_t>(w.edge.size()); ++slot) {
        const SegRec& e = w.edge[static_cast<std::size_t>(slot)];
        if (e.x0 == e.x1 && e.y0 == e.y1) continue;  // meets nothing
        const int64_t lo = std::min(e.x0, e.x1) - minX, hi = std::max(e.x0, e.x1) - minX;
        // Lines i with lo <= i d <= hi (floor division for negative offsets).
        const int64_t first = lo <= 0 ? 0 : (lo + d - 1) / d;
        const int64_t last = hi < 0 ? -1 : std::min(hi / d, lines - 1);
        if (first > last) continue;
        w.line_last[static_cast<std::size_t>(slot)] = last;
        order.emplace_back(first, slot);
    }
    std::sort(order.begin(), order.end());
    w.table.reserve(order.size());
    w.line_first.reserve(order.size());
    for (const auto& [line, slot] : order) {
        w.line_first.push_back(line);
        w.table.push_back(slot);
    }
    w.active.reserve(order.size());
    w.merged.reserve(order.size());
    w.meet.resize(order.size());
    w.cross_y.resize(order.size());
    w.crossings.reserve(static_cast<std::size_t>(total) + static_cast<std::size_t>(contours));
}

// The crossings of scan line x = c (from maxY down to minY) with the active edges, as the rule
// that walks every edge finds them. That walk passes an edge without looking at it exactly when
// the edge before it in the contour lies on the line, or is an end-point crossing the walk looked
// at (the vertex rule then goes on after the next edge that does not lie on the line). An edge
// that meets nothing changes nothing, so only active edges and their active neighbours count.
void Line_crossings(int32_t c, int32_t maxY, int32_t minY, FillWork& w) {
    const std::size_t n = w.active.size();
    for (std::size_t p = 0; p < n; ++p) {
        const SegRec& e = w.edge[static_cast<std::size_t>(w.active[p])];
        const Cross r = Cross_of(c, maxY, minY, false, e);
        w.meet[p] = Meet_of(r, c, e);
        w.cross_y[p] = r.y;
    }
    w.crossings.clear();
    int32_t prev_slot = -2;
    Meet prev_meet = Meet::none;
    bool prev_looked = false;
    for (std::size_t p = 0; p < n; ++p) {
        const int32_t slot = w.active[p];
        const Meet m = w.meet[p];
        const int32_t first = w.contour_first[static_cast<std::size_t>(slot)];
        bool looked = true;
        if (slot != first && prev_slot == slot - 1)
            looked = !(prev_meet == Meet::on_line || (prev_meet == Meet::at_end && prev_looked));
        prev_slot = slot;
        prev_meet = m;
        prev_looked = looked;
        if (!looked) continue;
        if (m == Meet::inside) {
            w.crossings.push_back(w.cross_y[p]);
        } else if (m == Meet::at_end) {
            // The next edge of the contour (wrapping) that does not lie on the line; `cursor` is the
            // first active position whose slot is not below g.
            const int32_t last = w.contour_last[static_cast<std::size_t>(slot)];
            int32_t g = slot;
            std::size_t cursor = p;
            for (;;) {
                if (g == last) {
                    g = first;
                    cursor = static_cast<std::size_t>(std::lower_bound(w.active.begin(), w.active.end(), first) - w.active.begin());
                } else {
                    if (cursor < n && w.active[cursor] == g) ++cursor;
                    ++g;
                }
                if (!(cursor < n && w.active[cursor] == g && w.meet[cursor] == Meet::on_line)) break;
            }
            const SegRec& e = w.edge[static_cast<std::size_t>(slot)];
            const SegRec& next = w.edge[static_cast<std::size_t>(g)];
            const SegRec across{e.x0, e.y0, next.x1, next.y1};
            const int32_t y = w.cross_y[p];
            w.crossings.push_back(y);
            if (Cross_of(c, maxY, minY, false, across).kind == 0) w.crossings.push_back(y);  // only touches
        }
    }
}

// Sorts the line's crossings (ascending when up) and appends them to recHatch in pairs. Every
// crossing of a line has x = c, so crossings with equal y are the same point and any sort gives
// the order a stable one would.
void Emit_line(State& s, int32_t c, bool up, std::vector<int32_t>& ys) {
    if (up) {
        std::sort(ys.begin(), ys.end());
    } else {
        std::sort(ys.begin(), ys.end(), [](int32_t a, int32_t b) { return a > b; });
    }
    for (std::size_t i = 0; i < ys.size(); i += 2) {
        const int32_t y1 = i + 1 < ys.size() ? ys[i + 1] : ys[i];
        s.fill.recHatch.at(s.fill.lngHatchCount) = SegRec{c, ys[i], c, y1};
        ++s.fill.lngHatchCount;
    }
}

}  // namespace

int32_t Scan_cross(State& s, const SegRec& scan, const SegRec& edge) {
    const bool scan_empty = scan.x0 == scan.x1 && scan.y0 == scan.y1;
    const Cross r = Cross_of(scan.x0, scan.y0, scan.y1, scan_empty, edge);
    if (r.sets_x) s.fill.lngCrossX = scan.x0;
    if (r.sets_y) s.fill.lngCrossY = r.y;
    return r.kind;
}

int32_t Hatch_spacing_steps(const State& s) {
    const float product = to_single(static_cast<double>(s.hw.sngStepsPerMm) * s.tmpl.curCell.FillSpace);
    const int32_t d = to_i32(static_cast<double>(product));
    return d < 1 ? 1 : d;
}

void Edge_list_overflow(int64_t edges) {
    raise_fault(FaultKind::index, "the outline has " + std::to_string(std::max<int64_t>(edges, kEdgeListSize + 1)) +
                                      " edges, more than the fill takes (at most " + std::to_string(kEdgeListSize) + ")");
}

int32_t Hatch_edge_total(const State& s, int32_t contours) {
    int64_t total = 0, end_before = -1;
    for (int32_t c = 0; c < contours; ++c) {
        const int64_t last = s.fill.lngContourEnd.at(c);
        if (last > end_before) total += last - end_before;
        end_before = last;
        if (total > kEdgeListSize) Edge_list_overflow(total);
    }
    return static_cast<int32_t>(total);
}

vbool Hatch_fill(State& s, int32_t contours, int32_t maxX, int32_t maxY, int32_t minX, int32_t minY) {
    const int64_t d = Hatch_spacing_steps(s);
    s.fill.lngHatchCount = 0;
    if (contours < 1) return kFalse;
    const int32_t total = Hatch_edge_total(s, contours);
    if (total < 2 || minX > maxX) return kFalse;
    const int64_t lines = (static_cast<int64_t>(maxX) - minX) / d + 1;

    FillWork w;
    Build_table(s, contours, total, minX, d, lines, w);
    if (maxY == minY) return kFalse;  // an empty scan line meets nothing

    bool up = true;
    std::size_t next = 0;  // next edge-table entry to come into the active list
    for (int64_t i = 0; i < lines; ++i) {
        // Lines that no edge reaches give nothing; they only turn the direction.
        if (w.active.empty()) {
            if (next == w.table.size()) break;
            const int64_t skip = w.line_first[next] - i;
            if (skip > 0) {
                if (skip % 2 != 0) up = !up;
                i += skip;
            }
        }
        // Edges that end before this line leave, edges that begin on it come in (in slot order).
        std::erase_if(w.active, [&](int32_t slot) { return w.line_last[static_cast<std::size_t>(slot)] < i; });
        const std::size_t from = next;
        while (next < w.table.size() && w.line_first[next] == i) ++next;
        if (next > from) {
            w.merged.clear();
            std::merge(w.active.begin(), w.active.end(), w.table.begin() + static_cast<std::ptrdiff_t>(from),
                       w.table.begin() + static_cast<std::ptrdiff_t>(next), std::back_inserter(w.merged));
            w.active.swap(w.merged);
        }
        const int32_t c = static_cast<int32_t>(minX + i * d);
        Line_crossings(c, maxY, minY, w);
        Emit_line(s, c, up, w.crossings);
        up = !up;
    }
    return to_vbool(s.fill.lngHatchCount > 0);
}

}  // namespace korvex
