// PosixSerialPort: a serial control on a real line (a serial device or a pseudo-terminal) through
// termios, raw, with the line settings of the control. Port number n (1 and up) is the device named
// by the environment variable KORVEX_COM<n>, else /dev/ttyS<n-1>. A real line answers in wall time,
// so waits for its replies run on the monotonic clock whatever clock the host paces the card with.
#pragma once

#include <functional>
#include <string>

#include "platform/monotonic_clock.hpp"
#include "platform/serial_control.hpp"

namespace korvex {

// One open terminal device: raw mode, non-blocking reads, complete writes, exclusive use.
class PosixTty {
public:
    PosixTty() = default;
    ~PosixTty() { close(); }
    PosixTty(const PosixTty&) = delete;
    PosixTty& operator=(const PosixTty&) = delete;

    // Opens and configures the device; throws SerialError (mapped from errno) and leaves nothing open.
    void open(const std::string& path, const LineSettings& line);
    void configure(const LineSettings& line);
    void close() noexcept;
    bool is_open() const { return fd_ >= 0; }
    // Bytes the kernel holds for reading.
    int32_t count();
    int32_t read(uint8_t* out, int32_t capacity);
    // Empties the kernel's input queue.
    void discard();
    // Hands every byte to the kernel; waits for room when the output queue is full, but gives up with
    // a SerialError when nothing can be written for write_timeout_ms (the far end stopped reading).
    void write(const uint8_t* bytes, std::size_t count);
    void set_write_timeout_ms(int ms) { write_timeout_ms_ = ms; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    int write_timeout_ms_ = 2000;
};

// The device a port number stands for: KORVEX_COM<n>, else /dev/ttyS<n-1>.
std::string default_serial_device(int16_t port);

class PosixSerialPort : public SerialControl {
public:
    using Resolver = std::function<std::string(int16_t port)>;

    explicit PosixSerialPort(int index, TraceLines* trace = nullptr, Resolver resolver = default_serial_device)
        : SerialControl(index, trace), resolver_(std::move(resolver)) {}
    ~PosixSerialPort() override { tty_.close(); }

    Clock& poll_clock() override { return clock_; }
    void set_resolver(Resolver resolver) { resolver_ = std::move(resolver); }

protected:
    void device_open(int16_t port, const LineSettings& line) override;
    void device_close() noexcept override { tty_.close(); }
    void device_configure(const LineSettings& line) override { tty_.configure(line); }
    int32_t device_count() override { return tty_.count(); }
    int32_t device_read(uint8_t* out, int32_t capacity) override { return tty_.read(out, capacity); }
    void device_discard() override { tty_.discard(); }
    void device_write(const uint8_t* bytes, std::size_t count) override { tty_.write(bytes, count); }

private:
    Resolver resolver_;
    PosixTty tty_;
    MonotonicClock clock_;
};

}  // namespace korvex
