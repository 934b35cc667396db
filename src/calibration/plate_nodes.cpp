// Following the lattice through the scan's dots. Lattice coordinates (i, j) count from the seed dot,
// i along the image's x, j up the image. A node's next neighbour is predicted by carrying on the
// step from the node behind it (or the step its side neighbour made, or the seed's basis), and
// must be the only dot within 0.3 pitch of the prediction.
#include "calibration/plate_nodes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <numbers>
#include <string>

#include "calibration/csv_text.hpp"

namespace korvex::calibration {

namespace {

constexpr double kSearchPitch = 0.3;      // a node's dot lies within this much pitch of its prediction
constexpr double kPitchSlack = 0.25;      // the measured pitch may differ this much before a refusal
constexpr double kMarkSlack = 0.12;       // the mark's place in its cell, in pitch
constexpr double kNeighbourLow = 0.7, kNeighbourHigh = 1.3;

using Key = std::pair<int, int>;

// Dots by buckets of one pitch, for the neighbourhood searches.
class DotIndex {
public:
    DotIndex(const std::vector<ScanBlob>& blobs, double cell) : blobs_(blobs), cell_(cell) {
        for (std::size_t i = 0; i < blobs.size(); ++i) buckets_[key(blobs[i].centre_px)].push_back(static_cast<int>(i));
    }
    // Dots within radius of p.
    std::vector<int> within(Vec2 p, double radius) const {
        std::vector<int> out;
        const Key k = key(p);
        const int reach = static_cast<int>(std::ceil(radius / cell_));
        for (int dx = -reach; dx <= reach; ++dx)
            for (int dy = -reach; dy <= reach; ++dy) {
                const auto it = buckets_.find({k.first + dx, k.second + dy});
                if (it == buckets_.end()) continue;
                for (int i : it->second)
                    if (norm(blobs_[i].centre_px - p) <= radius) out.push_back(i);
            }
        return out;
    }

private:
    Key key(Vec2 p) const {
        return {static_cast<int>(std::floor(p.x / cell_)), static_cast<int>(std::floor(p.y / cell_))};
    }
    const std::vector<ScanBlob>& blobs_;
    double cell_;
    std::map<Key, std::vector<int>> buckets_;
};

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// The lattice as followed so far.
struct Walk {
    std::map<Key, int> node_dot;  // lattice coordinates -> dot
    std::vector<int> dot_node;    // dot -> 1 when taken
    std::map<Key, std::string> doubtful;  // lattice coordinates -> why
    Vec2 a, b;                    // the seed's basis: one pitch along i and along j

    const Vec2* at(const std::vector<ScanBlob>& blobs, Key k) const {
        const auto it = node_dot.find(k);
        return it == node_dot.end() ? nullptr : &blobs[it->second].centre_px;
    }
};

Vec2 predict(const Walk& w, const std::vector<ScanBlob>& blobs, Key from, int dx, int dy) {
    const Vec2 p = *w.at(blobs, from);
    if (const Vec2* back = w.at(blobs, {from.first - dx, from.second - dy})) return p + (p - *back);
    for (int side : {1, -1}) {  // the same step made by a side neighbour
        const Key s{from.first + side * dy, from.second + side * dx};
        const Vec2* s0 = w.at(blobs, s);
        const Vec2* s1 = w.at(blobs, {s.first + dx, s.second + dy});
        if (s0 && s1) return p + (*s1 - *s0);
    }
    return p + (dx * w.a + dy * w.b);
}

// Lattice coordinates of an image point near the followed lattice, from its nearest node and the
// local steps there.
bool lattice_coordinates(const Walk& w, const std::vector<ScanBlob>& blobs, Vec2 p, double pitch, double& u, double& v) {
    double best = 1e300;
    Key nearest{0, 0};
    for (const auto& [k, dot] : w.node_dot) {
        const double d = norm(blobs[dot].centre_px - p);
        if (d < best) {
            best = d;
            nearest = k;
        }
    }
    if (best > 2.0 * pitch) return false;
    const auto step = [&](int dx, int dy, Vec2 fallback) {
        const Vec2* f = w.at(blobs, {nearest.first + dx, nearest.second + dy});
        const Vec2* r = w.at(blobs, {nearest.first - dx, nearest.second - dy});
        const Vec2 c = *w.at(blobs, nearest);
        if (f && r) return 0.5 * (*f - *r);
        if (f) return *f - c;
        if (r) return c - *r;
        return fallback;
    };
    const Vec2 a = step(1, 0, w.a), b = step(0, 1, w.b);
    const Vec2 d = p - *w.at(blobs, nearest);
    const double det = a.x * b.y - a.y * b.x;
    if (std::fabs(det) < 1e-9) return false;
    u = nearest.first + (d.x * b.y - d.y * b.x) / det;
    v = nearest.second + (a.x * d.y - a.y * d.x) / det;
    return true;
}

[[noreturn]] void refuse(const std::string& why) { throw CalibrationError("scan refused: " + why); }

}  // namespace

PlateNodes number_nodes(const ScanMarks& marks, const Pattern& pattern, double dpi) {
    const std::vector<ScanBlob>& blobs = marks.blobs;
    const double px_per_mm = dpi / 25.4;
    const double pitch_px = pattern.pitch_mm() * px_per_mm;
    const int n = pattern.nodes;
    if (blobs.size() < 5)
        refuse("no dots found (" + std::to_string(blobs.size()) + " dot-like marks; a blank page, or marks too faint: " +
               "they stand out " + fixed(marks.contrast, 0) + " grey levels over noise of " + fixed(marks.noise, 1) + ")");

    // The typical distance to the nearest dot is the pitch the scan shows.
    const DotIndex wide(blobs, pitch_px * 2.0);
    std::vector<double> nearest;
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        double best = 1e300;
        for (int j : wide.within(blobs[i].centre_px, pitch_px * 4.0))
            if (j != static_cast<int>(i)) best = std::min(best, norm(blobs[j].centre_px - blobs[i].centre_px));
        if (best < 1e300) nearest.push_back(best);
    }
    const double seen_pitch = median(nearest);
    if (seen_pitch <= 0.0 || std::fabs(seen_pitch / pitch_px - 1.0) > kPitchSlack) {
        std::string why = "the dots lie " + fixed(seen_pitch, 1) + " px apart where the pattern's " +
                          fixed(pattern.pitch_mm(), 3) + " mm pitch at " + fixed(dpi, 0) + " dpi makes " + fixed(pitch_px, 1) +
                          " px";
        if (seen_pitch > 0.0)
            why += ": the scan is at about " + fixed(std::round(dpi * seen_pitch / pitch_px / 10.0) * 10.0, 0) +
                   " dpi, or the plate carries a pattern of another size";
        refuse(why);
    }

    // Seed: the dot nearest the middle of all dots; its basis from its neighbours nearest the
    // image's +x and up directions.
    std::vector<double> xs, ys;
    for (const ScanBlob& b : blobs) {
        xs.push_back(b.centre_px.x);
        ys.push_back(b.centre_px.y);
    }
    const Vec2 middle{median(xs), median(ys)};
    int seed = 0;
    for (std::size_t i = 1; i < blobs.size(); ++i)
        if (norm(blobs[i].centre_px - middle) < norm(blobs[seed].centre_px - middle)) seed = static_cast<int>(i);
    const DotIndex index(blobs, seen_pitch);
    Walk w;
    w.dot_node.assign(blobs.size(), 0);
    double best_a = 1e9, best_b = 1e9;
    bool have_a = false, have_b = false;
    for (int j : index.within(blobs[seed].centre_px, kNeighbourHigh * seen_pitch)) {
        const Vec2 d = blobs[j].centre_px - blobs[seed].centre_px;
        if (norm(d) < kNeighbourLow * seen_pitch) continue;
        const double angle = std::atan2(-d.y, d.x);  // counter-clockwise from the image's x, y up
        const double off_a = std::fabs(angle), off_b = std::fabs(angle - std::numbers::pi / 2.0);
        if (off_a < best_a && off_a < std::numbers::pi / 4.0) {
            best_a = off_a;
            w.a = d;
            have_a = true;
        }
        if (off_b < best_b && off_b < std::numbers::pi / 4.0) {
            best_b = off_b;
            w.b = d;
            have_b = true;
        }
    }
    if (!have_a || !have_b)
        refuse("the dots near the middle of the scan form no square lattice (is it the calibration pattern?)");

    // Follow the lattice outward.
    w.node_dot[{0, 0}] = seed;
    w.dot_node[seed] = 1;
    std::deque<Key> queue{{0, 0}};
    const int dirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    while (!queue.empty()) {
        const Key k = queue.front();
        queue.pop_front();
        for (const auto& d : dirs) {
            const Key next{k.first + d[0], k.second + d[1]};
            if (w.node_dot.count(next) || w.doubtful.count(next)) continue;
            if (std::abs(next.first) > 2 * n || std::abs(next.second) > 2 * n) continue;
            const Vec2 p = predict(w, blobs, k, d[0], d[1]);
            const std::vector<int> found = index.within(p, kSearchPitch * seen_pitch);
            if (found.empty()) continue;  // perhaps reached from another side
            if (found.size() > 1) {
                w.doubtful[next] = "two dots where one belongs";
                continue;
            }
            if (w.dot_node[found[0]] != 0) {
                w.doubtful[next] = "its dot is another node's";
                continue;
            }
            w.node_dot[next] = found[0];
            w.dot_node[found[0]] = 1;
            queue.push_back(next);
        }
    }

    // The orientation mark: a dot off the lattice at a known place in its cell.
    struct Turn {
        double u, v;
        const char* name;
    };
    const Turn turns[4] = {{0.5, 0.25, nullptr},
                           {0.75, 0.5, "turned a quarter turn counter-clockwise"},
                           {0.5, 0.75, "turned half a turn (or mirrored)"},
                           {0.25, 0.5, "turned a quarter turn clockwise"}};
    int mark = -1, mark_turn = -1;
    Key mark_cell{0, 0};
    Key lowest{0, 0}, highest{0, 0};  // the followed lattice's extent: the mark lies inside it
    for (const auto& [k, dot] : w.node_dot) {
        lowest = {std::min(lowest.first, k.first), std::min(lowest.second, k.second)};
        highest = {std::max(highest.first, k.first), std::max(highest.second, k.second)};
    }
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        if (w.dot_node[i] != 0) continue;
        double u = 0.0, v = 0.0;
        if (!lattice_coordinates(w, blobs, blobs[i].centre_px, seen_pitch, u, v)) continue;
        if (u < lowest.first || u > highest.first || v < lowest.second || v > highest.second) continue;
        const double fu = u - std::floor(u), fv = v - std::floor(v);
        for (int t = 0; t < 4; ++t) {
            if (std::fabs(fu - turns[t].u) > kMarkSlack || std::fabs(fv - turns[t].v) > kMarkSlack) continue;
            if (mark >= 0)
                refuse("two dots could be the orientation mark, at (" + fixed(blobs[mark].centre_px.x, 0) + ", " +
                       fixed(blobs[mark].centre_px.y, 0) + ") and (" + fixed(blobs[i].centre_px.x, 0) + ", " +
                       fixed(blobs[i].centre_px.y, 0) + ") px: clean the plate or the glass and scan again");
            mark = static_cast<int>(i);
            mark_turn = t;
            mark_cell = {static_cast<int>(std::floor(u)), static_cast<int>(std::floor(v))};
        }
    }
    if (mark < 0)
        refuse("the orientation mark (the dot off the lattice in the top right cell) was not found; " +
               std::to_string(w.node_dot.size()) + " dots on the lattice were, of the pattern's " +
               std::to_string(pattern.count()) + " nodes");
    if (mark_turn != 0)
        refuse(std::string("the plate lies ") + turns[mark_turn].name +
               " on the glass: lay it with the orientation mark at the top right and scan again");

    // Node numbers: the mark's cell is the lattice's top right cell.
    const int col0 = n - 2 - mark_cell.first, row0 = n - 2 - mark_cell.second;
    PlateNodes out;
    out.pitch_px = seen_pitch;
    out.orientation_px = blobs[mark].centre_px;
    out.image_px.assign(pattern.count(), Vec2{});
    std::vector<bool> have(pattern.count(), false);
    int beyond = 0;
    for (const auto& [k, dot] : w.node_dot) {
        const int col = k.first + col0, row = k.second + row0;
        if (col < 0 || col >= n || row < 0 || row >= n) {
            ++beyond;
            continue;
        }
        out.image_px[row * n + col] = blobs[dot].centre_px;
        have[row * n + col] = true;
    }
    if (beyond > 0)
        refuse(std::to_string(beyond) + " dots lie on the lattice beyond the pattern's " + std::to_string(n) + " x " +
               std::to_string(n) + " nodes: a pattern of another size, or a mirrored scan");
    std::vector<int> missing, doubtful;
    std::string doubt_why;
    for (const auto& [k, why] : w.doubtful) {
        const int col = k.first + col0, row = k.second + row0;
        if (col < 0 || col >= n || row < 0 || row >= n || have[row * n + col]) continue;
        doubtful.push_back(row * n + col);
        if (doubt_why.empty()) doubt_why = why;
    }
    std::sort(doubtful.begin(), doubtful.end());
    for (int node = 0; node < pattern.count(); ++node)
        if (!have[node] && !std::binary_search(doubtful.begin(), doubtful.end(), node)) missing.push_back(node);
    if (!missing.empty() || !doubtful.empty()) {
        std::string why;
        if (!missing.empty())
            why = std::to_string(missing.size()) + " of " + std::to_string(pattern.count()) + " nodes missing: " +
                  node_ranges(missing);
        if (!doubtful.empty())
            why += (why.empty() ? "" : "; ") + std::to_string(doubtful.size()) + " nodes ambiguous (" + doubt_why +
                   "): " + node_ranges(doubtful);
        refuse(why + " (nodes count row by row from the bottom left, " + std::to_string(n) + " a row)");
    }
    return out;
}

}  // namespace korvex::calibration
