// The korvex command-line program: `korvex run SCRIPT` plays a host script on the simulated machine
// and writes the trace of everything the machine saw; `korvex mark FILE` marks a vector file on it.
// Both can write the marks and draw them; the work is in mark_command.cpp.
#include <CLI/CLI.hpp>

#include <iostream>

#include "controller_command.hpp"
#include "mark_command.hpp"
#include "template_show.hpp"
#include "tool_command.hpp"

namespace {

// The options every job command shares: what to write after the job and how to draw it.
void add_output_options(CLI::App* cmd, korvex::tool::JobOutputs& o) {
    cmd->add_option("--marks", o.marks_path, "write the marks as text ('-' for standard output)");
    cmd->add_flag("--marks-time", o.marks_time, "prefix every mark with its machine time in microseconds");
    cmd->add_option("--png", o.png_path, "draw the marks as a PNG picture");
    cmd->add_option("--svg", o.svg_path, "draw the marks as an SVG picture");
    cmd->add_option("--pdf", o.pdf_path, "draw the marks as a PDF picture");
    cmd->add_option("--spot-mm", o.picture.spot_mm, "laser line width and dot diameter in the pictures, mm")
        ->capture_default_str();
    cmd->add_option("--field-mm", o.picture.field_mm, "size of the field the pictures frame, mm")->capture_default_str();
    cmd->add_option("--px-per-mm", o.picture.png_px_per_mm, "PNG resolution, pixels per mm")->capture_default_str();
    cmd->add_flag("--no-jumps", [&o](int64_t) { o.picture.jumps = false; }, "leave the jumps out of the pictures");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"korvex: drive a galvanometer laser marking machine, or its simulation"};
    app.require_subcommand(1);

    auto* run = app.add_subcommand("run", "Play a host script on the simulated machine and write its trace");
    korvex::tool::RunCommand r;
    run->add_option("SCRIPT", r.script_path, "host script")->required();
    run->add_option("--trace", r.trace_path, "trace file ('-' for standard output, the default unless --marks - takes it)");
    run->add_flag("--trace-time", r.trace_time, "prefix every trace line with the machine time in microseconds");
    run->add_flag("--real-time", r.real_time, "pace with the monotonic clock instead of the virtual one");
    run->add_option("--clock-hz", r.clock_hz, "virtual counter frequency in ticks per second")->check(CLI::PositiveNumber);
    add_output_options(run, r.outputs);
    run->add_option("--head-steps-per-mm", r.outputs.picture.head_steps_per_mm,
                    "scale of the simulated head, D/A units per mm")->capture_default_str();

    auto* mark = app.add_subcommand("mark", "Mark a vector file (md numbers) on the simulated machine and draw it");
    korvex::tool::MarkCommand m;
    mark->add_option("FILE", m.input, "vector file: the md array as numbers, '#' comments")->required();
    mark->add_option("--mark-speed", m.params.mark_speed_mm_s, "marking speed, mm/s")->capture_default_str();
    mark->add_option("--jump-speed", m.params.jump_speed_mm_s, "jump speed, mm/s (0: jumps in one move)")
        ->capture_default_str();
    mark->add_option("--on-delay", m.params.on_delay_us, "wait before the gate opens, us")->capture_default_str();
    mark->add_option("--on-hold", m.params.on_hold_us, "wait after the gate opened, us")->capture_default_str();
    mark->add_option("--off-delay", m.params.off_delay_us, "wait before the gate closes, us")->capture_default_str();
    mark->add_option("--off-hold", m.params.off_hold_us, "wait after the gate closed, us")->capture_default_str();
    mark->add_option("--step-um", m.params.step_um, "D/A step size, micrometres")->capture_default_str();
    mark->add_option("--settle-us", m.params.settle_us, "upper bound of the wait after a vector, us")
        ->capture_default_str();
    mark->add_option("--grid", m.grid_folder, "library folder holding the grid file (default: no grid)");
    mark->add_flag("--real-time", m.real_time, "pace with the monotonic clock instead of the virtual one");
    add_output_options(mark, m.outputs);
    mark->add_option("--head-steps-per-mm", m.head_steps_per_mm,
                     "scale of the simulated head, D/A units per mm (default: 1000 / step size)");

    auto* controller = app.add_subcommand("controller", "Run an emulated stand-alone controller behind a pseudo-terminal");
    korvex::tool::ControllerCommand k;
    controller->add_option("OPTIONS", k.options, "emulator options (silent, late=US, reply=HEX, drop-at-page=N, ...)");
    controller->add_flag("--no-throttle", [&k](int64_t) { k.throttle = false; }, "answer at once instead of at 115 200 baud");
    controller->add_option("--marks", k.marks_path, "write what the stored jobs marked (controller steps) when stopped");

    auto* tmpl = app.add_subcommand("template", "Look at ear-tag marking templates");
    tmpl->require_subcommand(1);
    auto* tmpl_show = tmpl->add_subcommand("show", "Print a template's pens, hardware values, zones and cells");
    std::string template_base;
    tmpl_show->add_option("BASE", template_base, "template base path (BASE.mc1 and BASE.nam)")->required();

    const korvex::tool::ToolCommand commands[] = {
        korvex::tool::add_eartag_command(app), korvex::tool::add_text_command(app),
        korvex::tool::add_plot_command(app),   korvex::tool::add_fonts_command(app),
        korvex::tool::add_fontc_command(app),
    };

    CLI11_PARSE(app, argc, argv);
    for (const auto& c : commands)
        if (*c.sub) return c.run();
    if (*run) return korvex::tool::run_script_command(r, std::cout, std::cerr);
    if (*mark) return korvex::tool::run_mark_command(m, std::cout, std::cerr);
    if (*controller) return korvex::tool::run_controller_command(k, std::cout, std::cerr);
    if (*tmpl_show) return korvex::tool::template_show(template_base, std::cout, std::cerr);
    return 0;
}
