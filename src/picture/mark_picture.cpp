// Drawing marks with cairo. The page is laid out in millimetres (the field square with a margin for
// the frame's labels); one cairo user unit is one millimetre on every surface, so SVG and PDF come
// out at the field's true size and PNG at its chosen resolution.
#include "picture/mark_picture.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>

#include "core/output_file.hpp"
#include "korvex/fault.hpp"
#include "picture/picture_text.hpp"

namespace korvex::tool {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kMarginMm = 12.0;       // room for ticks and labels on every side
constexpr double kCaptionMm = 8.0;       // extra band above the frame for the caption
constexpr double kLabelMm = 3.0;         // label text height
constexpr double kTickMm = 1.5;          // tick length outside the frame
constexpr int kMaxPngPixels = 32767;     // cairo's image surface limit per side

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

bool positive(double v) { return std::isfinite(v) && v > 0.0; }

// Page geometry in millimetres and the device units per millimetre of the surface.
struct Page {
    double width_mm = 0.0, height_mm = 0.0;
    double centre_x = 0.0, centre_y = 0.0;  // the field's centre on the page
    double units_per_mm = 1.0;
    double min_width_mm = 0.0;              // thinnest line the surface can show (one PNG pixel)
};

Page page_for(const PictureOptions& o, PictureFormat format) {
    Page p;
    const double top = kMarginMm + (o.caption.empty() ? 0.0 : kCaptionMm);
    p.width_mm = o.field_mm + 2.0 * kMarginMm;
    p.height_mm = o.field_mm + kMarginMm + top;
    p.centre_x = kMarginMm + o.field_mm / 2.0;
    p.centre_y = top + o.field_mm / 2.0;
    if (format == PictureFormat::png) {
        p.units_per_mm = o.png_px_per_mm;
        p.min_width_mm = 1.0 / o.png_px_per_mm;
    } else {
        p.units_per_mm = kPointsPerMm;
    }
    return p;
}

int png_pixels(double mm, double px_per_mm) { return static_cast<int>(std::ceil(mm * px_per_mm)); }

// Field millimetres (y up) to page millimetres (y down).
struct FieldToPage {
    const Page& page;
    double mm_per_da;
    double x(double da) const { return page.centre_x + da * mm_per_da; }
    double y(double da) const { return page.centre_y - da * mm_per_da; }
};

std::string label_text(double mm) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", std::fabs(mm) < 1e-9 ? 0.0 : mm);
    return buf;
}

void draw_frame(cairo_t* cr, const Page& page, const PictureOptions& o) {
    const double half = o.field_mm / 2.0;
    const double left = page.centre_x - half, right = page.centre_x + half;
    const double top = page.centre_y - half, bottom = page.centre_y + half;
    const long first = static_cast<long>(std::ceil(-half / o.tick_mm - 1e-9));
    const long last = static_cast<long>(std::floor(half / o.tick_mm + 1e-9));

    // Faint grid at the ticks, a slightly stronger cross through the centre.
    cairo_set_line_width(cr, std::max(0.1, page.min_width_mm));
    cairo_set_source_rgb(cr, 0.92, 0.92, 0.92);
    for (long k = first; k <= last; ++k) {
        const double d = static_cast<double>(k) * o.tick_mm;
        if (k == 0) continue;
        cairo_move_to(cr, page.centre_x + d, top);
        cairo_line_to(cr, page.centre_x + d, bottom);
        cairo_move_to(cr, left, page.centre_y - d);
        cairo_line_to(cr, right, page.centre_y - d);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
    cairo_move_to(cr, page.centre_x, top);
    cairo_line_to(cr, page.centre_x, bottom);
    cairo_move_to(cr, left, page.centre_y);
    cairo_line_to(cr, right, page.centre_y);
    cairo_stroke(cr);

    // The field's edge and the ticks outside it.
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
    cairo_set_line_width(cr, std::max(0.2, page.min_width_mm));
    cairo_rectangle(cr, left, top, o.field_mm, o.field_mm);
    for (long k = first; k <= last; ++k) {
        const double d = static_cast<double>(k) * o.tick_mm;
        cairo_move_to(cr, page.centre_x + d, bottom);
        cairo_line_to(cr, page.centre_x + d, bottom + kTickMm);
        cairo_move_to(cr, page.centre_x + d, top);
        cairo_line_to(cr, page.centre_x + d, top - kTickMm);
        cairo_move_to(cr, left, page.centre_y - d);
        cairo_line_to(cr, left - kTickMm, page.centre_y - d);
        cairo_move_to(cr, right, page.centre_y - d);
        cairo_line_to(cr, right + kTickMm, page.centre_y - d);
    }
    cairo_stroke(cr);

    // Labels in millimetres from the field centre: x below the frame, y left of it.
    PictureText labels(cr, kLabelMm);
    for (long k = first; k <= last; ++k) {
        const double d = static_cast<double>(k) * o.tick_mm;
        const cairo_text_extents_t& ext = labels.set_text(label_text(d));
        cairo_move_to(cr, page.centre_x + d - ext.width / 2.0 - ext.x_bearing, bottom + kTickMm + 1.0 + kLabelMm);
        labels.show();
        cairo_move_to(cr, left - kTickMm - 1.0 - ext.width - ext.x_bearing, page.centre_y - d - ext.y_bearing / 2.0);
        labels.show();
    }
    cairo_move_to(cr, right + kTickMm + 1.0, bottom + kTickMm + 1.0 + kLabelMm);
    labels.set_text("mm");
    labels.show();
    if (!o.caption.empty()) {
        cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        PictureText caption(cr, 3.5);
        caption.set_text(o.caption);
        cairo_move_to(cr, kMarginMm, kMarginMm * 0.5 + 3.5);
        caption.show();
    }
}

// Marks are stroked in batches of a few hundred segments: cairo's cost for one path grows faster
// than its length (and its memory with it), so a drawing of a million segments stroked at once takes
// minutes and gigabytes, while batches keep both linear and small. A batch ends where a polyline of
// touching lines ends (its joints stay round joins, not overlapping caps), or inside a very long one
// (a round cap there looks the same as the join it replaces). Jumps are translucent: they are
// stroked opaque into a group that is then painted at their alpha, so where batches overlap the
// picture is the same as one stroke.
constexpr int kBatchSegments = 512;
constexpr int kLongestBatchSegments = 4 * kBatchSegments;

template <class ForEach>
void stroke_in_batches(cairo_t* cr, const FieldToPage& to, Mark::Kind kind, const ForEach& for_each_mark) {
    bool open = false;
    double end_x = 0.0, end_y = 0.0;  // D/A units, or head units of landed marks
    int segments = 0;
    for_each_mark([&](const auto& m) {
        if (m.kind != kind) return;
        const bool touching = open && m.x0 == end_x && m.y0 == end_y;
        if ((!touching && segments >= kBatchSegments) || segments >= kLongestBatchSegments) {
            cairo_stroke(cr);
            segments = 0;
            if (touching) cairo_move_to(cr, to.x(m.x0), to.y(m.y0));
        }
        if (!touching) cairo_move_to(cr, to.x(m.x0), to.y(m.y0));
        cairo_line_to(cr, to.x(m.x1), to.y(m.y1));
        ++segments;
        open = true;
        end_x = m.x1;
        end_y = m.y1;
    });
    cairo_stroke(cr);
}

// Clips to the device pixels that strokes of this width along the marks of one kind can touch
// (their extent widened by the width and a pixel, rounded out to whole pixels).
template <class ForEach>
void clip_to_extent(cairo_t* cr, const FieldToPage& to, double width, Mark::Kind kind, const ForEach& for_each_mark) {
    double left = std::numeric_limits<double>::infinity(), top = left, right = -left, bottom = -left;
    for_each_mark([&](const auto& m) {
        if (m.kind != kind) return;
        left = std::min({left, to.x(m.x0), to.x(m.x1)});
        right = std::max({right, to.x(m.x0), to.x(m.x1)});
        top = std::min({top, to.y(m.y0), to.y(m.y1)});
        bottom = std::max({bottom, to.y(m.y0), to.y(m.y1)});
    });
    if (left > right) {  // none: an empty clip
        cairo_rectangle(cr, 0.0, 0.0, 0.0, 0.0);
        cairo_clip(cr);
        return;
    }
    double x0 = left - width, y0 = top - width, x1 = right + width, y1 = bottom + width;
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    x0 = std::floor(x0) - 1.0, y0 = std::floor(y0) - 1.0, x1 = std::ceil(x1) + 1.0, y1 = std::ceil(y1) + 1.0;
    cairo_device_to_user(cr, &x0, &y0);
    cairo_device_to_user(cr, &x1, &y1);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_clip(cr);
}

template <class ForEach>
void draw_marks(cairo_t* cr, const Page& page, const PictureOptions& o, const ForEach& for_each_mark) {
    const FieldToPage to{page, 1.0 / o.head_steps_per_mm};
    const double spot = std::max(o.spot_mm, page.min_width_mm);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);

    if (o.jumps) {
        const double width = std::max(spot * 0.5, page.min_width_mm);
        const double dash[] = {1.0, 0.6};
        // On a PNG the jumps go into a layer of their own, laid over at their transparency, so batches
        // that overlap look like one stroke. SVG and PDF draw them translucent directly: cairo's
        // vector surfaces lose memory on destroying such a layer.
        // The layer covers only the jumps' extent (whole pixels, so the picture is the same as with a
        // layer of the whole page), not a second surface of the page's size.
        const bool layer = cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE;
        if (layer) {
            cairo_save(cr);
            clip_to_extent(cr, to, width, Mark::Kind::jump, for_each_mark);
            cairo_push_group(cr);
        }
        cairo_set_dash(cr, dash, 2, 0.0);
        cairo_set_line_width(cr, width);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        if (layer) cairo_set_source_rgb(cr, 0.85, 0.25, 0.2);
        else cairo_set_source_rgba(cr, 0.85, 0.25, 0.2, 0.8);
        stroke_in_batches(cr, to, Mark::Kind::jump, for_each_mark);
        if (layer) {
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, 0.8);
            cairo_restore(cr);
        }
        cairo_set_dash(cr, nullptr, 0, 0.0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    }

    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, spot);
    stroke_in_batches(cr, to, Mark::Kind::line, for_each_mark);

    int dots = 0;
    for_each_mark([&](const auto& m) {
        if (m.kind != Mark::Kind::dot) return;
        cairo_new_sub_path(cr);
        cairo_arc(cr, to.x(m.x0), to.y(m.y0), spot / 2.0, 0.0, 2.0 * std::numbers::pi);
        if (++dots % kBatchSegments == 0) cairo_fill(cr);
    });
    cairo_fill(cr);
}

void fail(const std::string& path, cairo_status_t status) {
    throw PictureError(path + ": cannot write the picture (" + cairo_status_to_string(status) + ")");
}

// One whole picture on the surface: white page, frame, marks; with next_page the page is then
// emitted (multi-page PDF).
template <class ForEach>
void draw_page(cairo_surface_t* surface, const Page& page, const PictureOptions& o, const ForEach& for_each_mark,
               const std::string& path, bool next_page) {
    ContextPtr cr(cairo_create(surface));
    cairo_scale(cr.get(), page.units_per_mm, page.units_per_mm);
    cairo_set_source_rgb(cr.get(), 1.0, 1.0, 1.0);
    cairo_paint(cr.get());
    draw_frame(cr.get(), page, o);
    draw_marks(cr.get(), page, o, for_each_mark);
    if (next_page) cairo_show_page(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) fail(path, cairo_status(cr.get()));
}

// cairo writes the picture through this: every write goes to the output file, and one that fails
// fails the surface, so the status after finishing tells.
cairo_status_t write_to_output(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<OutputFile*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

// Opens the output file of a picture; its faults become picture errors.
std::unique_ptr<OutputFile> open_output(const std::string& path) {
    try {
        return std::make_unique<OutputFile>(path, "picture");
    } catch (const Fault& f) {
        throw PictureError(f.what());
    }
}

// The finished surface's status, then the output file completed under its name.
void complete(cairo_surface_t* surface, OutputFile& file) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) fail(file.path(), cairo_surface_status(surface));
    try {
        file.commit();
    } catch (const Fault& f) {
        throw PictureError(f.what());
    }
}

// The pixels of an RGB24 image surface (one 32-bit word a pixel, 0x00RRGGBB) as an 8-bit RGB PNG.
// zlib's fastest level and no row filter: a picture of marks is mostly runs of one colour, which
// these compress well (smaller than with the Sub filter) at a fraction of the default's time. libpng reports errors by a long jump, so
// nothing here has a destructor to skip. False when the file could not be written.
bool encode_png(OutputFile& file, const unsigned char* pixels, int width, int height, int stride) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, png_size_t length) {
            // A failed write is kept by the output file and reported when it is completed.
            static_cast<OutputFile*>(png_get_io_ptr(p))->write(data, length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    // The word's unused top byte is dropped; in memory it comes last (B, G, R, x) on a
    // little-endian machine, first (x, R, G, B) on a big-endian one.
    if constexpr (std::endian::native == std::endian::little) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else {
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
    }
    for (int row = 0; row < height; ++row)
        png_write_row(png, pixels + static_cast<std::ptrdiff_t>(row) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void write_png(cairo_surface_t* surface, const std::string& path) {
    cairo_surface_flush(surface);
    const std::unique_ptr<OutputFile> file = open_output(path);
    if (!encode_png(*file, cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
                    cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface)))
        throw PictureError(path + ": cannot encode the picture as PNG");
    complete(surface, *file);
}

void check_for(const PictureOptions& o, bool png, const std::string& path) {
    try {
        check_picture_options(o, png);
    } catch (const PictureError& e) {
        throw PictureError(path + ": " + e.what());
    }
}

// A PNG drawn on `surface`, which is kept for the next picture of the same size (made anew for
// another size).
template <class ForEach>
void render_png(const ForEach& for_each_mark, const std::string& path, const PictureOptions& o, SurfacePtr& surface) {
    check_for(o, true, path);
    const Page page = page_for(o, PictureFormat::png);
    const int width = png_pixels(page.width_mm, page.units_per_mm), height = png_pixels(page.height_mm, page.units_per_mm);
    if (!surface || cairo_image_surface_get_width(surface.get()) != width ||
        cairo_image_surface_get_height(surface.get()) != height)
        surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        const cairo_status_t status = cairo_surface_status(surface.get());
        surface.reset();
        fail(path, status);
    }
    draw_page(surface.get(), page, o, for_each_mark, path, false);
    write_png(surface.get(), path);
}

template <class ForEach>
void render(const ForEach& for_each_mark, PictureFormat format, const std::string& path, const PictureOptions& o) {
    if (format == PictureFormat::png) {
        SurfacePtr surface;
        render_png(for_each_mark, path, o, surface);
        return;
    }
    check_for(o, false, path);
    const Page page = page_for(o, format);
    const std::unique_ptr<OutputFile> file = open_output(path);
    const double width_pt = page.width_mm * kPointsPerMm, height_pt = page.height_mm * kPointsPerMm;
    SurfacePtr surface;
    switch (format) {
        case PictureFormat::png:
            return;  // drawn by render_png above
        case PictureFormat::svg:
            surface.reset(cairo_svg_surface_create_for_stream(write_to_output, file.get(), width_pt, height_pt));
            break;
        case PictureFormat::pdf:
            surface.reset(cairo_pdf_surface_create_for_stream(write_to_output, file.get(), width_pt, height_pt));
            break;
    }
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) fail(path, cairo_surface_status(surface.get()));
    draw_page(surface.get(), page, o, for_each_mark, path, false);
    cairo_surface_finish(surface.get());
    complete(surface.get(), *file);
}

}  // namespace

void check_picture_options(const PictureOptions& o, bool png) {
    if (!positive(o.head_steps_per_mm)) throw PictureError("the head scale must be a positive number of D/A units per mm");
    if (!positive(o.spot_mm)) throw PictureError("the spot width must be a positive number of millimetres");
    if (!positive(o.field_mm)) throw PictureError("the field size must be a positive number of millimetres");
    if (!positive(o.tick_mm) || o.field_mm / o.tick_mm > 1000.0)
        throw PictureError("the tick spacing must be positive and give at most 1000 ticks across the field");
    if (!positive(o.png_px_per_mm)) throw PictureError("the PNG resolution must be a positive number of pixels per mm");
    const Page page = page_for(o, PictureFormat::png);
    if (png && (page.width_mm * page.units_per_mm > kMaxPngPixels || page.height_mm * page.units_per_mm > kMaxPngPixels))
        throw PictureError("the PNG would be larger than 32767 pixels a side; lower the field size or the resolution");
}

PixelPoint png_pixel_of(const PictureOptions& o, double x_mm, double y_mm) {
    const Page page = page_for(o, PictureFormat::png);
    const FieldToPage to{page, 1.0};  // field millimetres in, page millimetres out
    return {to.x(x_mm) * page.units_per_mm, to.y(y_mm) * page.units_per_mm};
}

void write_picture(const std::vector<Mark>& marks, PictureFormat format, const std::string& path,
                   const PictureOptions& options) {
    render([&](auto&& f) { for (const Mark& m : marks) f(m); }, format, path, options);
}

void write_picture(const MarkRecorder& marks, PictureFormat format, const std::string& path,
                   const PictureOptions& options) {
    if (!options.head.on) {
        render([&](auto&& f) { marks.for_each(f); }, format, path, options);
        return;
    }
    // Where a distorted head lands the marks, within a 5 um tolerance of the curves it draws.
    const double k = options.head_steps_per_mm;
    render([&](auto&& f) { for_each_landed(marks, options.head, k, 0.005 * k, f); }, format, path, options);
}

struct PngCanvas::Surface {
    SurfacePtr surface;
};

PngCanvas::PngCanvas() : surface_(std::make_unique<Surface>()) {}
PngCanvas::~PngCanvas() = default;

void PngCanvas::write(const std::vector<Mark>& marks, const std::string& path, const PictureOptions& options) {
    render_png([&](auto&& f) { for (const Mark& m : marks) f(m); }, path, options, surface_->surface);
}

struct PdfBook::Surface {
    std::unique_ptr<OutputFile> file;  // before the surface, which writes into it until it goes
    SurfacePtr surface;
};

PdfBook::PdfBook(const std::string& path, const PictureOptions& options) : path_(path), options_(options) {
    check_picture_options(options_);
    options_.caption = "caption";  // every page has a caption band, so all pages have one size
    const Page page = page_for(options_, PictureFormat::pdf);
    surface_ = std::make_unique<Surface>();
    surface_->file = open_output(path);
    surface_->surface.reset(cairo_pdf_surface_create_for_stream(write_to_output, surface_->file.get(),
                                                                page.width_mm * kPointsPerMm, page.height_mm * kPointsPerMm));
    if (cairo_surface_status(surface_->surface.get()) != CAIRO_STATUS_SUCCESS)
        fail(path, cairo_surface_status(surface_->surface.get()));
}

PdfBook::~PdfBook() = default;

void PdfBook::add_page(const std::vector<Mark>& marks, const std::string& caption) {
    PictureOptions o = options_;
    o.caption = caption.empty() ? " " : caption;
    draw_page(surface_->surface.get(), page_for(o, PictureFormat::pdf), o,
              [&](auto&& f) { for (const Mark& m : marks) f(m); }, path_, true);
    ++pages_;
}

void PdfBook::finish() {
    cairo_surface_finish(surface_->surface.get());
    complete(surface_->surface.get(), *surface_->file);
}

}  // namespace korvex::tool

// fontconfig, which Pango uses for the frame's labels, keeps its configuration until the process
// ends by design; a sanitized build's leak checker is told that this is not a leak. (Sanitizer
// runtimes look this function up; other builds never call it.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
