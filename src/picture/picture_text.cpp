// Pango layout of the pictures' text lines on cairo (see picture_text.hpp).
#include "picture/picture_text.hpp"

#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <memory>

namespace korvex::tool {

namespace {

struct DescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};

// A line far wider than any page; a longer text is cut here (inside a character, the cut one shows as
// U+FFFD).
constexpr std::size_t kMaxTextBytes = 4096;

constexpr double from_pango(int v) { return static_cast<double>(v) / PANGO_SCALE; }

}  // namespace

PictureText::PictureText(cairo_t* cr, double size) : cr_(cr), layout_(pango_cairo_create_layout(cr)) {
    // Glyphs are placed where the face puts them: rounding them to whole user units would round
    // to whole millimetres here.
    pango_context_set_round_glyph_positions(pango_layout_get_context(layout_), FALSE);
    pango_layout_context_changed(layout_);
    const std::unique_ptr<PangoFontDescription, DescriptionDeleter> font(pango_font_description_from_string("Sans"));
    pango_font_description_set_absolute_size(font.get(), size * PANGO_SCALE);
    pango_layout_set_font_description(layout_, font.get());
    pango_layout_set_single_paragraph_mode(layout_, TRUE);
}

PictureText::~PictureText() { g_object_unref(layout_); }

const cairo_text_extents_t& PictureText::set_text(std::string_view text) {
    const auto length = static_cast<gssize>(std::min(text.size(), kMaxTextBytes));
    if (g_utf8_validate(text.data(), length, nullptr)) {
        pango_layout_set_text(layout_, text.data(), static_cast<int>(length));
    } else {
        gchar* valid = g_utf8_make_valid(text.data(), length);
        pango_layout_set_text(layout_, valid, -1);
        g_free(valid);
    }
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout_, &ink, &logical);
    baseline_ = from_pango(pango_layout_get_baseline(layout_));
    extents_.x_bearing = from_pango(ink.x);
    extents_.y_bearing = from_pango(ink.y) - baseline_;
    extents_.width = from_pango(ink.width);
    extents_.height = from_pango(ink.height);
    extents_.x_advance = from_pango(logical.width);
    extents_.y_advance = 0.0;
    return extents_;
}

void PictureText::show() {
    double x = 0.0, y = 0.0;
    cairo_get_current_point(cr_, &x, &y);
    cairo_move_to(cr_, x, y - baseline_);
    pango_cairo_show_layout(cr_, layout_);
    cairo_new_path(cr_);
}

int PictureText::unknown_glyphs() const { return pango_layout_get_unknown_glyphs_count(layout_); }

}  // namespace korvex::tool
