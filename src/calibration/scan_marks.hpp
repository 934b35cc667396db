// Finding the marked dots in a flatbed scan: the scan is read as grey, its uneven lighting taken out
// (a median background much wider than a dot), the marks thresholded well above the paper's noise,
// taken apart into connected blobs, specks and streaks (dust, hairs, scratches) left out by size
// and shape, and each dot's centre found to a fraction of a pixel as the centroid of its darkness.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "calibration/vec2.hpp"

namespace korvex::calibration {

struct ScanBlob {
    Vec2 centre_px;        // from the image's top left corner, pixel centres at .5
    double area_px = 0.0;  // above the threshold
};

struct ScanMarks {
    int width_px = 0, height_px = 0;
    bool dark_marks = true;        // marks darker than the plate
    double noise = 0.0;            // grey levels, the plate's own variation
    double contrast = 0.0;         // grey levels, how far the marks stand out
    double dot_diameter_px = 0.0;  // of the typical dot (0: none found)
    std::vector<ScanBlob> blobs;   // dot-sized, round blobs
    int rejected = 0;              // blobs left out as specks, streaks or clumps
};

// Reads a scan (PNG, TIFF, ...; grey or colour, 8 or 16 bits) as 8-bit grey. CalibrationError when
// the file cannot be read as an image.
cv::Mat read_scan(const std::string& path);

// The dots of a scan. expected_dot_px sizes the background filter (the dot's diameter as the
// pattern and the stated resolution give it).
ScanMarks find_marks(const cv::Mat& grey, double expected_dot_px);

}  // namespace korvex::calibration
