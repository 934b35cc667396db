// `korvex mark` and `korvex run`: set up the simulated machine, make the library calls under the
// SIGINT guard, then write the marks, pictures and summary. Progress of a long `korvex mark` is
// reported from a card listener of the tool's own, never from library code.
#include "mark_command.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "core/output_file.hpp"
#include "core/regular_file.hpp"
#include "core/shown_input.hpp"
#include "host_script.hpp"
#include "host_script_runner.hpp"
#include "library_call.hpp"
#include "korvex/korvex_dll.hpp"
#include "korvex/machine_view.hpp"
#include "output_options.hpp"
#include "korvex/platform.hpp"
#include "platform/ch365_card.hpp"
#include "sim/sim.hpp"
#include "vector_file.hpp"

namespace korvex::tool {

namespace {

// A library folder under which no file can exist: marking without --grid has no grid to load,
// whatever the current directory holds.
constexpr const char* kNoGridFolder = "/dev/null";

// Largest host script read.
constexpr std::size_t kScriptMaxBytes = std::size_t{256} << 20;


// While Marking_data runs: a line on the progress stream every few seconds of wall time, checked
// every few thousand card writes so the clock is not read on every write.
class ProgressListener : public CardListener {
public:
    ProgressListener(SimulatedMachine& machine, const Drawing& drawing, double steps_per_mm, std::ostream& out,
                     double interval_s, double start_us, const std::atomic<bool>* stop_flag)
        : machine_(machine), start_us_(start_us), drawing_(drawing), steps_per_mm_(steps_per_mm), out_(out),
          stop_flag_(stop_flag),
          interval_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(interval_s))),
          start_(std::chrono::steady_clock::now()), next_(start_ + interval_),
          openings_base_(machine.model().gate_openings()) {
        machine_.card().add_listener(this);
    }
    ~ProgressListener() override { machine_.card().remove_listener(this); }

private:
    void on_write(uint8_t, uint8_t, uint8_t) override {
        if (++writes_ % 4096 != 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now < next_) return;
        next_ = now + interval_;
        report(now);
    }
    void report(std::chrono::steady_clock::time_point now) {
        double marked_da = 0.0;
        machine_.model().recorder().for_each([&](const Mark& m) {
            if (m.kind == Mark::Kind::line) marked_da += m.length_da();
        });
        const double marked_mm = marked_da / steps_per_mm_;
        const uint64_t records = machine_.model().gate_openings() - openings_base_;
        std::string line = "korvex mark: record " + std::to_string(records) + " of " + std::to_string(drawing_.records) +
                           ", " + format_number(marked_mm, 1) + " of " + format_number(drawing_.marked_mm, 1) + " mm marked";
        if (drawing_.marked_mm > 0.0)
            line += " (" + format_number(std::min(100.0, 100.0 * marked_mm / drawing_.marked_mm), 0) + "%)";
        line += ", machine time " + format_number((machine_.now_us() - start_us_) / 1e6, 2) + " s, wall " +
                format_number(std::chrono::duration<double>(now - start_).count(), 0) + " s";
        if (stop_flag_ && stop_flag_->load(std::memory_order_relaxed))
            line += "; stop requested, the machine stops when this record's line ends";
        out_ << line << std::endl;
    }

    SimulatedMachine& machine_;
    double start_us_;  // machine time when the job began
    const Drawing& drawing_;
    double steps_per_mm_;
    std::ostream& out_;
    const std::atomic<bool>* stop_flag_;  // Shift held by Ctrl-C; may be null
    std::chrono::steady_clock::duration interval_;
    std::chrono::steady_clock::time_point start_, next_;
    uint64_t openings_base_;
    uint64_t writes_ = 0;
};

bool names_output(const JobOutputs& o) {
    return !o.marks_path.empty() || !o.png_path.empty() || !o.svg_path.empty() || !o.pdf_path.empty();
}

// An output named (not standard output) must be a regular file or a new name in an existing folder,
// so nothing is marked for an output that cannot be written.
bool check_output(const std::string& tool, const std::string& path, const char* what, std::ostream& err) {
    if (path.empty() || path == "-") return true;
    try {
        Output_path_check(path, what);
    } catch (const Fault& f) {
        err << tool << ": " << f.what() << "\n";
        return false;
    }
    return true;
}

bool check_outputs(const std::string& tool, const JobOutputs& o, std::ostream& err) {
    try {
        check_picture_options(o.picture, !o.png_path.empty());
    } catch (const PictureError& e) {
        err << tool << ": " << e.what() << "\n";
        return false;
    }
    return check_output(tool, o.marks_path, "marks file", err) && check_output(tool, o.png_path, "picture", err) &&
           check_output(tool, o.svg_path, "picture", err) && check_output(tool, o.pdf_path, "picture", err);
}

}  // namespace

bool use_real_card(SimulatedMachine& machine, const std::string& tool, std::ostream& err) {
    select_card("real");
    Platform p = machine.platform();
    p.card = nullptr;
    p.clock = nullptr;
    set_platform(p);
    auto* card = dynamic_cast<Ch365Card*>(current_platform().card);
    if (card && card->open()) {
        err << tool << ": real card " << Shown_input(card->found().address) << " by " << access_name(card->access()) << "\n";
        return true;
    }
    err << tool << ": real card: " << Shown_input(card ? card->failure() : "not chosen", kShownMessageChars)
        << "; nothing was marked\n";
    return false;
}

std::string format_number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

PlatformReset::~PlatformReset() {
    set_platform(Platform{});
    select_card("simulated");
}

std::string png_beside(const std::string& input) {
    const std::size_t slash = input.find_last_of('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = input.find_last_of('.');
    if (dot == std::string::npos || dot <= base) return input + ".png";  // no extension (or a dot file)
    return input.substr(0, dot) + ".png";
}

std::string job_summary(const SimulatedMachine& machine, double head_steps_per_mm, const JobSpan& span, bool real_time) {
    MarkSummary summary = machine.summary(head_steps_per_mm);
    summary.machine_time_us = span.length_us();
    std::string line = format_summary(summary);
    const MachineReading machine_now = machine_reading();
    if (!real_time || summary.lines == 0 || !machine_now.exists) return line;
    // Planned: the marked length at the marking speed the library last set, on its own scale.
    const double da_per_us = machine_now.head_steps_per_mm * machine_now.mark_speed_mm_s / 1e6;
    if (!(da_per_us > 0.0)) return line;
    const double planned_us = summary.marked_da / da_per_us;
    return line + ", marked vectors " + format_number(summary.line_time_us, 1) + " us of " +
           format_number(planned_us, 1) + " us planned (x" + format_number(summary.line_time_us / planned_us, 3) + ")";
}

// What a picture shows: the card's marks, or, when the laser on the card marked nothing, the marks
// of the first emulated stand-alone controller that ran a job.
static const EmulatedController* marking_controller(SimulatedMachine& machine) {
    if (!machine.model().recorder().empty()) return nullptr;
    for (int16_t port : machine.serial().emulator_ports())
        if (!machine.serial().emulator(port)->marks().empty()) return machine.serial().emulator(port);
    return nullptr;
}
static const MarkRecorder& picture_marks(SimulatedMachine& machine) {
    const EmulatedController* c = marking_controller(machine);
    return c ? c->marks() : machine.model().recorder();
}
// A controller step is the step size of the job it ran (su micrometres), so the picture of its
// marks is drawn at 1000 / su steps per millimetre.
// The card's marks land through the machine's head (a distorted one, when a script or an option
// switched it on).
static PictureOptions picture_options(SimulatedMachine& machine, PictureOptions o) {
    const double su_um = machine_reading().step_um;
    if (marking_controller(machine) && su_um > 0.0) o.head_steps_per_mm = 1000.0 / su_um;
    o.head = marking_controller(machine) ? HeadDistortion{} : machine.model().head();
    return o;
}

bool write_job_outputs(SimulatedMachine& machine, const JobOutputs& o, std::ostream& out, std::ostream& err) {
    bool ok = true;
    // The card's marks, then what each emulated stand-alone controller marked when it ran its jobs
    // (in controller steps), each under a comment line naming its port.
    const auto write_all_marks = [&](std::ostream& stream) {
        const HeadDistortion& head = machine.model().head();
        if (head.on) write_landed_marks(stream, machine.model().recorder(), head, o.picture.head_steps_per_mm, o.marks_time);
        else machine.write_marks(stream, o.marks_time);
        for (int16_t port : machine.serial().emulator_ports()) {
            const MarkRecorder& marks = machine.serial().emulator(port)->marks();
            if (marks.empty()) continue;
            stream << "# controller on port " << port << ", controller steps\n";
            write_marks(stream, marks, o.marks_time);
        }
    };
    if (!o.marks_path.empty()) {
        ok = write_text_output(o.marks_path, "marks file", out, err, "korvex", write_all_marks);
        if (ok && o.marks_path != "-") err << "korvex: marks written to " << Shown_input(o.marks_path, kShownPathChars) << "\n";
    }
    const std::pair<const std::string*, PictureFormat> pictures[] = {
        {&o.png_path, PictureFormat::png}, {&o.svg_path, PictureFormat::svg}, {&o.pdf_path, PictureFormat::pdf}};
    for (const auto& [path, format] : pictures) {
        if (path->empty()) continue;
        try {
            write_picture(picture_marks(machine), format, *path, picture_options(machine, o.picture));
            err << "korvex: picture written to " << Shown_input(*path, kShownPathChars) << "\n";
        } catch (const PictureError& e) {
            err << "korvex: " << Shown_input(e.what(), kShownMessageChars) << "\n";
            ok = false;
        }
    }
    return ok;
}

JobCalls::JobCalls(SimulatedMachine& machine, JobInterrupt* interrupt, std::ostream& err, std::string tool)
    : machine_(machine), caller_(machine, interrupt, err, std::move(tool), report.failure, report.interrupted, report.stop) {
    if (interrupt) machine_.ui().set_shift_source(interrupt->shift_flag());
}

JobCalls::~JobCalls() { machine_.ui().set_shift_source(nullptr); }

bool JobCalls::call(const char* name, const std::function<void()>& member) {
    report.span.call_started(machine_.now_us());
    const bool go_on = caller_(name, member);
    report.span.call_ended(machine_.now_us());
    return go_on;
}

bool set_parameters(JobCalls& calls, korvex_dll& dll, const MarkParameters& p) {
    return calls.call("Marking_para", [&] {
               dll.Marking_para(p.mark_speed_mm_s, p.jump_speed_mm_s, p.off_delay_us, p.off_hold_us, p.on_delay_us,
                                p.on_hold_us, p.step_um, 50.0f, 20.0f, 100.0f, p.settle_us);
           }) &&
           calls.call("marking_start", [&] { dll.marking_start(); });
}

bool bring_up(JobCalls& calls, korvex_dll& dll, const MarkParameters& p) {
    return calls.call("Marking_init_pci", [&] { dll.Marking_init_pci(128, 0, 0, 1, 0, std::vector<uint8_t>{0, 0, 0, 0}, 1); }) &&
           set_parameters(calls, dll, p);
}

MarkReport mark_drawing(SimulatedMachine& machine, std::vector<double>& md, const MarkParameters& p,
                        JobInterrupt* interrupt, std::ostream& err, std::ostream* progress, double progress_interval_s) {
    const double start_us = machine.now_us();  // progress lines count from here
    JobCalls calls(machine, interrupt, err, "korvex mark");
    korvex_dll dll;
    if (!bring_up(calls, dll, p)) return calls.report;
    int16_t result = 0;
    {
        const Drawing drawing = describe_drawing(md);
        const uint64_t openings_before = machine.model().gate_openings();
        std::unique_ptr<ProgressListener> listener;
        if (progress && p.step_um > 0.0)
            listener = std::make_unique<ProgressListener>(machine, drawing, 1000.0 / p.step_um, *progress, progress_interval_s,
                                                          start_us, interrupt ? interrupt->shift_flag() : nullptr);
        calls.call("Marking_data", [&] { result = dll.Marking_data(md); });
        // What was marked: every record opens the gate once; none opens it after the stop.
        if (calls.report.interrupted)
            calls.report.stop += "; records marked: " + std::to_string(machine.model().gate_openings() - openings_before) +
                                 " of " + std::to_string(drawing.records);
    }
    calls.report.completed = result == 1;  // also after an interrupt: the member walks the array and returns 1
    return calls.report;
}

bool prepare_job(const std::string& tool, const std::string& input, const MarkParameters& p, double& head_steps_per_mm,
                 JobOutputs& outputs, std::ostream& err) {
    if (!(std::isfinite(p.step_um) && p.step_um > 0.0)) {
        err << tool << ": --step-um must be a positive number of micrometres\n";
        return false;
    }
    if (!(std::isfinite(p.mark_speed_mm_s) && p.mark_speed_mm_s > 0.0f) ||
        !(std::isfinite(p.jump_speed_mm_s) && p.jump_speed_mm_s >= 0.0f)) {
        err << tool << ": the marking speed must be positive and the jump speed 0 (one-move jumps) or more\n";
        return false;
    }
    if (head_steps_per_mm == 0.0) head_steps_per_mm = 1000.0 / p.step_um;
    outputs.picture.head_steps_per_mm = head_steps_per_mm;
    if (!names_output(outputs)) outputs.png_path = png_beside(input);
    if (outputs.picture.caption.empty()) outputs.picture.caption = input;
    return check_outputs(tool, outputs, err);
}

int run_machine_job(const std::string& tool, const MachineJobSetup& setup,
                    const std::function<MarkReport(SimulatedMachine&, JobInterrupt&)>& job, std::ostream& out,
                    std::ostream& err) {
    SimulatedMachine::Options opts;
    opts.real_time = setup.real_time;
    opts.trace = false;
    SimulatedMachine machine(opts);
    machine.model().set_head(setup.outputs.picture.head);
    machine.set_library_folder(setup.library_folder.empty() ? kNoGridFolder : setup.library_folder);
    PlatformReset platform_reset;
    set_platform(machine.platform());
    if (setup.card.real() && !use_real_card(machine, tool, err)) return 1;

    MarkReport report;
    {
        const auto rt = enter_real_time(setup.card, tool, err);
        JobInterrupt interrupt;
        report = job(machine, interrupt);
    }
    if (report.interrupted) err << tool << ": " << report.stop << "\n";
    if (setup.card.real()) {
        err << tool << ": marked on the real card; the simulated machine saw nothing, so there are no pictures\n";
        if (report.interrupted) return 130;
        return report.failure.empty() && report.completed ? 0 : 1;
    }

    const bool written = write_job_outputs(machine, setup.outputs, out, err);
    (setup.outputs.marks_path == "-" ? err : out)
        << job_summary(machine, setup.head_steps_per_mm, report.span, setup.real_time) << std::endl;
    if (report.interrupted) return 130;
    if (!report.failure.empty() || !written) return 1;
    return report.completed ? 0 : 1;
}

int run_mark_command(MarkCommand c, std::ostream& out, std::ostream& err) {
    if (!prepare_job("korvex mark", c.input, c.params, c.head_steps_per_mm, c.outputs, err)) return 2;
    std::vector<double> md;
    try {
        md = read_vector_file(c.input);
    } catch (const VectorFileError& e) {
        err << "korvex mark: " << Shown_input(e.what(), kShownMessageChars) << "\n";
        return 2;
    }
    const Drawing drawing = describe_drawing(md);
    if (!drawing.complete) {
        err << "korvex mark: " << Shown_input(c.input, kShownPathChars) << ": " << drawing.problem << "; nothing was marked\n";
        return 2;
    }
    err << "korvex mark: " << Shown_input(c.input, kShownPathChars) << ": " << drawing.records << " records, " << drawing.segments << " segments, "
        << drawing.dots.size() << " dots, " << format_number(drawing.marked_mm, 1) << " mm of lines\n";
    const MachineJobSetup setup{c.real_time, c.grid_folder, c.head_steps_per_mm, c.outputs, c.card};
    return run_machine_job("korvex mark", setup, [&](SimulatedMachine& machine, JobInterrupt& interrupt) {
        return mark_drawing(machine, md, c.params, &interrupt, err, &err);
    }, out, err);
}

int run_script_command(const RunCommand& c, std::ostream& out, std::ostream& err) {
    const bool marks_to_stdout = c.outputs.marks_path == "-";
    if (marks_to_stdout && c.trace_path == "-") {
        err << "korvex run: the trace and the marks cannot both go to standard output\n";
        return 2;
    }
    // Standard output carries the trace unless the marks take it.
    const std::string trace_path = !c.trace_path.empty() ? c.trace_path : marks_to_stdout ? "" : "-";
    // The machine reads the counter's frequency as 32 bits: a faster counter would look slow or
    // stopped to every member.
    if (c.clock_hz < 1 || c.clock_hz > UINT32_MAX) {
        err << "korvex run: --clock-hz " << c.clock_hz << " is out of range: 1 to 4294967295 ticks per second\n";
        return 2;
    }
    if (!check_outputs("korvex run", c.outputs, err) || !check_output("korvex run", trace_path, "trace", err)) return 2;
    std::string text;
    try {
        text = Regular_file_read(c.script_path, kScriptMaxBytes, "script");
    } catch (const Fault& f) {
        err << "korvex run: " << f.what() << "\n";
        return 2;
    }
    std::vector<script::Statement> statements;
    try {
        statements = script::parse_script(text);
    } catch (const script::ScriptError& e) {
        err << Shown_input(c.script_path, kShownPathChars) << ": " << Shown_input(e.what(), kShownMessageChars)
            << " (nothing was run)\n";
        return 2;
    }

    SimulatedMachine::Options opts;
    opts.real_time = c.real_time;
    opts.clock_hz = c.clock_hz;
    SimulatedMachine machine(opts);
    machine.model().set_head(c.outputs.picture.head);  // until the script's own @head
    PlatformReset platform_reset;
    bool interrupted = false;
    JobSpan span;
    {
        script::ScriptRunner runner(machine);
        JobInterrupt interrupt;
        machine.ui().set_shift_source(interrupt.shift_flag());
        for (const script::Statement& st : statements) {
            const bool member = st.kind == script::Statement::Kind::call ||
                                st.kind == script::Statement::Kind::property_set ||
                                st.kind == script::Statement::Kind::property_get;
            if (member) span.call_started(machine.now_us());
            {
                JobInterrupt::Call scope(&interrupt);
                runner.run_one(st);
            }
            if (member) span.call_ended(machine.now_us());
            if (interrupt.interrupted()) {
                err << "korvex run: interrupted at line " << st.line << (st.name.empty() ? "" : " (" + st.name + ")")
                    << "; the rest of the script was not played\n";
                interrupted = true;
                break;
            }
        }
        machine.ui().set_shift_source(nullptr);
    }

    bool written = trace_path.empty() ||
                   write_text_output(trace_path, "trace", out, err, "korvex run",
                                     [&](std::ostream& stream) { machine.trace().write(stream, c.trace_time); });
    written = write_job_outputs(machine, c.outputs, out, err) && written;
    (trace_path == "-" || marks_to_stdout ? err : out) << job_summary(machine, c.outputs.picture.head_steps_per_mm, span, c.real_time)
                                                       << std::endl;
    if (interrupted) return 130;
    return written ? 0 : 1;
}

}  // namespace korvex::tool
