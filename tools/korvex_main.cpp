// The korvex command-line program: `korvex run SCRIPT` plays a host script on the simulated machine
// and writes the trace of everything the machine saw; `korvex mark FILE` marks a vector file on it.
// Both can write the marks and draw them; the work is in mark_command.cpp.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cli_ranges.hpp"
#include "cli_usage.hpp"
#include "core/system_texts.hpp"
#include "controller_command.hpp"
#include "guarded_command.hpp"
#include "job_options.hpp"
#include "mark_command.hpp"
#include "output_options.hpp"
#include "korvex/template_view.hpp"
#include "korvex/korvex.h"
#include "tool_command.hpp"

int main(int argc, char** argv) {
    CLI::App app{"korvex: drive a galvanometer laser marking machine, or its simulation", "korvex"};
    app.require_subcommand(1);
    app.add_option_function<std::string>(
        "--lang", [](const std::string& name) { korvex::Set_shown_language(korvex::Language_named(name)); },
        "language of the machine's messages: zh shows them as the machine words them, any other (en) in English "
        "with the original beside it (default: from LC_ALL, LC_MESSAGES or LANG)");
    app.set_version_flag("--version", std::string("korvex ") + korvex_version());

    auto* run = app.add_subcommand("run", "Play a host script on the simulated machine and write its trace");
    korvex::tool::RunCommand r;
    run->add_option("SCRIPT", r.script_path, "host script")->required();
    run->add_option("--trace", r.trace_path, "trace file ('-' for standard output, the default unless --marks - takes it)")
        ->check(korvex::tool::output_path(true));
    run->add_flag("--trace-time", r.trace_time, "prefix every trace line with the machine time in microseconds");
    run->add_flag("--real-time", r.real_time, "pace with the monotonic clock instead of the virtual one");
    run->add_option("--clock-hz", r.clock_hz, "virtual counter frequency in ticks per second (1 to 4294967295)")
        ->check(korvex::tool::in_range(1, 4294967295.0));
    korvex::tool::add_output_options(run, r.outputs);
    run->add_option("--head-steps-per-mm", r.outputs.picture.head_steps_per_mm,
                    "scale of the simulated head, D/A units per mm")->capture_default_str();

    auto* mark = app.add_subcommand("mark", "Mark a vector file (md numbers) on the simulated machine and draw it");
    korvex::tool::MarkCommand m;
    mark->add_option("FILE", m.input, "vector file: the md array as numbers, '#' comments")->required();
    korvex::tool::add_mark_parameter_options(mark, m.params);
    mark->add_option("--grid", m.grid_folder, "library folder holding the grid file grid_data.dat (default: no grid)");
    mark->add_flag("--real-time", m.real_time, "pace with the monotonic clock instead of the virtual one");
    korvex::tool::add_card_options(mark, m.card);
    korvex::tool::add_output_options(mark, m.outputs);
    mark->add_option("--head-steps-per-mm", m.head_steps_per_mm,
                     "scale of the simulated head, D/A units per mm (default: 1000 / step size)");

    auto* controller = app.add_subcommand("controller", "Run an emulated stand-alone controller behind a pseudo-terminal");
    korvex::tool::ControllerCommand k;
    controller->add_option("OPTIONS", k.options, "emulator options (silent, late=US, reply=HEX, drop-at-page=N, ...)");
    controller->add_flag("--no-throttle", [&k](int64_t) { k.throttle = false; }, "answer at once instead of at 115 200 baud");
    controller->add_option("--marks", k.marks_path, "write what the stored jobs marked (controller steps) when stopped")
        ->check(korvex::tool::output_path(true));

    auto* tmpl = app.add_subcommand("template", "Look at ear-tag marking templates");
    tmpl->require_subcommand(1);
    auto* tmpl_show = tmpl->add_subcommand("show", "Print a template's pens, hardware values, zones and cells");
    std::string template_base;
    tmpl_show->add_option("BASE", template_base, "template base path (BASE.mc1 and BASE.nam)")->required();

    const korvex::tool::ToolCommand commands[] = {
        korvex::tool::add_eartag_command(app), korvex::tool::add_text_command(app),
        korvex::tool::add_plot_command(app),   korvex::tool::add_fonts_command(app),
        korvex::tool::add_fontc_command(app),  korvex::tool::add_probe_command(app),
        korvex::tool::add_latency_command(app), korvex::tool::add_station_command(app),
        korvex::tool::add_calibrate_command(app),
    };

    if (const auto status = korvex::tool::parse_command_line(app, argc, argv, std::cout, std::cerr)) return *status;
    std::string name = "korvex";
    for (const CLI::App* sub = &app; !sub->get_subcommands().empty();) {
        sub = sub->get_subcommands().front();
        name += " " + sub->get_name();
    }
    return korvex::tool::run_guarded(name, std::cerr, [&] {
        for (const auto& c : commands)
            if (*c.sub) return c.run();
        if (*run) return korvex::tool::run_script_command(r, std::cout, std::cerr);
        if (*mark) return korvex::tool::run_mark_command(m, std::cout, std::cerr);
        if (*controller) return korvex::tool::run_controller_command(k, std::cout, std::cerr);
        if (*tmpl_show) return korvex::template_show(template_base, std::cout, std::cerr);
        return 0;
    });
}
