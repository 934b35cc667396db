// The link over the real serial path: `korvex controller` behind a pseudo-terminal gives the same
// serial bytes as the in-process emulator for the same job, and a controller that hangs up in the
// middle of a download ends the call within the time-outs.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "korvex/korvex_dll.hpp"
#include "sim/emulated_controller_pty.hpp"
#include "test_link_fixture.hpp"

namespace {

// `korvex controller` as a child process; stopped (SIGTERM) and reaped when it goes out of scope.
class ControllerProcess {
public:
    explicit ControllerProcess(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            std::vector<char*> argv{const_cast<char*>(KORVEX_CLI), const_cast<char*>("controller")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(KORVEX_CLI, argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~ControllerProcess() { stop(); }
    // The first line it prints: the device path (empty after 5 s without one).
    std::string device_path() {
        std::string line;
        char c;
        while (line.empty() || line.back() != '\n') {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0 || read(out_, &c, 1) != 1) return "";
            line += c;
        }
        line.pop_back();
        return line;
    }
    int stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        close(out_);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
};

// The host's side of the example job: init on port 1, pack, file for head 0, download as the only
// file of a set. Returns Marking_end's result.
int16_t download_example(korvex_dll& host) {
    host.Marking_init_pci(0, 0, 1, 0, 0, {0x81, 0, 0, 0}, 0);
    host.Marking_para(1000, 3000, 100, 200, 300, 400, 10, 50, 20, 100, 300);
    host.marking_start();
    std::vector<double> md{3, 0, 0, 5, 0, 5, 5, 0};
    host.Marking_data(md);
    std::vector<double> none{0};
    host.Marking_end(0, 0, 0, 0, 0, none);
    return host.Marking_end(0, 1, 3, 1, -1, none);
}

}  // namespace

TEST_F(LinkTest, KorvexControllerOnAPseudoTerminalGivesTheSameBytesAsTheInProcessEmulator) {
    emulator(1);
    {
        korvex_dll host;
        ASSERT_EQ(download_example(host), 1);
    }
    const Lines in_process = link_lines();

    const std::string marks_path =
        (std::filesystem::temp_directory_path() / ("korvex-link-marks-" + std::to_string(getpid()))).string();
    ControllerProcess controller({"--no-throttle", "--marks", marks_path});
    const std::string device = controller.device_path();
    ASSERT_FALSE(device.empty());
    korvex::testing::reset_thread_state();
    machine.trace().clear();
    machine.serial().attach_device(1, device);
    korvex::set_platform(machine.platform());
    const auto t0 = std::chrono::steady_clock::now();
    {
        korvex_dll host;
        ASSERT_EQ(download_example(host), 1);
    }
    // Seven exchanges, each read at the first 10 ms check of the wall clock.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(70));
    EXPECT_EQ(link_lines(), in_process);
    EXPECT_EQ(controller.stop(), 0);
    std::ifstream marks(marks_path);
    std::stringstream text;
    text << marks.rdbuf();
    EXPECT_EQ(text.str(), "line 0 0 500 0\nline 500 0 500 500\njump 500 500 0 0\n");
    std::filesystem::remove(marks_path);
}

TEST_F(LinkTest, AControllerThatHangsUpMidDownloadEndsTheCallWithinTheTimeouts) {
    korvex::ControllerOptions options;
    std::string error;
    ASSERT_TRUE(korvex::parse_controller_options({"drop-at-page=2", "hang-up"}, options, error));
    korvex::EmulatedController controller(options);
    korvex::ControllerPty pty(controller, false);
    std::atomic<bool> stop{false};
    std::thread server([&] { pty.serve(stop); });
    machine.serial().attach_device(1, pty.device_path());
    korvex::set_platform(machine.platform());

    const auto t0 = std::chrono::steady_clock::now();
    int16_t result = -7;
    std::string fault;
    {
        korvex_dll host;
        try {
            result = download_example(host);
        } catch (const korvex::Fault& f) {
            fault = korvex::fault_kind_name(f.kind());
        }
    }
    const auto waited = std::chrono::steady_clock::now() - t0;
    stop = true;
    server.join();
    EXPECT_TRUE(pty.hung_up());
    EXPECT_LT(waited, std::chrono::seconds(3));
    // The dead line fails the call (its received count cannot be read); nothing is reported done
    // and nothing goes out after the page that went unanswered.
    EXPECT_EQ(fault, "device");
    EXPECT_EQ(result, -7);
    EXPECT_EQ(sent(0).size(), 3u);  // command, information page, head parameter page
    EXPECT_EQ(state().link.lngCtrlState, 0);
}
