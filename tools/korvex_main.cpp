// The korvex command-line program: `korvex run SCRIPT` plays a host script on the simulated machine
// and writes the trace of everything the machine saw.
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

#include "host_script.hpp"
#include "host_script_runner.hpp"
#include "template_show.hpp"

namespace {

int run_script(const std::string& path, const std::string& trace_path, bool trace_time, bool real_time, uint64_t clock_hz) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "korvex run: cannot open " << path << "\n";
        return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<korvex::script::Statement> script;
    try {
        script = korvex::script::parse_script(text.str());
    } catch (const korvex::script::ScriptError& e) {
        std::cerr << path << ": " << e.what() << " (nothing was run)\n";
        return 2;
    }
    korvex::SimulatedMachine::Options opts;
    opts.real_time = real_time;
    opts.clock_hz = clock_hz;
    korvex::SimulatedMachine machine(opts);
    {
        korvex::script::ScriptRunner runner(machine);
        runner.run(script);
    }
    if (trace_path == "-") {
        machine.trace().write(std::cout, trace_time);
    } else {
        std::ofstream out(trace_path);
        if (!out) {
            std::cerr << "korvex run: cannot write " << trace_path << "\n";
            return 1;
        }
        machine.trace().write(out, trace_time);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"korvex: drive a galvanometer laser marking machine, or its simulation"};
    app.require_subcommand(1);

    auto* run = app.add_subcommand("run", "Play a host script on the simulated machine and write its trace");
    std::string script_path, trace_path = "-";
    bool trace_time = false, real_time = false;
    uint64_t clock_hz = 10'000'000;
    run->add_option("SCRIPT", script_path, "host script")->required();
    run->add_option("--trace", trace_path, "trace file ('-' for standard output, the default)");
    run->add_flag("--trace-time", trace_time, "prefix every trace line with the machine time in microseconds");
    run->add_flag("--real-time", real_time, "pace with the monotonic clock instead of the virtual one");
    run->add_option("--clock-hz", clock_hz, "virtual counter frequency in ticks per second")->check(CLI::PositiveNumber);

    auto* tmpl = app.add_subcommand("template", "Look at ear-tag marking templates");
    tmpl->require_subcommand(1);
    auto* tmpl_show = tmpl->add_subcommand("show", "Print a template's pens, hardware values, zones and cells");
    std::string template_base;
    tmpl_show->add_option("BASE", template_base, "template base path (BASE.mc1 and BASE.nam)")->required();

    CLI11_PARSE(app, argc, argv);
    if (*run) return run_script(script_path, trace_path, trace_time, real_time, clock_hz);
    if (*tmpl_show) return korvex::tool::template_show(template_base, std::cout, std::cerr);
    return 0;
}
