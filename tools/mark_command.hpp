// The korvex tool's two job commands on the simulated machine: `korvex mark FILE` (mark a vector
// file through a korvex_dll with default parameters) and `korvex run SCRIPT` (play a host script),
// with what both write afterwards: the marks text, the pictures and the summary line.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "card_options.hpp"
#include "job_interrupt.hpp"
#include "library_call.hpp"
#include "korvex/fault.hpp"
#include "korvex/korvex_dll.hpp"
#include "picture/picture.hpp"
#include "sim/sim.hpp"

namespace korvex::tool {

// What a job writes once it has run. Empty paths write nothing; "-" is standard output.
struct JobOutputs {
    std::string marks_path;
    bool marks_time = false;  // prefix every mark with its machine time
    std::string png_path, svg_path, pdf_path;
    PictureOptions picture;   // head scale, spot width, field, jumps
};

// Writes the marks and pictures the outputs name. A file that cannot be written is reported on err
// and makes the result false; the other outputs are still written.
bool write_job_outputs(SimulatedMachine& machine, const JobOutputs& outputs, std::ostream& out, std::ostream& err);

// The job on the machine's clock: from the start of its first member call to the end of its last,
// so neither setting up the machine nor writing the outputs counts as machine time.
struct JobSpan {
    double start_us = -1.0, end_us = -1.0;  // -1: no call yet

    void call_started(double now_us) {
        if (start_us < 0.0) start_us = now_us;
    }
    void call_ended(double now_us) { end_us = now_us; }
    double length_us() const { return start_us < 0.0 || end_us < start_us ? 0.0 : end_us - start_us; }
};

// The summary line of the job at the head's scale, with the job's machine time. On the monotonic
// clock (real_time) it also gives how long the marked vectors took against the time their length
// plans at the library's marking speed and scale.
std::string job_summary(const SimulatedMachine& machine, double head_steps_per_mm, const JobSpan& span, bool real_time);

struct MarkReport {
    bool completed = false;    // every call returned (Marking_data returned 1)
    bool interrupted = false;  // SIGINT held Shift during a call
    std::string failure;       // the call that faulted and why, when one did
    JobSpan span;              // of the calls made
    std::string stop;          // after an interrupt: when the stop took effect, what was marked
};

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


// The library calls of one job on the simulated machine: each under the SIGINT guard (Shift held
// while SIGINT came during it), its fault recorded and reported on err, the message boxes the
// library showed passed on to err, all prefixed with the tool's name.
class JobCalls {
public:
    JobCalls(SimulatedMachine& machine, JobInterrupt* interrupt, std::ostream& err, std::string tool);
    ~JobCalls();
    JobCalls(const JobCalls&) = delete;
    JobCalls& operator=(const JobCalls&) = delete;

    // Runs one call; false when the job must not go on (a fault, or an interrupt).
    bool call(const char* name, const std::function<void()>& member);

    MarkReport report;

private:
    SimulatedMachine& machine_;
    LibraryCaller caller_;  // after report: it writes into report
};

// Brings the simulated machine up through `dll`: Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1,
// Marking_para with the parameters, marking_start. False when a call failed or was interrupted.
bool bring_up(JobCalls& calls, korvex_dll& dll, const MarkParameters& params);
// Marking_para with the parameters, then marking_start (the last two calls of bring_up).
bool set_parameters(JobCalls& calls, korvex_dll& dll, const MarkParameters& params);

// Brings the simulated machine up through a korvex_dll (Marking_init_pci 128 0 0 1 0 [0,0,0,0] 1,
// Marking_para, marking_start) and marks md with Marking_data. The thread's platform must already
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
    CardChoice card;
};

// Checks a job command's parameters and fills in the defaults of its outputs: head scale 1000 /
// step size, a PNG beside the input when no output is named, the input as caption. False (with a
// message on err) when something is wrong.
bool prepare_job(const std::string& tool, const std::string& input, const MarkParameters& params,
                 double& head_steps_per_mm, JobOutputs& outputs, std::ostream& err);

struct MachineJobSetup {
    bool real_time = false;
    std::string library_folder;  // holding the grid file; empty: mark without a grid
    double head_steps_per_mm = 0.0;
    JobOutputs outputs;
    CardChoice card;  // the real card: the job drives it on the monotonic clock, no pictures
};

// Runs a job on a fresh simulated machine (the thread's platform while it runs) under a SIGINT
// guard, then writes the outputs and the summary line. With the real card chosen, the job drives
// that card instead (the simulated machine keeps only the operator side) and writes no outputs. 0 when the job completed and everything was
// written, 1 when a call faulted or an output could not be written, 130 when interrupted.
int run_machine_job(const std::string& tool, const MachineJobSetup& setup,
                    const std::function<MarkReport(SimulatedMachine&, JobInterrupt&)>& job, std::ostream& out,
                    std::ostream& err);

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

// v with `decimals` digits after the point, for the tools' reports.
std::string format_number(double v, int decimals);

// Puts the thread's default backends (and the simulated card as the chosen one) back when the
// simulated machine they point into goes away.
// Makes the thread drive the real card on the monotonic clock, keeping the simulated machine's
// operator side, and opens the card once to say at the start whether it is there.
bool use_real_card(SimulatedMachine& machine, const std::string& tool, std::ostream& err);

struct PlatformReset {
    ~PlatformReset();
};

// "drawing.md" -> "drawing.png"; a name without an extension gets ".png" added.
std::string png_beside(const std::string& input);

}  // namespace korvex::tool
