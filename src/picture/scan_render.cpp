// Rendering the scan. The marks' coverage is drawn with cairo onto an 8-bit alpha surface in page
// millimetres (y up, the plate turned and shifted), landed within half a micrometre of the curves
// the head drew; dust is drawn onto the same coverage. The coverage becomes grey (paper 232, marks
// 45), the lighting falls off across the page, then the scanner's blur and noise. Deterministic
// for a seed.
#include "picture/scan_render.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace korvex::tool {

namespace {

constexpr double kPaper = 232.0, kInk = 45.0;
constexpr double kLandingToleranceMm = 0.0005;
constexpr int kBatch = 2000;  // segments per stroke

struct CairoSurface {
    cairo_surface_t* s;
    ~CairoSurface() { cairo_surface_destroy(s); }
};
struct CairoContext {
    cairo_t* c;
    ~CairoContext() { cairo_destroy(c); }
};

void draw_dust(cairo_t* cr, const ScanLook& look, double width_mm, double height_mm) {
    std::mt19937 rng(look.seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int i = 0; i < look.dust; ++i) {
        const double x = u(rng) * width_mm, y = u(rng) * height_mm;
        cairo_set_source_rgba(cr, 0, 0, 0, 0.4 + 0.6 * u(rng));
        if (i % 4 == 3) {  // a hair: a thin curve a few millimetres long
            const double a = u(rng) * 2.0 * std::numbers::pi, len = 3.0 + 6.0 * u(rng);
            cairo_set_line_width(cr, 0.03 + 0.03 * u(rng));
            cairo_move_to(cr, x, y);
            cairo_curve_to(cr, x + len * 0.3 * std::cos(a + 0.6), y + len * 0.3 * std::sin(a + 0.6),
                           x + len * 0.7 * std::cos(a - 0.4), y + len * 0.7 * std::sin(a - 0.4), x + len * std::cos(a),
                           y + len * std::sin(a));
            cairo_stroke(cr);
        } else {  // a speck
            cairo_arc(cr, x, y, 0.02 + 0.13 * u(rng) * u(rng), 0.0, 2.0 * std::numbers::pi);
            cairo_fill(cr);
        }
    }
}

}  // namespace

cv::Mat render_scan(const MarkRecorder& marks, const HeadDistortion& head, double k, const ScanLook& look) {
    const double width_mm = look.page_width_mm > 0.0 ? look.page_width_mm : look.field_mm + 30.0;
    const double height_mm = look.page_height_mm > 0.0 ? look.page_height_mm : look.field_mm + 30.0;
    const double px_per_mm = look.dpi / 25.4;
    const int width = static_cast<int>(std::ceil(width_mm * px_per_mm));
    const int height = static_cast<int>(std::ceil(height_mm * px_per_mm));
    CairoSurface surface{cairo_image_surface_create(CAIRO_FORMAT_A8, width, height)};
    CairoContext ctx{cairo_create(surface.s)};
    cairo_t* cr = ctx.c;
    cairo_scale(cr, px_per_mm, px_per_mm);
    draw_dust(cr, look, width_mm, height_mm);

    // The plate: field millimetres, y up, turned and shifted on the page.
    cairo_translate(cr, width_mm / 2.0 + look.shift_x_mm, height_mm / 2.0 - look.shift_y_mm);
    cairo_scale(cr, 1.0, -1.0);
    cairo_rotate(cr, look.angle_deg * std::numbers::pi / 180.0);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    cairo_set_line_width(cr, look.line_mm);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    int segments = 0;
    for_each_landed(marks, head, k, kLandingToleranceMm * k, [&](const LandedMark& m) {
        if (m.kind == Mark::Kind::line) {
            cairo_move_to(cr, m.x0 / k, m.y0 / k);
            cairo_line_to(cr, m.x1 / k, m.y1 / k);
            if (++segments % kBatch == 0) cairo_stroke(cr);
        } else if (m.kind == Mark::Kind::dot) {
            cairo_stroke(cr);
            cairo_arc(cr, m.x0 / k, m.y0 / k, look.line_mm / 2.0, 0.0, 2.0 * std::numbers::pi);
            cairo_fill(cr);
        }
    });
    cairo_stroke(cr);
    cairo_surface_flush(surface.s);

    // Coverage to grey, the lighting falling off towards the right and the bottom.
    const unsigned char* data = cairo_image_surface_get_data(surface.s);
    const int stride = cairo_image_surface_get_stride(surface.s);
    cv::Mat grey(height, width, CV_8U);
    for (int r = 0; r < height; ++r) {
        const unsigned char* a = data + static_cast<std::ptrdiff_t>(r) * stride;
        uint8_t* g = grey.ptr<uint8_t>(r);
        const double fy = static_cast<double>(r) / height;
        for (int c = 0; c < width; ++c) {
            const double light = 1.0 - look.shading * (0.6 * c / width + 0.4 * fy * fy);
            const double v = (kPaper - a[c] / 255.0 * (kPaper - kInk)) * light;
            g[c] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        }
    }
    if (look.blur_px > 0.0) cv::GaussianBlur(grey, grey, cv::Size(0, 0), look.blur_px);
    if (look.noise > 0.0) {
        cv::Mat noise(height, width, CV_16S);
        cv::RNG rng(look.seed + 1);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, look.noise);
        cv::add(grey, noise, grey, cv::noArray(), CV_8U);
    }
    return grey;
}

bool write_scan(const std::string& path, const cv::Mat& scan) {
    try {
        return cv::imwrite(path, scan);
    } catch (const cv::Exception&) {
        return false;
    }
}

}  // namespace korvex::tool
