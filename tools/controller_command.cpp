// The pseudo-terminal controller: option parsing, signal-driven stop, and the closing report.
#include "controller_command.hpp"

#include <atomic>
#include <csignal>
#include <ostream>
#include <stdexcept>

#include "output_options.hpp"
#include "sim/sim.hpp"

namespace korvex::tool {

namespace {
std::atomic<bool> g_stop{false};
extern "C" void on_stop_signal(int) { g_stop.store(true); }
}  // namespace

int run_controller_command(const ControllerCommand& c, std::ostream& out, std::ostream& err) {
    ControllerOptions options;
    std::string error;
    if (!parse_controller_options(c.options, options, error)) {
        err << "korvex controller: " << error << "\n";
        return 2;
    }
    EmulatedController controller(options);
    try {
        ControllerPty pty(controller, c.throttle);
        g_stop.store(false);
        std::signal(SIGINT, on_stop_signal);
        std::signal(SIGTERM, on_stop_signal);
        out << pty.device_path() << std::endl;
        pty.serve(g_stop);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    } catch (const std::runtime_error& e) {
        err << "korvex controller: " << e.what() << "\n";
        return 2;
    }
    err << "korvex controller: " << controller.replies() << " replies, " << controller.pages_received() << " pages, "
        << controller.runs() << " runs, " << controller.job_errors() << " job errors, "
        << controller.marks().all().size() << " marks" << (controller.hung_up() ? ", hung up" : "") << "\n";
    if (!c.marks_path.empty() &&
        !write_text_output(c.marks_path, "marks file", out, err, "korvex controller",
                           [&](std::ostream& stream) { write_marks(stream, controller.marks()); }))
        return 1;
    return 0;
}

}  // namespace korvex::tool
