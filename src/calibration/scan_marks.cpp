// Dots in a scan. The background is estimated on a quarter-size copy (a median over about three dot
// diameters follows shading and paper tone but not the dots) and scaled back up; the deviation from
// it is the signal. The paper's noise is the median absolute deviation; the marks' polarity is
// whichever side has more strongly deviating pixels. The threshold lies halfway into the marks'
// typical depth, and never below six times the noise, so a blank page yields nothing.
#include "calibration/scan_marks.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "core/shown_input.hpp"

namespace korvex::calibration {

namespace {

constexpr int kShrink = 4;              // background estimated at a quarter of the size
constexpr double kNoiseSigmas = 6.0;    // the threshold stays this far above the paper's noise
constexpr double kMinBlobPx = 12.0;     // smaller blobs are specks
constexpr double kMinFill = 0.45;       // blob area over its bounding box: a dot fills ~0.79
constexpr double kMaxAspect = 2.0;      // longer than wide by more: a streak
constexpr double kAreaLow = 0.4, kAreaHigh = 2.0;  // dots lie within these times the typical area

// Histogram of the signed deviations -255..255.
using Histogram = std::array<uint64_t, 511>;

Histogram deviation_histogram(const cv::Mat& dev) {
    Histogram h{};
    for (int r = 0; r < dev.rows; ++r) {
        const int16_t* p = dev.ptr<int16_t>(r);
        for (int c = 0; c < dev.cols; ++c) ++h[static_cast<std::size_t>(p[c] + 255)];
    }
    return h;
}

// The value at fraction q of the pixels counted by `at(v)` for v = 0..255 (one side of the histogram).
template <class At>
double quantile(const At& at, uint64_t total, double q) {
    const auto want = static_cast<uint64_t>(q * static_cast<double>(total));
    uint64_t seen = 0;
    for (int v = 0; v <= 255; ++v) {
        seen += at(v);
        if (seen > want) return v;
    }
    return 255.0;
}

}  // namespace

cv::Mat read_scan(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw CalibrationError("cannot read the scan " + Shown_input(path, 200) + ": not a regular file");
    cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (image.empty()) throw CalibrationError("cannot read the scan " + Shown_input(path, 200) + " as an image (PNG, TIFF)");
    if (image.depth() == CV_16U) image.convertTo(image, CV_8U, 1.0 / 257.0);
    else if (image.depth() != CV_8U) image.convertTo(image, CV_8U, 255.0);
    cv::Mat grey;
    switch (image.channels()) {
        case 1: grey = image; break;
        case 3: cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY); break;
        case 4: cv::cvtColor(image, grey, cv::COLOR_BGRA2GRAY); break;
        default: cv::extractChannel(image, grey, 0); break;
    }
    return grey;
}

ScanMarks find_marks(const cv::Mat& grey, double expected_dot_px) {
    ScanMarks out;
    out.width_px = grey.cols;
    out.height_px = grey.rows;
    if (grey.cols < 16 || grey.rows < 16) return out;

    // Background: median of the shrunk scan over about three dot diameters.
    cv::Mat small, background_small, background;
    cv::resize(grey, small, cv::Size(std::max(1, grey.cols / kShrink), std::max(1, grey.rows / kShrink)), 0, 0,
               cv::INTER_AREA);
    int k = static_cast<int>(std::ceil(3.0 * std::max(expected_dot_px, 4.0) / kShrink)) | 1;
    k = std::clamp(k, 5, 255);
    cv::medianBlur(small, background_small, k);
    cv::resize(background_small, background, grey.size(), 0, 0, cv::INTER_LINEAR);
    cv::Mat dev;
    cv::subtract(background, grey, dev, cv::noArray(), CV_16S);  // positive where darker than the plate

    const Histogram h = deviation_histogram(dev);
    const uint64_t total = static_cast<uint64_t>(dev.total());
    const double mad = quantile([&](int v) { return v == 0 ? h[255] : h[255 + v] + h[255 - v]; }, total, 0.5);
    out.noise = std::max(1.0, 1.4826 * mad);
    const int strong = static_cast<int>(std::ceil(kNoiseSigmas * out.noise));
    uint64_t dark = 0, light = 0;
    for (int v = strong; v <= 255; ++v) {
        dark += h[255 + v];
        light += h[255 - v];
    }
    out.dark_marks = dark >= light;
    if (!out.dark_marks) dev = -dev;
    const uint64_t marked = std::max(dark, light);
    if (marked == 0) return out;
    // The marks' depth: the 90th percentile of the strongly deviating pixels.
    const auto side = [&](int v) { return v < strong ? uint64_t{0} : h[out.dark_marks ? 255 + v : 255 - v]; };
    out.contrast = quantile(side, marked, 0.9);
    const double threshold = std::max(kNoiseSigmas * out.noise, 0.5 * out.contrast);

    cv::Mat binary, labels, stats, centroids;
    cv::compare(dev, threshold, binary, cv::CMP_GT);
    const int count = cv::connectedComponentsWithStats(binary, labels, stats, centroids, 8, CV_32S);

    // Round blobs of a useful size; the typical one is the dot.
    struct Candidate {
        int label;
        cv::Rect box;
        double area;
    };
    std::vector<Candidate> candidates;
    for (int i = 1; i < count; ++i) {
        const cv::Rect box(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                           stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        const double area = stats.at<int>(i, cv::CC_STAT_AREA);
        const double aspect = static_cast<double>(std::max(box.width, box.height)) / std::min(box.width, box.height);
        if (area < kMinBlobPx || area / box.area() < kMinFill || aspect > kMaxAspect) {
            ++out.rejected;
            continue;
        }
        candidates.push_back({i, box, area});
    }
    if (candidates.empty()) return out;
    std::vector<double> areas;
    for (const Candidate& c : candidates) areas.push_back(c.area);
    std::nth_element(areas.begin(), areas.begin() + static_cast<std::ptrdiff_t>(areas.size() / 2), areas.end());
    const double typical = areas[areas.size() / 2];
    out.dot_diameter_px = 2.0 * std::sqrt(typical / 3.14159265358979);

    // Centroid of the darkness above half the threshold, over the blob and a margin of a few pixels
    // around it: the soft edge of a dot counts with the weight of its darkness, a speck beside it
    // (a blob of its own) or a hair across it (opened away) does not.
    const double floor_level = threshold / 2.0, ceiling = std::max(out.contrast, threshold) * 1.5;
    for (const Candidate& c : candidates) {
        if (c.area < kAreaLow * typical || c.area > kAreaHigh * typical) {
            ++out.rejected;
            continue;
        }
        // The soft edge reaches about as far out as the scan's blur, a pixel or two (more at high
        // resolutions); what lies farther out is something else.
        const int margin = std::max(2, static_cast<int>(out.dot_diameter_px / 16.0));
        const cv::Rect box = (c.box + cv::Point(-margin, -margin) + cv::Size(2 * margin, 2 * margin)) &
                             cv::Rect(0, 0, grey.cols, grey.rows);
        cv::Mat own, core;
        cv::compare(labels(box), c.label, own, cv::CMP_EQ);
        // A hair or scratch touching the dot is thinner than a quarter dot: opening drops it.
        const int thin = std::max(3, static_cast<int>(out.dot_diameter_px / 4.0)) | 1;
        cv::morphologyEx(own, core, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(thin, thin)));
        if (cv::countNonZero(core) > 0) own = core;
        cv::dilate(own, own, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * margin + 1, 2 * margin + 1)));
        double sw = 0.0, sx = 0.0, sy = 0.0;
        for (int r = box.y; r < box.y + box.height; ++r) {
            const int16_t* p = dev.ptr<int16_t>(r);
            const uint8_t* near = own.ptr<uint8_t>(r - box.y);
            for (int col = box.x; col < box.x + box.width; ++col) {
                if (near[col - box.x] == 0) continue;
                const double w = std::min(static_cast<double>(p[col]), ceiling) - floor_level;
                if (w <= 0.0) continue;
                sw += w;
                sx += w * (col + 0.5);
                sy += w * (r + 0.5);
            }
        }
        if (sw <= 0.0) continue;
        out.blobs.push_back({{sx / sw, sy / sw}, c.area});
    }
    return out;
}

}  // namespace korvex::calibration
