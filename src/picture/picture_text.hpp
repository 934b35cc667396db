// Text on the pictures (caption, frame labels) laid out by Pango: fontconfig finds a face for every
// character, so a Chinese file or template name is drawn in an installed CJK face, not as boxes.
#pragma once

#include <cairo.h>

#include <string_view>

typedef struct _PangoLayout PangoLayout;

namespace korvex::tool {

// One line of sans-serif text at one size on a cairo context, drawn in the context's source colour.
class PictureText {
public:
    // size is the em height in the context's user units (millimetres on the pictures).
    PictureText(cairo_t* cr, double size);
    ~PictureText();
    PictureText(const PictureText&) = delete;
    PictureText& operator=(const PictureText&) = delete;

    // Lays out text as one line; bytes that are not UTF-8 become U+FFFD (shown, not dropped), line
    // breaks stay on the line. Returns its ink extents from the start of its baseline, as
    // cairo_text_extents gives them.
    const cairo_text_extents_t& set_text(std::string_view text);
    // Draws the text laid out last with its baseline starting at the current point.
    void show();
    // Characters of the laid-out text that no installed face has.
    int unknown_glyphs() const;

private:
    cairo_t* cr_;
    PangoLayout* layout_;
    cairo_text_extents_t extents_{};
    double baseline_ = 0.0;  // from the layout's top
};

}  // namespace korvex::tool
