// The font compiler: the bytes it writes for a glyph (offset table, pen moves, the pen-up step to the
// advance, the closing 0), Hershey glyphs read back through the library's glyph reader at another
// design size, the GB2312 font the build makes, and `korvex fonts` on the build's font folder; the
// fonts `korvex fontc` refuses to write and the damaged files `korvex fonts` points out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fontc/catalogue_sources.hpp"
#include "fontc/hershey_source.hpp"
#include "fontc/outline_source.hpp"
#include "font/stroke_glyph.hpp"
#include "template_files.hpp"

using korvex::fontc::GridPoint;
using korvex::fontc::StrokeGlyph;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t index_entry(const Bytes& file, std::size_t n) {
    return file.at(3 * n) | file.at(3 * n + 1) << 8 | file.at(3 * n + 2) << 16;
}

// The pen-down polylines of the glyph in a glyph buffer, in font units.
std::vector<std::vector<GridPoint>> drawn_polylines(const korvex::GlyphBuffer& glyph) {
    std::vector<std::vector<GridPoint>> lines;
    GridPoint pen{};
    bool down = false;
    auto step = [&](uint8_t dx, uint8_t dy) {
        pen.x += static_cast<int8_t>(dx);
        pen.y += static_cast<int8_t>(dy);
        if (down) lines.back().push_back(pen);
    };
    for (int i = korvex::kGlyphCommandStart; glyph.at(i) != 0;) {
        const uint8_t c = glyph.at(i);
        if (c == 1) {
            down = true;
            lines.push_back({pen});
            ++i;
        } else if (c == 2) {
            down = false;
            ++i;
        } else if (c == 8) {
            step(glyph.at(i + 1), glyph.at(i + 2));
            i += 3;
        } else {
            EXPECT_EQ(c, 9) << "at " << i;
            for (i += 1; glyph.at(i) != 0 || glyph.at(i + 1) != 0; i += 2)
                step(glyph.at(i), glyph.at(i + 1));
            i += 2;
        }
    }
    return lines;
}

}  // namespace

using FontCompilerTest = TemplateTest;

TEST_F(FontCompilerTest, GlyphBytesAndOffsetTable) {
    // "!" of a Hershey file: bounds -5..5, a bar from y -12 to 2 and a dot from 7 to 8 (y down).
    const std::string jhf = path("tiny.jhf");
    tmpl_test::write_file(jhf, "12345  1JZ\n12345  6MWRFRT RRYRZ\n");
    const auto glyphs = korvex::fontc::Compile_hershey_font(jhf, 24, false);
    const Bytes file = korvex::fontc::Assemble_font(glyphs);
    ASSERT_EQ(glyphs.size(), 256u);
    EXPECT_EQ(index_entry(file, 32), 769u);  // after the 256 entries; positions count from 1
    EXPECT_EQ(index_entry(file, 33), 774u);
    for (std::size_t n : {0u, 31u, 34u, 65u, 255u}) EXPECT_EQ(index_entry(file, n), 0u) << n;
    const Bytes space(file.begin() + 768, file.begin() + 773);
    EXPECT_EQ(space, (Bytes{2, 8, 16, 0, 0}));  // pen up, step over the advance of 16, end
    const Bytes bang(file.begin() + 773, file.end());
    EXPECT_EQ(bang, (Bytes{2, 8, 5, 21, 1, 8, 0, 242, 2, 8, 0, 251, 1, 8, 0, 255, 2, 8, 5, 255, 0}));

    // Long moves split into signed-byte pieces; three or more moves in a row go out as one list.
    StrokeGlyph g;
    g.strokes = {{{0, 0}, {200, 0}, {200, 10}, {200, 10}, {0, 10}}, {{7, 7}}};  // a lone point draws nothing
    g.advance = 210;
    EXPECT_EQ(korvex::fontc::Encode_glyph(g),
              (Bytes{2, 1, 9, 100, 0, 100, 0, 0, 10, 156, 0, 156, 0, 0, 0, 2, 8, 105, 251, 8, 105, 251, 0}));
}

TEST(FontCompiler, HersheyGlyphReadsBackScaledToTheDesignSize) {
    const std::string source = "/usr/share/hershey-fonts/rowmans.jhf";
    const Bytes font = korvex::fontc::Assemble_font(korvex::fontc::Compile_hershey_font(source, 40, false));
    const korvex::fontc::HersheyGlyph a = korvex::fontc::Read_hershey(source).at('A' - 32);
    const double k = 40.0 / 24.0;

    korvex::GlyphBuffer glyph;
    korvex::Glyph_read_strokes_from(font, 'A', 40, 40, glyph);
    const auto lines = drawn_polylines(glyph);
    ASSERT_EQ(lines.size(), a.strokes.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), a.strokes[i].size()) << "stroke " << i;
        for (std::size_t j = 0; j < lines[i].size(); ++j) {
            EXPECT_NEAR(lines[i][j].x, (a.strokes[i][j].first - a.left) * k, 0.5) << i << "," << j;
            EXPECT_NEAR(lines[i][j].y, (9 - a.strokes[i][j].second) * k, 0.5) << i << "," << j;
        }
    }
    const korvex::GlyphBox box = korvex::Stroke_glyph_box(glyph);
    EXPECT_EQ(box.width, 30.0);   // the advance: 18 Hershey units
    EXPECT_EQ(box.height, 35.0);  // capitals stand 21 of 24 units
    EXPECT_EQ(box.min_y, 0.0f);
}

TEST_F(FontCompilerTest, BuildMakesTheGb2312SongFont) {
    // 编 is GB2312 row 17 cell 64: glyph (17 - 16) x 94 + 63 of a file whose rows start at 16.
    EXPECT_EQ(korvex::fontc::Gb_row_cell_unicode(17, 64), U'编');
    EXPECT_EQ(korvex::fontc::Gb_row_cell_unicode(10, 1), 0u);  // an empty row
    const std::string font = std::string(KORVEX_FONT_DIR) + "/hz128f.sl";
    const Bytes file = read_bytes(font);
    ASSERT_GT(file.size(), 3u * 157);
    const uint32_t p = index_entry(file, 157);
    ASSERT_GT(p, 0u);
    ASSERT_LT(p, file.size());
    EXPECT_EQ(file.at(p - 1), 2);  // starts with the pen up

    korvex::State& s = state();
    korvex::Glyph_read_strokes(s, 17, 64, font, 128, 128, 16);
    EXPECT_GT(drawn_polylines(s.font.bytGlyph).size(), 5u);
    korvex::Glyph_measure(s, 0, "", 0, 0, "");
    EXPECT_EQ(s.font.dblTextWidth, 128.0);  // a full em
    EXPECT_GT(s.font.dblTextHeight, 100.0);
    EXPECT_LE(s.font.dblTextHeight, 128.0);
    EXPECT_GE(s.tmpl.curCell.TextMinY, 0.0f);
}

TEST(FontsCommand, ListsTheBuildFolder) {
    std::FILE* p = ::popen(("env -u KORVEX_HOME " + std::string(KORVEX_CLI) + " fonts").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    auto line_of = [&](const std::string& key) {
        const auto at = out.find(" " + key + " ");
        return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
    };
    EXPECT_NE(line_of("special_Romans").find("romans.sl"), std::string::npos) << out;
    EXPECT_NE(line_of("special_Romans").find("present"), std::string::npos) << out;
    EXPECT_NE(line_of("special_DFS").find("present"), std::string::npos) << out;
    EXPECT_NE(line_of("special_DFS").find("rows from 16"), std::string::npos) << out;
    EXPECT_NE(line_of("special_DX").find("missing"), std::string::npos) << out;
}

TEST_F(FontCompilerTest, FontcRefusesFontsTheMarkerCannotUseAndFontsSaysWhichFileIsDamaged) {
    const auto run = [](const std::string& args, std::string& out) {
        std::FILE* p = ::popen((std::string(KORVEX_CLI) + " " + args + " 2>&1").c_str(), "r");
        out.clear();
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        return WEXITSTATUS(::pclose(p));
    };
    std::string out;
    // An empty file, carriage returns only, and a glyph longer than the marker's glyph buffer.
    std::string zigzag = "12345399JZ";
    for (int i = 0; i < 398; ++i) zigzag += i % 2 ? "~~" : "  ";
    for (const auto& [name, text] : {std::pair{"empty.jhf", std::string()}, std::pair{"cr.jhf", std::string("\r\r\r")},
                                     std::pair{"long.jhf", zigzag + "\n"}}) {
        tmpl_test::write_file(path(name), text);
        EXPECT_EQ(run("fontc --size 255 --hershey " + path(name) + " -o " + path("out.sl"), out), 1) << name;
        EXPECT_NE(out.find("makes no usable font"), std::string::npos) << out;
        EXPECT_FALSE(std::ifstream(path("out.sl")).good()) << name;
    }
    EXPECT_NE(out.find("longer than the 4092-byte glyph buffer"), std::string::npos) << out;
    // A file whose lines end in carriage returns alone is read line by line.
    std::ifstream in("/usr/share/hershey-fonts/rowmans.jhf", std::ios::binary);
    std::string rowmans(std::istreambuf_iterator<char>(in), {});
    std::replace(rowmans.begin(), rowmans.end(), '\n', '\r');
    tmpl_test::write_file(path("mac.jhf"), rowmans);
    EXPECT_EQ(run("fontc --hershey " + path("mac.jhf") + " -o " + path("out.sl"), out), 0) << out;
    EXPECT_NE(out.find(": 95 glyphs"), std::string::npos) << out;

    // korvex fonts shows a damaged catalogue file as damaged, and why.
    std::filesystem::create_directories(path("home/font"));
    tmpl_test::write_file(path("home/font/romans.sl"), "not a font\n");
    EXPECT_EQ(run("fonts --folder " + path("home"), out), 1);
    const auto line = out.substr(out.find(" special_Romans "), out.find('\n', out.find(" special_Romans ")) - out.find(" special_Romans "));
    EXPECT_NE(line.find("damaged"), std::string::npos) << out;
    EXPECT_NE(line.find("points past the end of the file"), std::string::npos) << out;
}
