// Shared options of the job commands (korvex run, mark, plot).
#include "job_options.hpp"

#include <cstdio>

#include "output_options.hpp"

namespace korvex::tool {

std::string check_fill_option(double fill_mm) {
    if (fill_mm >= 0.0 && fill_mm <= kMaxFillMm) return "";
    char given[32];
    std::snprintf(given, sizeof given, "%g", fill_mm);
    return "--fill " + std::string(given) + ": the hatch spacing must be from 0 (no fill) to " + format_number(kMaxFillMm, 0) + " mm";
}

void add_output_options(CLI::App* cmd, JobOutputs& o) {
    cmd->add_option("--marks", o.marks_path, "write the marks as text ('-' for standard output)")->check(output_path(true));
    cmd->add_flag("--marks-time", o.marks_time, "prefix every mark with its machine time in microseconds");
    cmd->add_option("--png", o.png_path, "draw the marks as a PNG picture")->check(output_path());
    cmd->add_option("--svg", o.svg_path, "draw the marks as an SVG picture")->check(output_path());
    cmd->add_option("--pdf", o.pdf_path, "draw the marks as a PDF picture")->check(output_path());
    cmd->add_option("--spot-mm", o.picture.spot_mm, "laser line width and dot diameter in the pictures, mm")
        ->capture_default_str();
    cmd->add_option("--field-mm", o.picture.field_mm, "size of the field the pictures frame, mm")->capture_default_str();
    cmd->add_option("--px-per-mm", o.picture.png_px_per_mm, "PNG resolution, pixels per mm")->capture_default_str();
    cmd->add_flag("--no-jumps", [&o](int64_t) { o.picture.jumps = false; }, "leave the jumps out of the pictures");
    const auto head_error = [](std::string& v) {
        try {
            parse_head_setting({v});
            return std::string();
        } catch (const HeadSettingError& e) {
            return std::string(e.what());
        }
    };
    cmd->add_option_function<std::string>(
           "--head", [&o](const std::string& v) { o.picture.head = parse_head_setting({v}); },
           "the simulated head: ideal, or 'distorted' with k=v settings (distance_mm, mirrors_mm, lens_pct, "
           "scale_x, scale_y, skew_mrad, offset_x_mm, offset_y_mm), words separated by commas or blanks")
        ->check(CLI::Validator(head_error, "HEAD"));
}

void add_mark_parameter_options(CLI::App* cmd, MarkParameters& p) {
    cmd->add_option("--mark-speed", p.mark_speed_mm_s, "marking speed, mm/s")->capture_default_str();
    cmd->add_option("--jump-speed", p.jump_speed_mm_s, "jump speed, mm/s (0: jumps in one move)")->capture_default_str();
    cmd->add_option("--on-delay", p.on_delay_us, "wait before the gate opens, us")->capture_default_str();
    cmd->add_option("--on-hold", p.on_hold_us, "wait after the gate opened, us")->capture_default_str();
    cmd->add_option("--off-delay", p.off_delay_us, "wait before the gate closes, us")->capture_default_str();
    cmd->add_option("--off-hold", p.off_hold_us, "wait after the gate closed, us")->capture_default_str();
    cmd->add_option("--step-um", p.step_um, "D/A step size, micrometres")->capture_default_str();
    cmd->add_option("--settle-us", p.settle_us, "upper bound of the wait after a vector, us")->capture_default_str();
}

}  // namespace korvex::tool
