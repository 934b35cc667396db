// korvex plot FILE: marks a plot file (pen-up/pen-down/absolute-move drawing) on the simulated
// machine, placed, scaled, turned and optionally hatched, and draws what the laser marked. The
// machine is brought up through a korvex_dll; the drawing goes through the library's own plot
// marker inside the fault boundary, so a fault leaves the gate closed like any member's.
#include <cmath>
#include <iostream>
#include <memory>

#include "cli_ranges.hpp"
#include "core/shown_input.hpp"
#include "job_options.hpp"
#include "korvex/cell_marking.hpp"
#include "mark_command.hpp"
#include "plot_command.hpp"
#include "korvex/template_view.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

int run_plot_command(PlotOptions o, std::ostream& out, std::ostream& err) {
    if (!prepare_job("korvex plot", o.input, o.params, o.head_steps_per_mm, o.outputs, err)) return 2;
    if (!(std::isfinite(o.scale_mm) && o.scale_mm > 0.0) || !std::isfinite(o.angle_deg)) {
        err << "korvex plot: the scale must be positive and the angle finite\n";
        return 2;
    }
    if (const std::string bad = check_fill_option(o.fill_mm); !bad.empty()) {
        err << "korvex plot: " << bad << "\n";
        return 2;
    }
    std::string cut;
    try {
        cut = plot_file_cut_text(o.input);
    } catch (const Fault& f) {
        err << "korvex plot: " << Shown_input(f.what(), kShownPathChars) << "\n";
        return 2;
    }
    // The library's reader ends the import at a bad command; the drawing up to there is marked.
    const std::string shown_input = Shown_input(o.input, kShownPathChars);
    if (!cut.empty())
        err << "korvex plot: " << shown_input << " is " << cut << ": the import ends there, so only the drawing before it is marked"
            << (o.fill_mm > 0.0f ? " and nothing is filled" : "") << "\n";
    const MachineJobSetup setup{o.real_time, o.grid_folder, o.head_steps_per_mm, o.outputs, o.card};
    return run_machine_job("korvex plot", setup, [&](SimulatedMachine& machine, JobInterrupt& interrupt) {
        JobCalls calls(machine, &interrupt, err, "korvex plot");
        korvex_dll dll;
        if (bring_up(calls, dll, o.params)) calls.report.completed = calls.call("Plot_mark", [&] {
            mark_plot_file(o.input, PlotPlacement{o.x_mm, o.y_mm, o.scale_mm, o.angle_deg, o.fill_mm});
        });
        if (!cut.empty() && calls.report.failure.empty()) calls.report.failure = shown_input + " is " + cut;
        return calls.report;
    }, out, err);
}

ToolCommand add_plot_command(CLI::App& app) {
    auto o = std::make_shared<PlotOptions>();
    ToolCommand c;
    c.sub = app.add_subcommand("plot", "Mark a plot file (PU/PD/PA drawing) on the simulated machine and draw it");
    c.sub->add_option("FILE", o->input, "plot file")->required();
    c.sub->add_option("--x", o->x_mm, "X of the drawing's origin, mm")->capture_default_str();
    c.sub->add_option("--y", o->y_mm, "Y of the drawing's origin, mm")->capture_default_str();
    c.sub->add_option("--scale", o->scale_mm, "mm per plot unit")->capture_default_str();
    c.sub->add_option("--angle", o->angle_deg, "rotation, degrees counter-clockwise")->capture_default_str();
    c.sub->add_option("--fill", o->fill_mm, "hatch the drawing with lines this far apart, mm (0: no fill)")
        ->check(in_range(0, kMaxFillMm))
        ->capture_default_str();
    add_mark_parameter_options(c.sub, o->params);
    c.sub->add_option("--grid", o->grid_folder, "library folder holding the grid file (default: no grid)");
    c.sub->add_flag("--real-time", o->real_time, "pace with the monotonic clock instead of the virtual one");
    add_card_options(c.sub, o->card);
    add_output_options(c.sub, o->outputs);
    c.sub->add_option("--head-steps-per-mm", o->head_steps_per_mm,
                      "scale of the simulated head, D/A units per mm (default: 1000 / step size)");
    c.run = [o] { return run_plot_command(*o, std::cout, std::cerr); };
    return c;
}

}  // namespace korvex::tool
