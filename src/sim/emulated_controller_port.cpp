// In-process serial lines to emulated controllers, and the routing of port numbers to controllers
// or real devices. Wire model: the host's bytes leave one after another (a byte takes the line
// settings' bit count at their baud rate) from the moment they are written or the line is free;
// the controller sees each byte when it has fully arrived; its replies go back the same way.
#include "sim/emulated_controller_port.hpp"

namespace korvex {

SimulatedSerialPort::~SimulatedSerialPort() { device_close(); }

Clock& SimulatedSerialPort::poll_clock() { return tty_.is_open() ? static_cast<Clock&>(wall_clock_) : world_.clock(); }

double SimulatedSerialPort::now_us() {
    Clock& c = world_.clock();
    return static_cast<double>(c.counter()) * 1e6 / static_cast<double>(c.frequency());
}

void SimulatedSerialPort::device_open(int16_t port, const LineSettings& line) {
    auto it = world_.wiring_.find(port);
    if (it == world_.wiring_.end()) throw SerialError(serial_error::kInvalidPort, "no serial port " + std::to_string(port) + " (8002)");
    SerialWorld::Wiring& w = it->second;
    if (w.in_use) throw SerialError(serial_error::kPortAlreadyOpen, "port " + std::to_string(port) + " is in use (8005)");
    if (w.emulator) {
        controller_ = w.emulator.get();
        device_configure(line);
        incoming_.clear();
        to_controller_free_us_ = to_host_free_us_ = now_us();
    } else {
        tty_.open(w.device, line);
    }
    w.in_use = true;
    bound_port_ = port;
}

void SimulatedSerialPort::device_close() noexcept {
    if (bound_port_ == 0) return;
    auto it = world_.wiring_.find(bound_port_);
    if (it != world_.wiring_.end()) it->second.in_use = false;
    tty_.close();
    controller_ = nullptr;
    incoming_.clear();
    bound_port_ = 0;
}

void SimulatedSerialPort::device_configure(const LineSettings& line) {
    if (tty_.is_open()) {
        tty_.configure(line);
        return;
    }
    byte_us_ = line.byte_us();
    garbled_ = controller_ && (line.baud != controller_->options().baud || line.data_bits != 8 || line.parity != 'n');
}

std::size_t SimulatedSerialPort::arrived() {
    if (tty_.is_open()) return 0;
    collect_replies();
    const double now = now_us();
    std::size_t n = 0;
    while (n < incoming_.size() && incoming_[n].at_us <= now) ++n;
    return n;
}

void SimulatedSerialPort::collect_replies() {
    EmulatedController::Reply r;
    while (controller_ && controller_->pop_reply(r)) {
        if (garbled_) continue;
        double t = r.ready_us > to_host_free_us_ ? r.ready_us : to_host_free_us_;
        for (uint8_t b : r.bytes) {
            t += byte_us_;
            incoming_.push_back({b, t});
        }
        to_host_free_us_ = t;
    }
}

int32_t SimulatedSerialPort::device_count() {
    if (tty_.is_open()) return tty_.count();
    return static_cast<int32_t>(arrived());
}

int32_t SimulatedSerialPort::device_read(uint8_t* out, int32_t capacity) {
    if (tty_.is_open()) return tty_.read(out, capacity);
    const std::size_t n = arrived();
    int32_t got = 0;
    for (; static_cast<std::size_t>(got) < n && got < capacity; ++got) {
        out[got] = incoming_.front().value;
        incoming_.pop_front();
    }
    return got;
}

void SimulatedSerialPort::device_discard() {
    if (tty_.is_open()) {
        tty_.discard();
        return;
    }
    // Only what has arrived is thrown away; bytes still on the wire come in later.
    for (std::size_t n = arrived(); n > 0; --n) incoming_.pop_front();
}

void SimulatedSerialPort::device_write(const uint8_t* bytes, std::size_t count) {
    if (tty_.is_open()) {
        tty_.write(bytes, count);
        return;
    }
    if (controller_->hung_up()) throw SerialError(serial_error::kDeviceIo, "write: the controller hung the line up (8020)");
    const double now = now_us();
    double t = to_controller_free_us_ > now ? to_controller_free_us_ : now;
    for (std::size_t i = 0; i < count; ++i) {
        t += byte_us_;
        if (!garbled_) controller_->receive(bytes[i], t);
    }
    to_controller_free_us_ = t;
    collect_replies();
}

SerialWorld::SerialWorld(Clock& clock, Trace* trace) : clock_(clock) {
    for (int i = 0; i < 4; ++i) controls_[static_cast<std::size_t>(i)] = std::make_unique<SimulatedSerialPort>(i, *this, trace);
}

SerialWorld::~SerialWorld() {
    for (auto& c : controls_) c.reset();  // controls unbind before the wiring goes
}

void SerialWorld::unplug(int16_t port) {
    for (auto& c : controls_)
        if (c->bound_port() == port) c->set_open(false);
}

EmulatedController& SerialWorld::attach_emulator(int16_t port, const ControllerOptions& options) {
    unplug(port);
    Wiring& w = wiring_[port];
    w.emulator = std::make_unique<EmulatedController>(options);
    w.device.clear();
    return *w.emulator;
}

void SerialWorld::attach_device(int16_t port, const std::string& path) {
    unplug(port);
    Wiring& w = wiring_[port];
    w.emulator.reset();
    w.device = path;
}

EmulatedController* SerialWorld::emulator(int16_t port) {
    auto it = wiring_.find(port);
    return it == wiring_.end() ? nullptr : it->second.emulator.get();
}

std::vector<int16_t> SerialWorld::emulator_ports() const {
    std::vector<int16_t> out;
    for (const auto& [port, w] : wiring_)
        if (w.emulator) out.push_back(port);
    return out;
}

}  // namespace korvex
