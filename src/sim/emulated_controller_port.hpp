// The serial side of the simulated world: four serial controls for the library, and what each port
// number is wired to: an in-process emulated controller, or a real device (a serial line or the
// pseudo-terminal of `korvex controller`). A port number wired to nothing cannot be opened (8002).
// An in-process controller is fed synchronously when the host writes, and its replies arrive at
// the wire times of their bytes on the world's clock, so every time-out is deterministic.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "korvex/clock.hpp"
#include "sim/emulated_controller.hpp"
#include "platform/posix_serial_port.hpp"
#include "platform/serial_control.hpp"
#include "sim/trace.hpp"

namespace korvex {

class SerialWorld;

// A serial control of the simulated world.
class SimulatedSerialPort : public SerialControl {
public:
    SimulatedSerialPort(int index, SerialWorld& world, Trace* trace) : SerialControl(index, trace), world_(world) {}
    ~SimulatedSerialPort() override;
    Clock& poll_clock() override;
    // The port number this control is open on (0 when closed).
    int16_t bound_port() const { return bound_port_; }

protected:
    void device_open(int16_t port, const LineSettings& line) override;
    void device_close() noexcept override;
    void device_configure(const LineSettings& line) override;
    int32_t device_count() override;
    int32_t device_read(uint8_t* out, int32_t capacity) override;
    void device_discard() override;
    void device_write(const uint8_t* bytes, std::size_t count) override;

private:
    struct WireByte {
        uint8_t value;
        double at_us;
    };
    double now_us();
    void collect_replies();
    std::size_t arrived();

    SerialWorld& world_;
    int16_t bound_port_ = 0;
    EmulatedController* controller_ = nullptr;  // bound to an in-process controller
    PosixTty tty_;                              // or to a real device
    MonotonicClock wall_clock_;
    double byte_us_ = 0.0;
    bool garbled_ = false;           // line settings differ from the controller's: nothing gets through
    double to_controller_free_us_ = 0.0;
    double to_host_free_us_ = 0.0;
    std::deque<WireByte> incoming_;  // reply bytes on their way, in arrival order
};

class SerialWorld {
public:
    SerialWorld(Clock& clock, Trace* trace);
    ~SerialWorld();
    SerialWorld(const SerialWorld&) = delete;
    SerialWorld& operator=(const SerialWorld&) = delete;

    // Port number `port` talks to a new in-process emulated controller (replacing what was there;
    // a control open on that port is closed).
    EmulatedController& attach_emulator(int16_t port, const ControllerOptions& options = {});
    // Port number `port` is the device at `path`.
    void attach_device(int16_t port, const std::string& path);
    // The emulated controller behind port number `port`, or nullptr.
    EmulatedController* emulator(int16_t port);
    // The port numbers that have an emulated controller, in increasing order.
    std::vector<int16_t> emulator_ports() const;

    SerialPort* control(int index) { return controls_.at(static_cast<std::size_t>(index)).get(); }
    Clock& clock() { return clock_; }

private:
    friend class SimulatedSerialPort;
    // A control open on `port` is closed first: rewiring a port pulls its plug.
    void unplug(int16_t port);
    struct Wiring {
        std::unique_ptr<EmulatedController> emulator;
        std::string device;
        bool in_use = false;
    };
    Clock& clock_;
    std::map<int16_t, Wiring> wiring_;
    std::array<std::unique_ptr<SimulatedSerialPort>, 4> controls_;
};

}  // namespace korvex
