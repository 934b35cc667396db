// The korvex tool's two job commands on the simulated machine: `korvex mark FILE` (mark a vector
// file through a korvex_dll with default parameters) and `korvex run SCRIPT` (play a host script),
// with what both write afterwards: the marks text, the pictures and the summary line.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "job_interrupt.hpp"
#include "korvex/korvex_dll.hpp"
#include "mark_picture.hpp"
#include "platform/simulated_machine.hpp"

namespace korvex::tool {

// Puts the thread's default backends back when the machine they point into goes away.
struct PlatformReset {
    ~PlatformReset() { set_platform(Platform{}); }
};

// What a job writes once it has run. Empty paths write nothing; "-" is standard output.
struct JobOutputs {
    std::string marks_path;
    bool marks_time = false;  // prefix every mark with its machine time
    std::string png_path, svg_path, pdf_path;
    PictureOptions picture;   // head scale, spot width, field, jumps
};

// True when the outputs name at least one file (or standard output).
bool names_output(const JobOutputs& outputs);

// Writes the marks and pictures the outputs name. A file that cannot be written is reported on err
// and makes the result false; the other outputs are still written.
bool write_job_outputs(SimulatedMachine& machine, const JobOutputs& outputs, std::ostream& out, std::ostream& err);

// The summary line of the job at the head's scale; its machine time counts from start_us (the
// monotonic clock does not start at 0).
std::string job_summary(const SimulatedMachine& machine, double head_steps_per_mm, double start_us);

// Marking parameters of `korvex mark` (the arguments of Marking_para that matter in direct mode).
struct MarkParameters {
    float mark_speed_mm_s = 1000.0f;
    float jump_speed_mm_s = 3000.0f;
    int32_t on_delay_us = 100;   // before the gate opens
    int32_t on_hold_us = 50;     // after it opened
    int32_t off_delay_us = 100;  // before it closes
    int32_t off_hold_us = 50;    // after it closed
    double step_um = 10.0;       // D/A step size: 1000 / step_um steps per mm
    int32_t settle_us = 100;     // upper bound of the wait after a vector
};

// False, with the reason on err (each line starting with `command`), for a step size or speeds the
// machine cannot run with.
bool check_mark_parameters(const MarkParameters& params, const std::string& command, std::ostream& err);

struct MarkReport {
    bool completed = false;    // every call returned (Marking_data returned 1)
    bool interrupted = false;  // SIGINT held Shift during a call
    std::string failure;       // the call that faulted and why, when one did
};

// Brings the simulated machine up (Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1, Marking_para,
// marking_start) through a korvex_dll, then runs `job` as one more library call named `job_name`
// (its faults, the library's messages and an interrupt reported the same way, each
// line starting with `command`). The report is completed when the job returned true.
MarkReport run_marking_job(SimulatedMachine& machine, const MarkParameters& params, JobInterrupt* interrupt,
                           std::ostream& err, const std::string& command, const char* job_name,
                           const std::function<bool(korvex_dll&)>& job);

// Brings the machine up as above and marks md with Marking_data. The thread's platform must already
// be the machine's. Messages the library shows and failures go to err; with progress set, a line
// every progress_interval_s seconds of wall time while Marking_data runs.
MarkReport mark_drawing(SimulatedMachine& machine, std::vector<double>& md, const MarkParameters& params,
                        JobInterrupt* interrupt, std::ostream& err, std::ostream* progress = nullptr,
                        double progress_interval_s = 2.0);

struct MarkCommand {
    std::string input;
    MarkParameters params;
    std::string grid_folder;  // library folder holding the grid file; empty: mark without a grid
    bool real_time = false;
    double head_steps_per_mm = 0.0;  // 0: 1000 / step_um, the library's own scale when it is right
    JobOutputs outputs;              // no output named: a PNG beside the input
};

// `korvex mark`: 0 when the drawing was marked and written, 1 when a call faulted or an output
// could not be written, 2 for an unreadable input or bad options, 130 when interrupted.
int run_mark_command(MarkCommand command, std::ostream& out, std::ostream& err);

struct RunCommand {
    std::string script_path;
    std::string trace_path;  // "-": standard output; empty: standard output unless the marks go there
    bool trace_time = false;
    bool real_time = false;
    uint64_t clock_hz = 10'000'000;
    JobOutputs outputs;  // head scale 100 D/A units per mm unless set
};

// `korvex run`: plays the script (stopping after a call that SIGINT interrupted), writes the trace,
// the outputs and the summary. 0, 1 (an output could not be written), 2 (unreadable script), 130.
int run_script_command(const RunCommand& command, std::ostream& out, std::ostream& err);

// "drawing.md" -> "drawing.png"; a name without an extension gets ".png" added.
std::string png_beside(const std::string& input);

}  // namespace korvex::tool
