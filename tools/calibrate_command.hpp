// korvex calibrate: making the field correction at a station. `calibrate pattern` marks the test
// pattern through the library (with the correction now in force: none, a grid file, or a
// template's coefficient model) and writes its node table pattern.csv; on the simulated machine it
// can also write a flatbed scan of the marked plate. `calibrate solve` measures the marked pattern
// in a scan (or takes measured coordinates), writes the grid file the library reads and the report.
#pragma once

#include <iosfwd>
#include <string>

#include "calibration/pattern.hpp"
#include "card_options.hpp"
#include "mark_command.hpp"
#include "picture/scan_render.hpp"

namespace korvex::tool {

struct CalibratePatternCommand {
    std::string out_folder = ".";     // pattern.csv goes here (and pattern.png when no output is named)
    int nodes = 21;
    double dot_mm = 0.0;              // 0: a quarter pitch
    MarkParameters params;            // step_um 0: the field fills +-30000 D/A steps
    std::string grid;                 // a grid file, or a library folder holding grid_data.dat
    std::string template_base;        // a template whose coefficient model is in force
    double head_steps_per_mm = 0.0;   // 0: 1000 / step size
    JobOutputs outputs;               // --field-mm is the pattern's field
    bool real_time = false;
    CardChoice card;
    std::string scan_path;            // a simulated flatbed scan of the marked plate
    ScanLook scan;
};

struct CalibrateSolveCommand {
    std::string scan_path;
    double dpi = 0.0;
    std::string measured_path;        // instead of a scan
    std::string pattern_path = "pattern.csv";
    std::string grid_path;            // the grid file to write
    std::string report_folder;
    std::string fit;                  // "coefficients": also fit the template's coefficient model
    std::string template_base;        // the template to fit (default: the one in force when marked)
    std::string coefficients_path;    // default: coefficients.txt in the report folder (or beside the pattern)
    double step_um = 0.0;             // when the pattern file does not say
    double tolerance_um = 30.0;
};

// Marks the pattern's drawing (pattern_drawing) through a korvex_dll, as a host does, on the
// thread's platform: Marking_init_pci, Marking_para, marking_start; with a template in force
// e_setPrintInfo and Marking_para, marking_start again; then Marking_data.
MarkReport mark_pattern(SimulatedMachine& machine, JobInterrupt* interrupt, std::vector<double>& drawing,
                        const MarkParameters& params, const std::string& template_base, std::ostream& err);

// 0 done, 1 a call faulted or an output could not be written, 2 bad options, 130 interrupted.
int run_calibrate_pattern(CalibratePatternCommand command, std::ostream& out, std::ostream& err);
// 0 PASS or CORRECTED, 1 FAIL or LIMITED, 2 refused or bad input (nothing written).
int run_calibrate_solve(const CalibrateSolveCommand& command, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
