// A flatbed scan of a plate marked on the simulated machine, made from its marks: every line and
// dot drawn where the (distorted) head landed it, in the laser's line width, on a page of paper
// tone; the plate turned and shifted on the glass; the scanner's blur, noise and uneven lighting;
// dust specks and hairs. What `korvex calibrate pattern --scan` writes, and what the calibration's
// tests and benchmarks solve.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

#include "sim/landed_marks.hpp"

namespace korvex::tool {

struct ScanLook {
    double dpi = 600.0;
    double page_width_mm = 0.0;      // 0: the field with 15 mm around it (field_mm + 30)
    double page_height_mm = 0.0;
    double field_mm = 100.0;         // the marked field, for the default page
    double angle_deg = 0.8;          // the plate turned on the glass, counter-clockwise
    double shift_x_mm = 2.5;         // the field centre right of the page centre ...
    double shift_y_mm = -1.5;        // ... and above it
    double line_mm = 0.1;            // the laser's line width
    double blur_px = 0.8;            // the scanner's optics (Gaussian sigma)
    double noise = 3.0;              // grey levels
    double shading = 0.12;           // the lighting falls off by this fraction across the page
    int dust = 40;                   // specks and hairs on the glass
    uint32_t seed = 24;
};

// The scan as 8-bit grey (paper light, marks dark), pixel rows from the page's top.
cv::Mat render_scan(const MarkRecorder& marks, const HeadDistortion& head, double head_steps_per_mm, const ScanLook& look);

// Writes a scan (PNG or TIFF by the name); false when it cannot.
bool write_scan(const std::string& path, const cv::Mat& scan);

}  // namespace korvex::tool
