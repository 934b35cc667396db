// SerialControl: what every serial control does whatever line is behind it: keeping the port
// number, buffer sizes, thresholds and line settings until the port opens, checking them, refusing
// transfers on a closed port, and writing the serial trace lines (open, tx, rx, discard). The line
// itself (a real device, an emulated controller) is supplied by the backend through a few hooks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "korvex/serial_port.hpp"
#include "platform/trace_lines.hpp"

namespace korvex {

// "baud,parity,data bits,stop bits", as "115200,n,8,1".
struct LineSettings {
    int32_t baud = 9600;
    char parity = 'n';     // n, e, o, m, s
    int data_bits = 8;     // 4 to 8
    int stop_halves = 2;   // stop bits in halves: 2 = 1, 3 = 1.5, 4 = 2

    // Bits a byte takes on the wire (start, data, parity, stop) and its time in microseconds.
    double bits_per_byte() const { return 1.0 + data_bits + (parity == 'n' ? 0 : 1) + stop_halves / 2.0; }
    double byte_us() const { return bits_per_byte() * 1e6 / baud; }
};

// False when the text is not a settings string the control accepts.
bool parse_line_settings(const std::string& text, LineSettings& out);

// "HH HH HH" for the trace lines.
std::string hex_bytes(const uint8_t* bytes, std::size_t count);

class SerialControl : public SerialPort {
public:
    // index: the control's number (0-3), used in its trace lines.
    SerialControl(int index, TraceLines* trace) : index_(index), trace_(trace) {}
    ~SerialControl() override = default;
    SerialControl(const SerialControl&) = delete;
    SerialControl& operator=(const SerialControl&) = delete;

    bool is_open() const override { return open_; }
    void set_open(bool open) override;
    void set_port_number(int16_t port) override { port_ = port; }
    void set_receive_buffer_size(int32_t bytes) override;
    void set_transmit_buffer_size(int32_t bytes) override;
    void set_receive_threshold(int16_t bytes) override;
    void set_send_threshold(int16_t bytes) override;
    void set_read_length(int16_t bytes) override;
    void set_binary_input(bool binary) override { binary_ = binary; }
    void set_settings(const std::string& settings) override;

    int32_t received_count() override;
    void discard_received() override;
    void write(const uint8_t* bytes, std::size_t count) override;
    int32_t read(uint8_t* out, int32_t capacity) override;

    int index() const { return index_; }
    int16_t port_number() const { return port_; }
    const std::string& settings_text() const { return settings_text_; }
    const LineSettings& line() const { return line_; }
    int32_t receive_buffer_size() const { return rx_size_; }
    void set_trace(TraceLines* trace) { trace_ = trace; }

protected:
    // Opens the line of port `port` with `line`; throws SerialError on failure (nothing is left open).
    virtual void device_open(int16_t port, const LineSettings& line) = 0;
    virtual void device_close() noexcept = 0;
    // New line settings on an open port.
    virtual void device_configure(const LineSettings& line) = 0;
    virtual int32_t device_count() = 0;
    // Reads up to `capacity` waiting bytes; returns how many.
    virtual int32_t device_read(uint8_t* out, int32_t capacity) = 0;
    virtual void device_discard() = 0;
    virtual void device_write(const uint8_t* bytes, std::size_t count) = 0;

    // Trace lines are only built when someone records them (a real port often has no trace).
    bool tracing() const { return trace_ && trace_->recording(); }
    void trace_line(const std::string& text) {
        if (tracing()) trace_->line(text);
    }

private:
    void require_open(const char* what) const;
    [[noreturn]] void fail(int code, const std::string& message) const;

    int index_;
    TraceLines* trace_;
    bool open_ = false;
    int16_t port_ = 1;
    int32_t rx_size_ = 1024;
    int32_t tx_size_ = 512;
    int16_t rx_threshold_ = 0;
    int16_t tx_threshold_ = 0;
    int16_t read_length_ = 0;
    bool binary_ = false;
    std::string settings_text_ = "9600,n,8,1";
    LineSettings line_{};
    // What one read takes from the line: at most the receive buffer's worth.
    static constexpr int32_t kMaxRead = 8192;
    std::array<uint8_t, kMaxRead> read_buffer_{};
};

}  // namespace korvex
