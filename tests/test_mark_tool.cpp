// The `korvex mark` tool chain: vector files and their errors, marking a drawing through the public
// object on the simulated machine and comparing the marks with the drawing's own geometry, the
// pictures (valid files, lines where the marks are, at the head's scale, y up), Ctrl-C as Shift
// held during a call, and the golden one-line script.
#include <gtest/gtest.h>

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "guarded_command.hpp"
#include "job_interrupt.hpp"
#include "library_call.hpp"
#include "machine_fixture.hpp"
#include "mark_command.hpp"
#include "picture/mark_picture.hpp"
#include "picture/picture_text.hpp"
#include "vector_file.hpp"

using namespace korvex;
using namespace korvex::tool;

namespace {

std::string error_of(const std::string& text, int* line = nullptr) {
    try {
        parse_vector_text(text, "t.md");
    } catch (const VectorFileError& e) {
        if (line) *line = e.line();
        return e.what();
    }
    return "";
}

// A fresh folder under the test temp directory, removed with the object.
struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::string& name) : path(std::filesystem::path(::testing::TempDir()) / name) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Distance from p to the segment a-b.
double segment_distance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// A PNG read back: is the pixel at (x, y) darker than the frame's faint grid?
struct PngImage {
    cairo_surface_t* surface;
    explicit PngImage(const std::string& path) : surface(cairo_image_surface_create_from_png(path.c_str())) {}
    ~PngImage() { cairo_surface_destroy(surface); }
    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface); }
    int height() const { return cairo_image_surface_get_height(surface); }
    // Red, green and blue averaged, 0 (black) to 255 (white).
    int grey(int x, int y) const {
        cairo_surface_flush(surface);
        const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        uint32_t px;
        std::memcpy(&px, row + 4 * x, 4);
        return static_cast<int>(((px >> 16 & 0xFF) + (px >> 8 & 0xFF) + (px & 0xFF)) / 3);
    }
    int darkest_near(PixelPoint p, int radius) const {
        int best = 255;
        for (int y = int(p.y) - radius; y <= int(p.y) + radius; ++y)
            for (int x = int(p.x) - radius; x <= int(p.x) + radius; ++x)
                if (x >= 0 && y >= 0 && x < width() && y < height()) best = std::min(best, grey(x, y));
        return best;
    }
};

Mark line_mark(Mark::Kind kind, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Mark m;
    m.kind = kind;
    m.x0 = x0, m.y0 = y0, m.x1 = x1, m.y1 = y1;
    return m;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Vector files

TEST(VectorFile, NumbersCommentsAndSeparators) {
    EXPECT_EQ(parse_vector_text("# a drawing\n2, 0,0  10,0\t# one line\r\n0\n", "t.md"),
              (std::vector<double>{2, 0, 0, 10, 0, 0}));
    EXPECT_EQ(parse_vector_text("1 , -2.5e1,+.5\n,3", "t.md"), (std::vector<double>{1, -25, 0.5, 3}));
    EXPECT_TRUE(parse_vector_text("", "t.md").empty());
    EXPECT_TRUE(parse_vector_text("# only a comment, 1 2 3", "t.md").empty());
    EXPECT_EQ(parse_vector_text("3#comment right after a number\n4,", "t.md"), (std::vector<double>{3, 4}));
}

TEST(VectorFile, BadTokensNameTheirLine) {
    int line = 0;
    std::string m = error_of("2, 0, 0\n10, 0x1\n0\n", &line);
    EXPECT_EQ(line, 2);
    EXPECT_NE(m.find("t.md:2:"), std::string::npos) << m;
    EXPECT_NE(m.find("'0x1' is not a number"), std::string::npos) << m;
    m = error_of("1\n\n# comment\n1,,2\n", &line);
    EXPECT_EQ(line, 4);
    EXPECT_NE(m.find("comma"), std::string::npos) << m;
    EXPECT_EQ((error_of(", 1", &line), line), 1);          // nothing before the first comma
    EXPECT_NE(error_of("1 nan 2").find("not a finite number"), std::string::npos);
    EXPECT_NE(error_of("inf").find("not a finite number"), std::string::npos);
    EXPECT_NE(error_of("\n1e999").find("t.md:2: '1e999' is out of range"), std::string::npos);
    EXPECT_NE(error_of("1 2-3").find("'2-3'"), std::string::npos);
    EXPECT_NE(error_of("+-1").find("'+-1'"), std::string::npos);
    EXPECT_NE(error_of("5;6").find("'5;6'"), std::string::npos);

    try {
        read_vector_file("/nonexistent/drawing.md");
        FAIL() << "no error for a missing file";
    } catch (const VectorFileError& e) {
        EXPECT_EQ(e.line(), 0);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/drawing.md"), std::string::npos);
    }
}

TEST(VectorFile, DrawingWalkFollowsDirectMarking) {
    Drawing d = describe_drawing({3, 0, 0, 5, 0, 5, 5, 1, 1, 1, 0});
    EXPECT_TRUE(d.complete) << d.problem;
    EXPECT_EQ(d.records, 2u);
    EXPECT_EQ(d.segments, 2u);
    ASSERT_EQ(d.polylines.size(), 1u);
    EXPECT_EQ(d.polylines[0].size(), 3u);
    ASSERT_EQ(d.dots.size(), 1u);
    EXPECT_FLOAT_EQ(d.dots[0].x_mm, 1.0f);
    EXPECT_DOUBLE_EQ(d.marked_mm, 10.0);

    // Counts round half to even; anything below 2 (also -1) is a dot of three values.
    EXPECT_EQ(describe_drawing({2.5, 0, 0, 1, 0, 0}).segments, 1u);
    EXPECT_EQ(describe_drawing({3.5, 0, 0, 1, 0, 1, 1, 0, 1, 0}).segments, 3u);
    d = describe_drawing({-1, 2, 3, 0});
    EXPECT_TRUE(d.complete);
    EXPECT_EQ(d.dots.size(), 1u);

    // The first record is always taken; the end test comes after it.
    d = describe_drawing({0, 2, 3});
    EXPECT_FALSE(d.complete);
    EXPECT_EQ(d.dots.size(), 1u);
    EXPECT_NE(d.problem.find("no end value 0 after record 1"), std::string::npos) << d.problem;
    d = describe_drawing({2, 0, 0, 1, 0, 5, 0, 0, 1, 1});
    EXPECT_FALSE(d.complete);
    EXPECT_NE(d.problem.find("record 2 (number 6, count 5) needs 11 numbers, only 5 remain"), std::string::npos)
        << d.problem;
    EXPECT_FALSE(describe_drawing({}).complete);
    EXPECT_FALSE(describe_drawing({1e300, 0, 0, 0}).complete);               // a count no array can hold
    EXPECT_NE(describe_drawing({1, 1e39, 0, 0}).problem.find("Single"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Pictures

// PNGs made one after another on one canvas: each the same pixels as a picture drawn on a fresh
// surface (nothing of the previous plate left), a new size taken in, and the colours in their
// channels (the jumps red, not blue).
TEST(MarkPicture, ACanvasKeptBetweenPicturesDrawsEachAsIfNew) {
    TempDir dir("korvex_canvas");
    const std::vector<Mark> first{line_mark(Mark::Kind::line, -4000, -4000, 4000, 4000),
                                  line_mark(Mark::Kind::jump, 4000, 4000, -4000, 3000)};
    const std::vector<Mark> second{line_mark(Mark::Kind::line, -2000, 0, 2000, 0),
                                   line_mark(Mark::Kind::jump, 3000, -4000, 3000, 4000)};
    PictureOptions o;
    o.spot_mm = 0.3;
    o.caption = "plate";
    write_picture(second, PictureFormat::png, dir.file("fresh.png"), o);
    PngCanvas canvas;
    canvas.write(first, dir.file("first.png"), o);
    canvas.write(second, dir.file("second.png"), o);
    PictureOptions small = o;
    small.field_mm = 60.0;
    canvas.write(second, dir.file("small.png"), small);

    PngImage fresh(dir.file("fresh.png")), reused(dir.file("second.png")), resized(dir.file("small.png"));
    ASSERT_TRUE(fresh.ok() && reused.ok() && resized.ok());
    ASSERT_EQ(std::make_pair(reused.width(), reused.height()), std::make_pair(fresh.width(), fresh.height()));
    cairo_surface_flush(fresh.surface);
    cairo_surface_flush(reused.surface);
    for (int y = 0; y < fresh.height(); ++y)
        ASSERT_EQ(std::memcmp(cairo_image_surface_get_data(fresh.surface) + y * cairo_image_surface_get_stride(fresh.surface),
                              cairo_image_surface_get_data(reused.surface) + y * cairo_image_surface_get_stride(reused.surface),
                              static_cast<std::size_t>(fresh.width()) * 4),
                  0)
            << "row " << y;
    EXPECT_LT(resized.width(), fresh.width());
    EXPECT_LT(resized.darkest_near(png_pixel_of(small, 15, 0), 1), 60);

    const PixelPoint on_jump = png_pixel_of(o, 30, 0.3);
    uint32_t px;
    std::memcpy(&px, cairo_image_surface_get_data(fresh.surface) + int(on_jump.y) * cairo_image_surface_get_stride(fresh.surface) +
                         4 * int(on_jump.x), 4);
    EXPECT_GT(px >> 16 & 0xFF, (px & 0xFF) + 40) << std::hex << px;  // red well above blue
}

TEST(MarkPicture, FilesAreValidAndDrawWhereTheMarksAre) {
    TempDir dir("korvex_picture");
    // At 100 D/A units per mm: a line from (-20, 0) to (20, 0) mm, one from (0, 20) to (0, 30),
    // a dot at (-30, -30), a jump from (30, -40) to (30, 40).
    const std::vector<Mark> marks{line_mark(Mark::Kind::line, -2000, 0, 2000, 0),
                                  line_mark(Mark::Kind::line, 0, 2000, 0, 3000),
                                  line_mark(Mark::Kind::dot, -3000, -3000, -3000, -3000),
                                  line_mark(Mark::Kind::jump, 3000, -4000, 3000, 4000)};
    PictureOptions o;
    o.spot_mm = 0.3;
    write_picture(marks, PictureFormat::png, dir.file("m.png"), o);
    write_picture(marks, PictureFormat::svg, dir.file("m.svg"), o);
    write_picture(marks, PictureFormat::pdf, dir.file("m.pdf"), o);
    EXPECT_EQ(read_file(dir.file("m.png")).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const std::string svg = read_file(dir.file("m.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_GT(svg.size(), 1000u);
    const std::string pdf = read_file(dir.file("m.pdf"));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("%%EOF"), std::string::npos);

    PngImage png(dir.file("m.png"));
    ASSERT_TRUE(png.ok());
    EXPECT_LT(png.darkest_near(png_pixel_of(o, 15, 0), 1), 60);       // on the line
    EXPECT_LT(png.darkest_near(png_pixel_of(o, 0, 25), 1), 60);       // y up: the line above the centre ...
    EXPECT_EQ(png.darkest_near(png_pixel_of(o, 3, -25), 3), 255);     // ... and nothing below it
    EXPECT_LT(png.darkest_near(png_pixel_of(o, -30, -30), 0), 60);    // the dot
    EXPECT_EQ(png.darkest_near(png_pixel_of(o, 25, 15), 3), 255);     // empty field
    int jump_dark = 255;
    for (int y = -35; y <= 35; y += 5) jump_dark = std::min(jump_dark, png.darkest_near(png_pixel_of(o, 30, y + 0.3), 1));
    EXPECT_LT(jump_dark, 230);                                        // some dash of the jump

    // Twice the head's scale halves the drawing; without jumps the dashes are gone.
    o.head_steps_per_mm = 200.0;
    o.jumps = false;
    write_picture(marks, PictureFormat::png, dir.file("half.png"), o);
    PngImage half(dir.file("half.png"));
    ASSERT_TRUE(half.ok());
    EXPECT_LT(half.darkest_near(png_pixel_of(o, 8, 0), 1), 60);
    EXPECT_EQ(half.darkest_near(png_pixel_of(o, 15, 0.5), 2), 255);
    for (int y = -15; y <= 15; y += 5) EXPECT_EQ(half.darkest_near(png_pixel_of(o, 15, y + 0.3), 1), 255);
}

TEST(MarkPicture, ManyMarksAreAllDrawn) {
    // More marks than one stroked batch holds: a polyline of 5000 touching one-unit lines (split
    // into batches inside it), then 2000 separate short lines, then a dot.
    std::vector<Mark> marks;
    for (int i = 0; i < 5000; ++i) marks.push_back(line_mark(Mark::Kind::line, -4000 + i, 1000, -3999 + i, 1000));
    for (int i = 0; i < 2000; ++i) marks.push_back(line_mark(Mark::Kind::line, -4000 + 4 * i, -1000, -4000 + 4 * i, -1100));
    marks.push_back(line_mark(Mark::Kind::dot, 3000, 3000, 3000, 3000));
    TempDir dir("korvex_picture_many");
    PictureOptions o;
    o.spot_mm = 0.3;
    write_picture(marks, PictureFormat::png, dir.file("many.png"), o);
    PngImage png(dir.file("many.png"));
    ASSERT_TRUE(png.ok());
    for (double x : {-39.9, -20.0, -0.1, 9.9}) EXPECT_LT(png.darkest_near(png_pixel_of(o, x, 10), 1), 60) << x;
    for (double x : {-40.0, 0.0, 39.96}) EXPECT_LT(png.darkest_near(png_pixel_of(o, x, -10.5), 1), 60) << x;
    EXPECT_LT(png.darkest_near(png_pixel_of(o, 30, 30), 0), 60);
    EXPECT_EQ(png.darkest_near(png_pixel_of(o, 25, 15), 3), 255);
}

namespace {

// True when an installed face has all of these characters.
bool installed_face_has(std::initializer_list<FcChar32> chars) {
    FcCharSet* set = FcCharSetCreate();
    for (FcChar32 c : chars) FcCharSetAddChar(set, c);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddCharSet(pattern, FC_CHARSET, set);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* faces = FcFontList(nullptr, pattern, objects);
    const bool found = faces != nullptr && faces->nfont > 0;
    if (faces != nullptr) FcFontSetDestroy(faces);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    FcCharSetDestroy(set);
    return found;
}

// A cairo context on a small image, for laying out text.
struct ScratchContext {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 8, 8);
    cairo_t* cr = cairo_create(surface);
    ~ScratchContext() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
};

}  // namespace

// A caption in Chinese (a template or file name) is drawn in an installed face that has it, where
// captions always were, not as the boxes of characters no face has.
TEST(MarkPicture, ChineseCaptionsAreDrawnInAnInstalledFace) {
    if (!installed_face_has({0x8033, 0x6807, 0x7F16, 0x53F7}))
        GTEST_SKIP() << "no installed face has 耳标编号; scripts/setup.sh installs fonts-wqy-microhei and fonts-arphic-uming";
    TempDir dir("korvex_picture_cjk");
    PictureOptions o;
    o.caption = "耳标编号";
    const std::vector<Mark> none;
    write_picture(none, PictureFormat::png, dir.file("cjk.png"), o);
    o.caption = "\uE000\uE001\uE002\uE003";  // private use: no face has them
    write_picture(none, PictureFormat::png, dir.file("boxes.png"), o);
    PngImage cjk(dir.file("cjk.png")), boxes(dir.file("boxes.png"));
    ASSERT_TRUE(cjk.ok() && boxes.ok());
    // From the left margin (12 mm), baseline 9.5 mm from the top, 3.5 mm high.
    EXPECT_LT(cjk.darkest_near({140, 80}, 15), 80);
    EXPECT_EQ(cjk.darkest_near({140, 30}, 15), 255);
    int differing = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < cjk.width(); ++x) differing += cjk.grey(x, y) != boxes.grey(x, y);
    EXPECT_GT(differing, 200);

    ScratchContext scratch;
    PictureText text(scratch.cr, 3.5);
    text.set_text("耳标编号 12.mc1");
    EXPECT_EQ(text.unknown_glyphs(), 0);
}

// A caption is bytes from a file name or a template: ones that are not UTF-8 (a name in GB2312, a
// stray byte, a NUL) are drawn as U+FFFD each, and the picture with its marks is still made.
TEST(MarkPicture, CaptionBytesThatAreNotUtf8AreShownAndThePictureStillMade) {
    TempDir dir("korvex_picture_bytes");
    const std::vector<Mark> marks{line_mark(Mark::Kind::line, -2000, 0, 2000, 0)};
    PictureOptions o;
    o.spot_mm = 0.3;
    o.caption = std::string("\xb1\xe0\xba\xc5.mc1 \xff\0end", 14);
    for (PictureFormat f : {PictureFormat::svg, PictureFormat::pdf, PictureFormat::png})
        EXPECT_NO_THROW(write_picture(marks, f, dir.file("m.pic"), o));
    PngImage png(dir.file("m.pic"));
    ASSERT_TRUE(png.ok());
    EXPECT_LT(png.darkest_near(png_pixel_of(o, 10, 0), 1), 60);

    ScratchContext scratch;
    PictureText text(scratch.cr, 3.5);
    const double shown = text.set_text("\uFFFD\uFFFD\uFFFD\uFFFD.mc1 \uFFFD\uFFFDend").x_advance;
    EXPECT_DOUBLE_EQ(text.set_text(o.caption).x_advance, shown);
}

TEST(MarkPicture, BadOptionsAndUnwritableFilesAreErrors) {
    const std::vector<Mark> none;
    PictureOptions o;
    o.head_steps_per_mm = 0.0;
    EXPECT_THROW(write_picture(none, PictureFormat::png, "/tmp/x.png", o), PictureError);
    o = PictureOptions{};
    o.spot_mm = std::nan("");
    EXPECT_THROW(check_picture_options(o), PictureError);
    o = PictureOptions{};
    o.field_mm = 10000.0;  // 10 m at 10 px/mm: too large for a PNG, fine as a PDF
    EXPECT_THROW(write_picture(none, PictureFormat::png, "/tmp/x.png", o), PictureError);
    for (PictureFormat f : {PictureFormat::png, PictureFormat::svg, PictureFormat::pdf}) {
        try {
            write_picture(none, f, "/nonexistent/dir/m.pic", PictureOptions{});
            ADD_FAILURE() << "no error for an unwritable file";
        } catch (const PictureError& e) {
            EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/m.pic"), std::string::npos);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Marking a drawing end to end

class MarkDrawingTest : public MachineTest {
protected:
    // Consecutive records start away from where the previous one ended, so every record is
    // reached by a jump.
    std::vector<double> drawing() const {
        return {5, -20, -20, 20, -20, 20, 20, -20, 20, -20, -20,   // square, 40 mm a side
                4, -10, -5, 0, 12.5, 10, -5, -10, -5,              // triangle
                1, 30, 30,                                         // dot
                6, -40, 35, -40, 45, -35, 38, -30, 45, -30, 35.25, 2.5, 3,  // "M" ending in a diagonal
                2, 7.77, -33.3, -12.34, -40.01,                    // a slanted line
                0};
    }
};

TEST_F(MarkDrawingTest, EverySegmentIsMarkedAndNothingElse) {
    std::vector<double> md = drawing();
    const Drawing d = describe_drawing(md);
    ASSERT_TRUE(d.complete);
    std::ostringstream err;
    const MarkParameters params;  // the tool's defaults
    const MarkReport report = mark_drawing(machine, md, params, nullptr, err);
    EXPECT_TRUE(report.completed);
    EXPECT_TRUE(report.failure.empty()) << report.failure;
    EXPECT_FALSE(report.interrupted);
    EXPECT_NE(err.str().find("message \"marking system\""), std::string::npos);  // no grid: the library says so
    EXPECT_FALSE(machine.gate_emitting());

    const double k = 1000.0 / params.step_um;  // D/A units per mm
    // A marked line may swing off its segment by one stepping cycle of the leading axis.
    const double tol = state().para.lngMarkStepN + 1.0;
    auto da = [&](float mm) { return std::nearbyint(double(mm) * k); };

    // Runs of light (lines and dots) separated by jumps: one per record, in order.
    std::vector<std::vector<Mark>> runs;
    bool in_jump = true;
    for (const Mark& m : machine.marks()) {
        ASSERT_NE(m.kind, Mark::Kind::axis);
        if (m.kind == Mark::Kind::jump) {
            in_jump = true;
            continue;
        }
        if (in_jump) runs.emplace_back();
        in_jump = false;
        runs.back().push_back(m);
    }
    ASSERT_EQ(runs.size(), d.records);

    std::size_t run = 0, dot = 0;
    double marked_da = 0.0;
    std::vector<double>::size_type i = 0;
    while (md[i] != 0.0 || i == 0) {
        const auto& marks = runs[run++];
        const int n = static_cast<int>(std::nearbyint(md[i]));
        if (n < 2) {
            ASSERT_EQ(marks.size(), 1u);
            EXPECT_EQ(marks[0].kind, Mark::Kind::dot);
            EXPECT_EQ(marks[0].x0, da(d.dots[dot].x_mm));
            EXPECT_EQ(marks[0].y0, da(d.dots[dot].y_mm));
            EXPECT_GT(marks[0].on_us(), 0.0);
            ++dot;
            i += 3;
            continue;
        }
        const auto& pl = d.polylines[run - 1 - dot];
        // The run starts on the first point and ends exactly on the last.
        EXPECT_EQ(marks.front().x0, da(pl.front().x_mm));
        EXPECT_EQ(marks.front().y0, da(pl.front().y_mm));
        EXPECT_EQ(marks.back().x1, da(pl.back().x_mm));
        EXPECT_EQ(marks.back().y1, da(pl.back().y_mm));
        auto near_polyline = [&](double x, double y) {
            double best = 1e300;
            for (std::size_t s = 1; s < pl.size(); ++s)
                best = std::min(best, segment_distance(x, y, da(pl[s - 1].x_mm), da(pl[s - 1].y_mm), da(pl[s].x_mm),
                                                       da(pl[s].y_mm)));
            return best;
        };
        auto near_marks = [&](double x, double y) {
            double best = 1e300;
            for (const Mark& m : marks) best = std::min(best, segment_distance(x, y, m.x0, m.y0, m.x1, m.y1));
            return best;
        };
        for (const Mark& m : marks) {  // nothing marked off the drawing
            EXPECT_EQ(m.kind, Mark::Kind::line);
            for (double t : {0.0, 0.25, 0.5, 0.75, 1.0})
                EXPECT_LE(near_polyline(m.x0 + t * (m.x1 - m.x0), m.y0 + t * (m.y1 - m.y0)), tol) << format_mark(m);
            marked_da += m.length_da();
        }
        for (std::size_t s = 1; s < pl.size(); ++s)  // every segment marked along its whole length
            for (int j = 0; j <= 20; ++j) {
                const double x = da(pl[s - 1].x_mm) + j / 20.0 * (da(pl[s].x_mm) - da(pl[s - 1].x_mm));
                const double y = da(pl[s - 1].y_mm) + j / 20.0 * (da(pl[s].y_mm) - da(pl[s - 1].y_mm));
                EXPECT_LE(near_marks(x, y), tol) << "record " << run << " segment " << s;
            }
        i += 2 * static_cast<std::size_t>(n) + 1;
    }
    EXPECT_EQ(run, runs.size());
    EXPECT_NEAR(marked_da / k, d.marked_mm, d.marked_mm * 0.005);

    // The spot never leaps: every movement starts where the last one ended, so the jumps between
    // the runs lead from one record's end to the next record's start and nowhere else.
    int32_t x = 0, y = 0;
    for (const Mark& m : machine.marks()) {
        EXPECT_EQ(m.x0, x) << format_mark(m);
        EXPECT_EQ(m.y0, y) << format_mark(m);
        if (m.kind != Mark::Kind::dot) x = m.x1, y = m.y1;
    }
    const MarkSummary summary = machine.summary(k);
    EXPECT_EQ(summary.laser_switchings, 2 * d.records);
    EXPECT_NEAR(summary.marked_mm, marked_da / k, 1e-9);
    // The marks read like the drawing: the staircase the library steps a vector along is one line,
    // and the staircase of each jump one jump.
    EXPECT_EQ(summary.lines, d.segments);
    EXPECT_EQ(summary.jumps, d.records);
}

TEST_F(MarkDrawingTest, CtrlCDuringTheCallAbortsTheJobWithTheGateClosed) {
    std::vector<double> md = drawing();
    JobInterrupt interrupt;
    std::ostringstream err;
    MarkReport report;
    {
        CtrlCAtGateOpening ctrl_c(machine, 2);  // while the second record is being marked
        report = mark_drawing(machine, md, MarkParameters{}, &interrupt, err);
        ASSERT_TRUE(ctrl_c.sent());
    }

    EXPECT_TRUE(report.interrupted);
    EXPECT_TRUE(report.completed);  // Marking_data still walked the array and returned 1
    EXPECT_TRUE(report.failure.empty());
    EXPECT_EQ(interrupt.interrupted_calls(), 1);
    EXPECT_FALSE(interrupt.shift_flag()->load());            // dropped when the call returned
    EXPECT_FALSE(machine.ui().key_held(Key::shift));          // and the operator let go
    EXPECT_FALSE(machine.gate_emitting());
    EXPECT_EQ(machine.model().gate_openings(), 2u);           // nothing opened the gate again
    EXPECT_EQ(state().sig.blnAbort, kTrue);
    // The second record was finished (the abort is taken when its gate closes); nothing moved after.
    const std::vector<Mark> marks = machine.marks();
    ASSERT_FALSE(marks.empty());
    EXPECT_EQ(marks.back().kind, Mark::Kind::line);
    EXPECT_EQ(marks.back().x1, -1000);
    EXPECT_EQ(marks.back().y1, -500);
}

TEST_F(MarkDrawingTest, CtrlCInALongLineIsSaidAtOnceAndTakenWhenTheLaserSwitches) {
    std::vector<double> md{400};  // one zigzag polyline of 400 points, then a short line
    for (int i = 0; i < 400; ++i) md.insert(md.end(), {i % 2 ? 10.0 : -10.0, -20.0 + 0.1 * i});
    md.insert(md.end(), {2, 0, 0, 5, 5, 0});
    JobInterrupt interrupt;
    std::ostringstream err, progress;
    // Ctrl-C early in the long line; when that line's gate closes, was the stop already said?
    struct CtrlC : CardListener {
        SimulatedMachine& machine;
        std::ostringstream& err;
        uint64_t writes = 0;
        bool sent = false, said_in_the_line = false;
        CtrlC(SimulatedMachine& m, std::ostringstream& e) : machine(m), err(e) {}
        void on_write(uint8_t, uint8_t, uint8_t) override {
            if (machine.model().gate_openings() != 1) return;
            if (!sent && ++writes == 2000) {
                sent = true;
                std::raise(SIGINT);
            }
            if (sent && !machine.gate_emitting() && !said_in_the_line)
                said_in_the_line = err.str().find(kStopRequested) != std::string::npos;
        }
    } ctrl_c(machine, err);
    machine.card().add_listener(&ctrl_c);
    const MarkReport report = mark_drawing(machine, md, MarkParameters{}, &interrupt, err, &progress, 0.0);
    machine.card().remove_listener(&ctrl_c);

    ASSERT_TRUE(ctrl_c.sent);
    EXPECT_TRUE(ctrl_c.said_in_the_line) << err.str();
    EXPECT_NE(progress.str().find("stop requested"), std::string::npos) << progress.str();
    EXPECT_TRUE(report.interrupted);
    // The whole first line was marked (the keys are read when the laser switches), nothing after.
    EXPECT_EQ(machine.model().gate_openings(), 1u);
    EXPECT_EQ(machine.marks().back().x1, 1000);
    EXPECT_NE(report.stop.find("stopped by Ctrl-C"), std::string::npos) << report.stop;
    EXPECT_NE(report.stop.find("the laser is off; records marked: 1 of 2"), std::string::npos) << report.stop;
}

TEST_F(MarkDrawingTest, APointOutsideTheFieldIsNamedWithItsAxisAndTheFieldsRange) {
    std::vector<double> md{2, 0, 0, 0, -1000, 0};
    std::ostringstream err;
    const MarkReport report = mark_drawing(machine, md, MarkParameters{}, nullptr, err);
    EXPECT_NE(report.failure.find("Marking_data failed (overflow): point outside the field: the spot would reach Y = -655.3"),
              std::string::npos) << report.failure;
    EXPECT_NE(report.failure.find("the field spans -327.680 to 327.670 mm"), std::string::npos) << report.failure;
    EXPECT_FALSE(machine.gate_emitting());
}

TEST(GuardedCommand, AnEscapingFaultIsSaidAndEndsTheCommandWithAFailure) {
    std::ostringstream err;
    EXPECT_EQ(run_guarded("korvex template show", err, []() -> int { raise_fault(FaultKind::overflow, "out of range"); }),
              kEscapedFaultStatus);
    EXPECT_EQ(run_guarded("korvex x", err, []() -> int { throw std::bad_alloc(); }), kEscapedFaultStatus);
    EXPECT_EQ(err.str(), "korvex template show: overflow fault: out of range\nkorvex x: error: std::bad_alloc\n");
    EXPECT_NE(kEscapedFaultStatus, 0);
    EXPECT_EQ(run_guarded("korvex x", err, [] { return 7; }), 7);
}

TEST(JobInterruptDeathTest, CtrlCOutsideACallEndsTheProgram) {
    EXPECT_EXIT(
        {
            JobInterrupt interrupt;
            { JobInterrupt::Call call(&interrupt); }
            std::raise(SIGINT);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGINT), "");
    EXPECT_THROW(
        {
            JobInterrupt one;
            JobInterrupt two;
        },
        std::logic_error);
}

// ---------------------------------------------------------------------------------------------
// The commands

class MarkCommandTest : public ::testing::Test {
protected:
    void SetUp() override { korvex::testing::reset_thread_state(); }
    void TearDown() override { korvex::testing::reset_thread_state(); }
};

TEST_F(MarkCommandTest, FoldersBadClockAndHugePicturesAreRefusedBeforeAnythingRuns) {
    TempDir dir("korvex_mark_refused");
    std::ostringstream out, err;
    MarkCommand m;
    m.input = dir.path.string();
    EXPECT_EQ(run_mark_command(m, out, err), 2);
    RunCommand r;
    r.script_path = dir.path.string();
    EXPECT_EQ(run_script_command(r, out, err), 2);
    EXPECT_NE(err.str().find("vector file " + m.input + " is not a regular file (a directory)"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("script " + m.input + " is not a regular file (a directory)"), std::string::npos) << err.str();

    std::ostringstream clock_err;
    r.script_path = dir.file("one.ks");
    std::ofstream(r.script_path) << "port_Out_bit 3 1\n";
    r.clock_hz = uint64_t{1} << 32;  // the machine reads 32 bits of it
    EXPECT_EQ(run_script_command(r, out, clock_err), 2);
    EXPECT_NE(clock_err.str().find("out of range: 1 to 4294967295"), std::string::npos) << clock_err.str();
    EXPECT_TRUE(out.str().empty());  // no trace: nothing ran

    std::ostringstream png_err;
    m.input = dir.file("line.md");
    std::ofstream(m.input) << "2, 0,0, 10,0\n0\n";
    m.outputs.picture.png_px_per_mm = 1000.0;
    EXPECT_EQ(run_mark_command(m, out, png_err), 2);
    EXPECT_NE(png_err.str().find("larger than 32767 pixels"), std::string::npos) << png_err.str();
    EXPECT_EQ(png_err.str().find("records"), std::string::npos) << png_err.str();  // the file was not even read
}

TEST_F(MarkCommandTest, MarksAFileAndDrawsItBesideTheInput) {
    TempDir dir("korvex_mark_command");
    const std::string input = dir.file("square.md");
    std::ofstream(input) << "# a 20 mm square and a dot\n5, -10,-10, 10,-10, 10,10, -10,10, -10,-10\n1, 0,0\n0\n";
    MarkCommand c;
    c.input = input;
    std::ostringstream out, err;
    ASSERT_EQ(run_mark_command(c, out, err), 0) << err.str();
    EXPECT_EQ(png_beside(input), dir.file("square.png"));
    PngImage png(dir.file("square.png"));
    ASSERT_TRUE(png.ok());
    PictureOptions o;
    o.caption = input;
    // The head draws it at its true size (a one-pixel line across two pixel rows: grey).
    EXPECT_LT(png.darkest_near(png_pixel_of(o, 10, 0), 1), 160);
    EXPECT_EQ(out.str().rfind("marked 80 mm (8000 D/A units), jumped ", 0), 0u) << out.str();
    EXPECT_NE(out.str().find("dots 1"), std::string::npos);
    EXPECT_NE(err.str().find("picture written to " + dir.file("square.png")), std::string::npos);

    // A head at twice the library's scale shows the drawing at half its size; --marks - takes
    // standard output and the summary moves to standard error.
    c.head_steps_per_mm = 200.0;
    c.outputs.marks_path = "-";
    std::ostringstream out2, err2;
    ASSERT_EQ(run_mark_command(c, out2, err2), 0) << err2.str();
    EXPECT_NE(out2.str().find("line -1000 -1000 1000 -1000\n"), std::string::npos) << out2.str();
    EXPECT_NE(err2.str().find("marked 40 mm (8000 D/A units)"), std::string::npos) << err2.str();

    // Bad files: nothing is marked, the error names the line.
    std::ofstream(input) << "2, 0,0\n10, zero\n0\n";
    std::ostringstream out3, err3;
    EXPECT_EQ(run_mark_command(c, out3, err3), 2);
    EXPECT_NE(err3.str().find("square.md:2: 'zero' is not a number"), std::string::npos) << err3.str();
    std::ofstream(input) << "2, 0,0, 10,0\n";
    std::ostringstream out4, err4;
    EXPECT_EQ(run_mark_command(c, out4, err4), 2);
    EXPECT_NE(err4.str().find("no end value 0 after record 1; nothing was marked"), std::string::npos) << err4.str();
    EXPECT_TRUE(out3.str().empty() && out4.str().empty());
}

TEST_F(MarkCommandTest, MachineTimeIsTheJobsOwn) {
    TempDir dir("korvex_mark_time");
    const std::string input = dir.file("line.md");
    std::ofstream(input) << "2, -20,0, 20,0\n0\n";
    MarkCommand c;
    c.input = input;
    auto machine_us = [](const std::string& summary) {
        const std::size_t at = summary.find("machine time ");
        return at == std::string::npos ? -1.0 : std::stod(summary.substr(at + 13));
    };
    // On the virtual clock: the 40 mm line at 1000 mm/s and what comes with it, nothing planned.
    std::ostringstream out, err;
    ASSERT_EQ(run_mark_command(c, out, err), 0) << err.str();
    EXPECT_GT(machine_us(out.str()), 40000.0);
    EXPECT_EQ(out.str().find("planned"), std::string::npos);
    // On the monotonic clock: the calls' own time, not writing the picture, and the marked vector
    // against its planned 40 ms.
    c.real_time = true;
    std::ostringstream out2, err2;
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(run_mark_command(c, out2, err2), 0) << err2.str();
    const double wall_us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GT(machine_us(out2.str()), 40000.0) << out2.str();
    EXPECT_LT(machine_us(out2.str()), wall_us);
    const std::size_t x = out2.str().find(" us planned (x");
    ASSERT_NE(x, std::string::npos) << out2.str();
    EXPECT_NE(out2.str().find("of 40000.0 us planned"), std::string::npos) << out2.str();
    EXPECT_GT(std::stod(out2.str().substr(x + 14)), 0.9);
}

TEST_F(MarkCommandTest, LineScriptMarksOneLine) {
    RunCommand c;
    c.script_path = std::string(KORVEX_SOURCE_DIR) + "/examples/line.ks";
    c.outputs.marks_path = "-";
    std::ostringstream out, err;
    ASSERT_EQ(run_script_command(c, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "line 0 0 1000 0\n");  // the marks took standard output from the trace
    EXPECT_NE(err.str().find("marked 10 mm (1000 D/A units)"), std::string::npos) << err.str();

    // The trace shows channel 0 loaded in equal steps of 2 (one marking cycle) from 0 to 1000.
    TempDir dir("korvex_line_trace");
    c.trace_path = dir.file("line.trace");
    std::ostringstream out2, err2;
    ASSERT_EQ(run_script_command(c, out2, err2), 0) << err2.str();
    std::istringstream trace(read_file(c.trace_path));
    std::vector<int> loads;
    int low = 0, high = 0;
    bool marking = false;
    for (std::string line; std::getline(trace, line);) {
        marking = marking || line == "call Marking_data [2,0,0,10,0,0]";
        unsigned offset = 0, value = 0;
        if (!marking || std::sscanf(line.c_str(), "card write %X %X", &offset, &value) != 2) continue;
        if (offset == 0xDB) low = int(value);
        if (offset == 0xD7) high = int(value);
        if (offset == 0xCF && value == 0xC8) loads.push_back(high << 8 | low);
    }
    std::vector<int> expected;
    for (int v = 2; v <= 1000; v += 2) expected.push_back(v);
    EXPECT_EQ(loads, expected);

    c.trace_path = "-";
    std::ostringstream out3, err3;
    EXPECT_EQ(run_script_command(c, out3, err3), 2);
    EXPECT_NE(err3.str().find("cannot both go to standard output"), std::string::npos);
}

// What an emulated stand-alone controller marked when it ran its downloaded job reaches the marks
// export (under its port's comment line) and, when the card marked nothing, the picture.
TEST(RunCommandTest, ShowsWhatAnEmulatedControllerMarked) {
    korvex::testing::reset_thread_state();
    RunCommand c;
    c.script_path = std::string(KORVEX_SOURCE_DIR) + "/examples/standalone.ks";
    c.outputs.marks_path = "-";  // standard output; no trace then
    std::ostringstream out, err;
    ASSERT_EQ(run_script_command(c, out, err), 0) << err.str();
    const std::string marks = out.str();
    const auto header = marks.find("# controller on port 1, controller steps\nline 0 0 500 0\nline 500 0 500 500\n");
    EXPECT_NE(header, std::string::npos) << marks;
    korvex::testing::reset_thread_state();
}
