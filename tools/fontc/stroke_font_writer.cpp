// Shape bytes of one glyph and the offset table of a stroke font file.
#include "fontc/stroke_font_writer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/numeric.hpp"
#include "core/output_file.hpp"

namespace korvex::fontc {

namespace {

constexpr int32_t kMaxStep = 127;  // largest displacement a signed byte carries either way

struct Move {
    int32_t dx;
    int32_t dy;
};

class ShapeWriter {
public:
    // A pen command (1 down, 2 up) after the moves gathered so far.
    void command(uint8_t c) {
        flush();
        out_.push_back(c);
    }
    // Moves the pen to `p`, in as many pieces as the distance needs.
    void move_to(GridPoint p) {
        const int64_t dx = int64_t{p.x} - pen_.x;
        const int64_t dy = int64_t{p.y} - pen_.y;
        const int64_t longest = std::max(std::llabs(dx), std::llabs(dy));
        if (longest == 0) return;
        const int64_t pieces = int_div(longest + kMaxStep - 1, kMaxStep);
        int64_t done_x = 0;
        int64_t done_y = 0;
        for (int64_t i = 1; i <= pieces; ++i) {
            const auto to_x = static_cast<int64_t>(round_half_even(real_div(static_cast<double>(dx * i), static_cast<double>(pieces))));
            const auto to_y = static_cast<int64_t>(round_half_even(real_div(static_cast<double>(dy * i), static_cast<double>(pieces))));
            run_.push_back({static_cast<int32_t>(to_x - done_x), static_cast<int32_t>(to_y - done_y)});
            done_x = to_x;
            done_y = to_y;
        }
        pen_ = p;
    }
    std::vector<uint8_t> finish() {
        flush();
        out_.push_back(0);
        return std::move(out_);
    }

private:
    static uint8_t signed_byte(int32_t v) {
        if (v < -kMaxStep || v > kMaxStep) raise_fault(FaultKind::overflow, "glyph move does not fit a signed byte");
        return static_cast<uint8_t>(static_cast<int8_t>(v));
    }
    void flush() {
        if (run_.size() >= 3) {  // a list costs 3 bytes more than its pairs, single moves 1 byte more each
            out_.push_back(9);
            for (const Move& m : run_) {
                out_.push_back(signed_byte(m.dx));
                out_.push_back(signed_byte(m.dy));
            }
            out_.push_back(0);
            out_.push_back(0);
        } else {
            for (const Move& m : run_) {
                out_.push_back(8);
                out_.push_back(signed_byte(m.dx));
                out_.push_back(signed_byte(m.dy));
            }
        }
        run_.clear();
    }

    std::vector<uint8_t> out_;
    std::vector<Move> run_;  // never holds (0, 0): that pair ends a list
    GridPoint pen_{};
};

// The stroke without points that repeat the one before.
std::vector<GridPoint> without_repeats(const std::vector<GridPoint>& stroke) {
    std::vector<GridPoint> points;
    for (const GridPoint& p : stroke)
        if (points.empty() || !(points.back() == p)) points.push_back(p);
    return points;
}

}  // namespace

std::vector<uint8_t> Encode_glyph(const StrokeGlyph& glyph) {
    ShapeWriter w;
    w.command(2);  // moves count towards the glyph's box only after a pen command
    for (const auto& stroke : glyph.strokes) {
        const std::vector<GridPoint> points = without_repeats(stroke);
        if (points.size() < 2) continue;  // a single point marks nothing
        w.move_to(points.front());
        w.command(1);
        for (std::size_t i = 1; i < points.size(); ++i) w.move_to(points[i]);
        w.command(2);
    }
    w.move_to({glyph.advance, 0});
    return w.finish();
}

std::vector<uint8_t> Assemble_font(const std::vector<std::optional<std::vector<uint8_t>>>& glyphs) {
    std::vector<uint8_t> file(3 * glyphs.size(), 0);
    for (std::size_t n = 0; n < glyphs.size(); ++n) {
        if (!glyphs[n]) continue;
        const std::size_t position = file.size() + 1;  // 1-based position of the first shape byte
        if (position > 0xFFFFFF) raise_fault(FaultKind::overflow, "stroke font file exceeds the 3-byte offsets");
        file[3 * n] = static_cast<uint8_t>(position & 0xFF);
        file[3 * n + 1] = static_cast<uint8_t>((position >> 8) & 0xFF);
        file[3 * n + 2] = static_cast<uint8_t>((position >> 16) & 0xFF);
        file.insert(file.end(), glyphs[n]->begin(), glyphs[n]->end());
    }
    return file;
}

void Write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    Output_file_write(path, "font file", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace korvex::fontc
