// Reading .jhf glyph lines and placing their strokes on a single-byte font's grid.
#include "fontc/hershey_source.hpp"

#include "core/numeric.hpp"
#include "core/regular_file.hpp"
#include "core/shown_input.hpp"

namespace korvex::fontc {

namespace {

constexpr int32_t kHersheyBaseline = 9;    // y of the baseline, y down
constexpr int32_t kFirstCode = 32;         // the first glyph of a file is the space
constexpr int32_t kLastCode = 126;         // the files' 96th glyph (code 127) is no character
constexpr std::size_t kSingleByteGlyphs = 256;
constexpr std::size_t kHersheyMaxBytes = std::size_t{16} << 20;  // the largest .jhf is under 100 kB

[[noreturn]] void bad_file(const std::string& path, const std::string& why) {
    raise_fault(FaultKind::file, path + ": " + why);
}

// Reads `count` characters from `text` at `at` on, across line ends (long glyphs wrap).
std::string take_chars(const std::string& text, std::size_t& at, std::size_t count) {
    std::string out;
    while (out.size() < count && at < text.size()) {
        const char c = text[at++];
        if (c != '\n' && c != '\r') out.push_back(c);
    }
    return out;
}

int32_t field_number(const std::string& field, const std::string& path) {
    int32_t value = 0;
    bool digits = false;
    for (char c : field) {
        if (c == ' ') continue;
        if (c < '0' || c > '9') bad_file(path, "bad number field '" + Shown_input(field) + "'");
        value = value * 10 + (c - '0');
        digits = true;
        if (value > 100000) bad_file(path, "number field too large");
    }
    if (!digits) bad_file(path, "empty number field");
    return value;
}

}  // namespace

std::vector<HersheyGlyph> Read_hershey(const std::string& path) {
    const std::string text = Regular_file_read(path, kHersheyMaxBytes, "Hershey font file");

    std::vector<HersheyGlyph> glyphs;
    std::size_t at = 0;
    while (true) {
        while (at < text.size() && (text[at] == '\n' || text[at] == '\r')) ++at;
        if (at >= text.size()) break;
        const std::string header = take_chars(text, at, 8);  // 5 characters glyph id, 3 vertex count
        if (header.size() < 8) bad_file(path, "truncated glyph line");
        field_number(header.substr(0, 5), path);
        const int32_t pairs = field_number(header.substr(5, 3), path);
        if (pairs < 1) bad_file(path, "glyph without bounds");
        const std::string body = take_chars(text, at, 2 * static_cast<std::size_t>(pairs));
        if (body.size() < 2 * static_cast<std::size_t>(pairs)) bad_file(path, "truncated glyph line");

        HersheyGlyph g;
        g.left = body[0] - 'R';
        g.right = body[1] - 'R';
        bool pen_up = true;
        for (std::size_t i = 2; i + 1 < body.size(); i += 2) {
            if (body[i] == ' ' && body[i + 1] == 'R') {
                pen_up = true;
                continue;
            }
            if (pen_up) g.strokes.emplace_back();
            pen_up = false;
            g.strokes.back().emplace_back(body[i] - 'R', body[i + 1] - 'R');
        }
        glyphs.push_back(std::move(g));
        // Anything after the pairs on the same line is not part of the glyph (lines may end with
        // a carriage return alone).
        while (at < text.size() && text[at] != '\n' && text[at] != '\r') ++at;
    }
    return glyphs;
}

StrokeGlyph Hershey_glyph_strokes(const HersheyGlyph& glyph, int32_t design_size, bool fixed_pitch) {
    const double scale = real_div(design_size, kHersheyDesignSize);
    // The x that lands on 0: the left bound, or for a fixed pitch the point half a cell left of centre.
    const double x_zero = fixed_pitch ? (glyph.left + glyph.right) / 2.0 - kHersheyDesignSize / 2.0 : glyph.left;
    StrokeGlyph out;
    out.advance = fixed_pitch ? design_size : to_i32((glyph.right - glyph.left) * scale);
    for (const auto& stroke : glyph.strokes) {
        std::vector<GridPoint> points;
        for (const auto& [x, y] : stroke)
            points.push_back({to_i32((x - x_zero) * scale), to_i32((kHersheyBaseline - y) * scale)});
        out.strokes.push_back(std::move(points));
    }
    return out;
}

std::vector<std::optional<std::vector<uint8_t>>> Compile_hershey_font(const std::string& path, int32_t design_size,
                                                                      bool fixed_pitch) {
    const std::vector<HersheyGlyph> glyphs = Read_hershey(path);
    std::vector<std::optional<std::vector<uint8_t>>> font(kSingleByteGlyphs);
    for (int32_t code = kFirstCode; code <= kLastCode; ++code) {
        const auto i = static_cast<std::size_t>(code - kFirstCode);
        if (i >= glyphs.size()) break;
        font[static_cast<std::size_t>(code)] = Encode_glyph(Hershey_glyph_strokes(glyphs[i], design_size, fixed_pitch));
    }
    return font;
}

}  // namespace korvex::fontc
