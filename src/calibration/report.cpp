// The report's text, table and pictures. The pictures are drawn with OpenCV: per panel the field
// square, 440 px across, y up; error vectors magnified so the longest is nine tenths of a pitch;
// the heat map's colours scaled to each panel's own largest error, with a colour bar in um.
#include "calibration/report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration/csv_text.hpp"

namespace korvex::calibration {

namespace {

constexpr int kPanel = 440;   // field square in pixels
constexpr int kMargin = 40;   // around it, for titles and legends
constexpr int kBands = 16;    // colours of the heat map
const cv::Scalar kInk(40, 40, 40), kGrey(200, 200, 200), kBefore(40, 40, 210), kAfter(200, 90, 30);

void text(cv::Mat& img, const std::string& s, cv::Point at, double size = 0.45) {
    cv::putText(img, s, at, cv::FONT_HERSHEY_SIMPLEX, size, kInk, 1, cv::LINE_AA);
}

// Field millimetres to the pixels of a panel whose field square starts at (left, top).
struct PanelMap {
    int left, top;
    double half_mm;
    cv::Point2d at(Vec2 p) const {
        return {left + (p.x + half_mm) / (2 * half_mm) * kPanel, top + (half_mm - p.y) / (2 * half_mm) * kPanel};
    }
};

Vec2 node_mm(const CalibrationReport& r, int node) {
    const double pitch = r.field_mm / (r.nodes - 1);
    return {-r.field_mm / 2 + (node % r.nodes) * pitch, -r.field_mm / 2 + (node / r.nodes) * pitch};
}

void vector_panel(cv::Mat& img, const CalibrationReport& r, const std::vector<Vec2>& errors, int left,
                  const std::string& title, const cv::Scalar& colour) {
    const PanelMap map{left, kMargin, r.field_mm / 2};
    cv::rectangle(img, map.at({-r.field_mm / 2, r.field_mm / 2}), map.at({r.field_mm / 2, -r.field_mm / 2}), kGrey, 1);
    double longest = 0.0;
    for (const Vec2& e : errors)
        if (std::isfinite(e.x)) longest = std::max(longest, norm(e));
    const double pitch_mm = r.field_mm / (r.nodes - 1);
    const double magnify = longest > 0.0 ? 0.9 * pitch_mm / longest : 1.0;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const Vec2 p = node_mm(r, static_cast<int>(i));
        cv::circle(img, map.at(p), 1, kInk, cv::FILLED, cv::LINE_AA);
        if (!std::isfinite(errors[i].x)) continue;
        cv::arrowedLine(img, map.at(p), map.at(p + magnify * errors[i]), colour, 1, cv::LINE_AA, 0, 0.25);
    }
    text(img, title, {left, kMargin - 22});
    text(img, "longest " + fixed(longest * 1000.0, 1) + " um, drawn x" + fixed(magnify, magnify < 10 ? 1 : 0), {left, kMargin - 6},
         0.4);
}

cv::Mat raster_image(const std::vector<Vec2>& errors, int raster, double& largest_um) {
    cv::Mat values(raster, raster, CV_32F);
    largest_um = 0.0;
    for (int row = 0; row < raster; ++row)
        for (int col = 0; col < raster; ++col) {
            const Vec2 e = errors[static_cast<std::size_t>(row * raster + col)];
            const double um = std::isfinite(e.x) ? norm(e) * 1000.0 : 0.0;
            values.at<float>(raster - 1 - row, col) = static_cast<float>(um);  // row 0 at the bottom
            largest_um = std::max(largest_um, um);
        }
    // Each pixel shows the largest error near it: the raster samples the grid's cells at another
    // spacing than theirs, and their beat would otherwise draw a moire instead of the error.
    cv::Mat envelope, scaled, bytes, colour;
    cv::dilate(values, envelope, cv::Mat::ones(3, 3, CV_8U));
    cv::resize(envelope, scaled, cv::Size(kPanel, kPanel), 0, 0, cv::INTER_AREA);
    // Sixteen bands of colour: a value can be read off the bar, and the picture stays small.
    scaled.convertTo(bytes, CV_8U, largest_um > 0.0 ? kBands / largest_um : 0.0);
    bytes = cv::min(bytes, kBands - 1) * (255 / (kBands - 1));
    cv::applyColorMap(bytes, colour, cv::COLORMAP_VIRIDIS);
    return colour;
}

void heat_panel(cv::Mat& img, const std::vector<Vec2>& errors, int raster, int left, const std::string& title) {
    double largest = 0.0;
    raster_image(errors, raster, largest).copyTo(img(cv::Rect(left, kMargin, kPanel, kPanel)));
    // Colour bar with its scale.
    cv::Mat ramp(kPanel, 1, CV_8U);
    for (int i = 0; i < kPanel; ++i)
        ramp.at<uint8_t>(i, 0) = static_cast<uint8_t>((kBands - 1 - i * kBands / kPanel) * (255 / (kBands - 1)));
    cv::Mat bar;
    cv::applyColorMap(ramp, bar, cv::COLORMAP_VIRIDIS);
    cv::resize(bar, bar, cv::Size(14, kPanel), 0, 0, cv::INTER_NEAREST);
    bar.copyTo(img(cv::Rect(left + kPanel + 8, kMargin, 14, kPanel)));
    for (int i = 0; i <= 4; ++i)
        text(img, fixed(largest * (4 - i) / 4.0, largest < 20 ? 1 : 0), {left + kPanel + 26, kMargin + 5 + i * (kPanel - 1) / 4},
             0.38);
    text(img, title + " (um)", {left, kMargin - 10});
}

std::string stats_cells(const ErrorStats& s) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%9.1f %8.1f %8.1f", s.max_um, s.rms_um, s.p95_um);
    return buf;
}

std::string node_row(const CalibrationReport& r, int node, char sep) {
    const Vec2 p = node_mm(r, node);
    const Vec2 b = 1000.0 * r.node_before_mm[static_cast<std::size_t>(node)];
    std::string s = std::to_string(node) + sep + fixed(p.x, 3) + sep + fixed(p.y, 3) + sep + fixed(b.x, 1) + sep +
                    fixed(b.y, 1) + sep + fixed(norm(b), 1);
    if (!r.node_after_mm.empty()) {
        const Vec2 a = 1000.0 * r.node_after_mm[static_cast<std::size_t>(node)];
        s += sep + fixed(a.x, 1) + sep + fixed(a.y, 1) + sep + fixed(norm(a), 1);
    }
    return s;
}

void write_png(const std::string& path, const cv::Mat& img) {
    bool ok = false;
    try {
        ok = cv::imwrite(path, img, {cv::IMWRITE_PNG_COMPRESSION, 9});
    } catch (const cv::Exception&) {
        ok = false;
    }
    if (!ok) throw CalibrationError("cannot write " + path);
}

}  // namespace

ErrorStats error_stats(const std::vector<Vec2>& errors) {
    std::vector<double> um;
    for (const Vec2& e : errors)
        if (std::isfinite(e.x) && std::isfinite(e.y)) um.push_back(norm(e) * 1000.0);
    ErrorStats s;
    s.count = static_cast<int>(um.size());
    if (um.empty()) return s;
    double sum = 0.0;
    for (double v : um) sum += v * v;
    std::sort(um.begin(), um.end());
    s.max_um = um.back();
    s.rms_um = std::sqrt(sum / um.size());
    s.p95_um = um[std::min(um.size() - 1, static_cast<std::size_t>(std::ceil(0.95 * um.size())) - 1)];
    return s;
}

std::string report_text(const CalibrationReport& r) {
    std::string t = "korvex field calibration\nmeasured: " + r.source + "\n";
    for (const std::string& f : r.facts) t += f + "\n";
    t += "\nerror (um)              at the " + std::to_string(r.nodes * r.nodes) + " nodes              over the field (" +
         std::to_string(r.raster) + " x " + std::to_string(r.raster) + " points)\n";
    t += "                          max      RMS      95%          max      RMS      95%\n";
    t += "as marked           " + stats_cells(r.before_nodes()) + "    " + stats_cells(r.before_field()) + "\n";
    if (!r.node_after_mm.empty())
        t += "after, " + r.after_what + std::string(r.after_what.size() < 13 ? 13 - r.after_what.size() : 0, ' ') +
             stats_cells(r.after_nodes()) + "    " + stats_cells(r.after_field()) + "\n";
    t += "\n";
    for (const std::string& o : r.outcome) t += o + "\n";
    t += "verdict: " + r.verdict + "\n";
    return t;
}

void make_report_folder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) throw CalibrationError("cannot make the report folder " + folder);
}

void write_report(const CalibrationReport& r, const std::string& folder) {
    make_report_folder(folder);
    const std::string dir = folder + "/";
    const bool after = !r.node_after_mm.empty();

    std::string header = "node,x_mm,y_mm,before_dx_um,before_dy_um,before_um";
    if (after) header += ",after_dx_um,after_dy_um,after_um";
    std::string csv = header + "\n", table;
    for (int node = 0; node < r.nodes * r.nodes; ++node) {
        csv += node_row(r, node, ',') + "\n";
        table += node_row(r, node, '\t') + "\n";
    }
    write_text_file(dir + "nodes.csv", csv);
    std::string heading = header;
    std::replace(heading.begin(), heading.end(), ',', '\t');
    write_text_file(dir + "report.txt", report_text(r) + "\nper node (um):\n" + heading + "\n" + table);

    const int panels = after ? 2 : 1;
    const int panel_width = kPanel + 2 * kMargin + 40;
    cv::Mat vectors(kPanel + 2 * kMargin, panels * panel_width, CV_8UC3, cv::Scalar(255, 255, 255));
    vector_panel(vectors, r, r.node_before_mm, kMargin, "as marked", kBefore);
    if (after) vector_panel(vectors, r, r.node_after_mm, panel_width + kMargin, "after, " + r.after_what, kAfter);
    write_png(dir + "vectors.png", vectors);

    cv::Mat heat(kPanel + 2 * kMargin, panels * panel_width, CV_8UC3, cv::Scalar(255, 255, 255));
    heat_panel(heat, r.field_before_mm, r.raster, kMargin, "as marked");
    if (after) heat_panel(heat, r.field_after_mm, r.raster, panel_width + kMargin, "after, " + r.after_what);
    write_png(dir + "heatmap.png", heat);
}

}  // namespace korvex::calibration
