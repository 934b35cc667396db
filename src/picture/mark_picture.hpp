// Pictures of the simulated machine's marks (PNG, SVG, PDF through cairo): the scan field in
// millimetres at the simulated head's own scale, y up as the machine sees it (channel 0 is x,
// channel 1 is y), laser lines in the spot width, dots as filled spots, jumps as thin light red
// lines, and a millimetre frame of the field. A library that computes the wrong step size draws the wrong size.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/landed_marks.hpp"
#include "sim/marks.hpp"

namespace korvex::tool {

enum class PictureFormat { png, svg, pdf };

struct PictureOptions {
    double head_steps_per_mm = 100.0;  // D/A units per millimetre of the simulated head
    double spot_mm = 0.1;              // width of a laser line, diameter of a dot
    double field_mm = 110.0;           // the square field the frame shows, centred on 0
    double tick_mm = 10.0;             // frame ticks and labels
    bool jumps = true;                 // draw the jumps as thin light red lines
    double png_px_per_mm = 10.0;       // PNG resolution (SVG and PDF are at true size)
    std::string caption;               // one line above the frame (file name, summary), may be empty
    HeadDistortion head;               // a distorted head draws the marks where they land
};

// A picture that cannot be made (bad options, a file that cannot be written); the message names
// the file.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws PictureError for options that are not positive finite numbers and, when a PNG is to be
// made, for a field and resolution that give a PNG too large to draw (checked before a job runs,
// so a job is not marked for a picture that cannot be made).
void check_picture_options(const PictureOptions& options, bool png = false);

// Where the field point (x_mm, y_mm) lands in the PNG these options make, in pixels from the
// top left corner.
struct PixelPoint {
    double x = 0.0, y = 0.0;
};
PixelPoint png_pixel_of(const PictureOptions& options, double x_mm, double y_mm);

void write_picture(const std::vector<Mark>& marks, PictureFormat format, const std::string& path,
                   const PictureOptions& options);
void write_picture(const MarkRecorder& marks, PictureFormat format, const std::string& path,
                   const PictureOptions& options);

// PNGs one after another on one drawing surface, kept while the pictures have the same size (a
// batch's plates), instead of a surface made and freed for each. A canvas that goes leaves its
// surface to the next one made (the next batch).
class PngCanvas {
public:
    PngCanvas();
    ~PngCanvas();
    PngCanvas(const PngCanvas&) = delete;
    PngCanvas& operator=(const PngCanvas&) = delete;

    // As write_picture with PictureFormat::png.
    void write(const std::vector<Mark>& marks, const std::string& path, const PictureOptions& options);

private:
    struct Surface;
    std::unique_ptr<Surface> surface_;
};

// A PDF of many pictures, one page each, written page by page as they come (a long batch keeps
// only the page being drawn). Every page has the options' size; each brings its own caption.
class PdfBook {
public:
    // Creates the file; PictureError when it cannot be written or the options are bad.
    PdfBook(const std::string& path, const PictureOptions& options);
    ~PdfBook();
    PdfBook(const PdfBook&) = delete;
    PdfBook& operator=(const PdfBook&) = delete;

    void add_page(const std::vector<Mark>& marks, const std::string& caption);
    int pages() const { return pages_; }
    // Completes the file; PictureError when it could not be written.
    void finish();

private:
    struct Surface;
    std::unique_ptr<Surface> surface_;
    std::string path_;
    PictureOptions options_;
    int pages_ = 0;
};

}  // namespace korvex::tool
