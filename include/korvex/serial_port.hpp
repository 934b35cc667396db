// SerialPort: one serial control of the stand-alone link, reduced to the operations the link uses to
// talk to a marking controller: open and close it on a numbered port with its buffer sizes,
// thresholds and line settings, count and discard what was received, write a frame, read what
// arrived. A control that cannot do what it is asked raises a SerialError carrying the serial
// control's own error number, which the link shows to the operator when a port cannot be opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "korvex/export.h"
#include "korvex/clock.hpp"
#include "korvex/fault.hpp"

namespace korvex {

// The serial control's error numbers (shown in the link's "cannot open port" message).
namespace serial_error {
inline constexpr int kInvalidPropertyValue = 380;  // settings, buffer size or threshold not acceptable
inline constexpr int kNotWhileOpen = 8000;         // buffer sizes cannot change while the port is open
inline constexpr int kInvalidPort = 8002;          // port number 0 or below, or no device behind it
inline constexpr int kPortAlreadyOpen = 8005;      // another control or program holds the port
inline constexpr int kHardwareUnavailable = 8010;  // the device exists but cannot be opened
inline constexpr int kNotOpen = 8012;              // count, read, discard or write on a closed port
inline constexpr int kSetStateFailed = 8015;       // the device refused the line settings
inline constexpr int kDeviceIo = 8020;             // reading or writing the device failed
}  // namespace serial_error

// A failed serial control operation: a device fault that also carries the control's error number.
class KORVEX_API SerialError : public Fault {
public:
    SerialError(int code, const std::string& message) : Fault(FaultKind::device, message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

class KORVEX_API SerialPort {
public:
    virtual ~SerialPort() = default;

    // Port-open state. Opening applies the port number and every setting given so far; all set-up
    // errors (bad settings, no such port, device busy or refusing the line settings) surface here.
    virtual bool is_open() const = 0;
    virtual void set_open(bool open) = 0;

    // Set-up; effective at the next open (settings and thresholds also at once on an open port).
    virtual void set_port_number(int16_t port) = 0;
    virtual void set_receive_buffer_size(int32_t bytes) = 0;
    virtual void set_transmit_buffer_size(int32_t bytes) = 0;
    virtual void set_receive_threshold(int16_t bytes) = 0;
    virtual void set_send_threshold(int16_t bytes) = 0;
    virtual void set_read_length(int16_t bytes) = 0;  // 0: a read returns everything received
    virtual void set_binary_input(bool binary) = 0;
    virtual void set_settings(const std::string& settings) = 0;  // "115200,n,8,1"

    // Received bytes waiting to be read (also those the operating system still holds).
    virtual int32_t received_count() = 0;
    // Throws away everything received so far.
    virtual void discard_received() = 0;
    // Hands the bytes over for sending, in order and all of them, without waiting for the wire.
    virtual void write(const uint8_t* bytes, std::size_t count) = 0;
    // Removes every waiting byte; the first `capacity` go to `out`. Returns how many were removed.
    virtual int32_t read(uint8_t* out, int32_t capacity) = 0;

    // The clock a wait for this port's replies runs on: the host's own clock for a controller that
    // lives on it (an emulation on virtual time), a real clock for a real line, whose far end
    // answers in wall time.
    virtual Clock& poll_clock() = 0;
};

}  // namespace korvex
