// ControllerPty: an emulated controller behind a pseudo-terminal, so a host opens it like any serial
// device (the real termios path). It answers in wall time; throttled, it answers when its replies
// would have crossed a line of the controller's baud rate (the host's bytes are taken to arrive at
// that rate too), so a transfer takes as long as on a real line.
#pragma once

#include <atomic>
#include <string>

#include "sim/emulated_controller.hpp"

namespace korvex {

class ControllerPty {
public:
    // Opens the pseudo-terminal; throws std::runtime_error when the system has none to give.
    ControllerPty(EmulatedController& controller, bool throttle);
    ~ControllerPty();
    ControllerPty(const ControllerPty&) = delete;
    ControllerPty& operator=(const ControllerPty&) = delete;

    // The device the host opens (/dev/pts/N).
    const std::string& device_path() const { return path_; }
    // Serves the line until `stop` becomes true, or the controller hangs the line up.
    void serve(const std::atomic<bool>& stop);
    // Hangs the line up: the host's reads find nothing, its writes fail.
    void hang_up();
    bool hung_up() const { return master_ < 0; }

private:
    double now_us() const;

    EmulatedController& controller_;
    bool throttle_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the line stays up between host sessions
    std::string path_;
};

}  // namespace korvex
