// The line-independent part of a serial control: settings parsing and checking, the open/closed
// rules, and the serial trace lines.
#include "platform/serial_control.hpp"

#include <charconv>
#include <cstdio>

namespace korvex {

namespace {

bool parse_int(const std::string& s, int64_t& out) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

}  // namespace

bool parse_line_settings(const std::string& text, LineSettings& out) {
    std::string parts[4];
    int n = 0;
    for (char c : text) {
        if (c == ',') {
            if (++n > 3) return false;
        } else if (c != ' ') {
            parts[n] += c;
        }
    }
    if (n != 3) return false;
    LineSettings l;
    int64_t v = 0;
    if (!parse_int(parts[0], v) || v < 50 || v > 4'000'000) return false;
    l.baud = static_cast<int32_t>(v);
    if (parts[1].size() != 1) return false;
    const char p = static_cast<char>(parts[1][0] | 0x20);
    if (p != 'n' && p != 'e' && p != 'o' && p != 'm' && p != 's') return false;
    l.parity = p;
    if (!parse_int(parts[2], v) || v < 4 || v > 8) return false;
    l.data_bits = static_cast<int>(v);
    if (parts[3] == "1") l.stop_halves = 2;
    else if (parts[3] == "1.5") l.stop_halves = 3;
    else if (parts[3] == "2") l.stop_halves = 4;
    else return false;
    out = l;
    return true;
}

std::string hex_bytes(const uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i) s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

void SerialControl::fail(int code, const std::string& message) const {
    throw SerialError(code, "serial control " + std::to_string(index_) + ": " + message + " (" + std::to_string(code) + ")");
}

void SerialControl::require_open(const char* what) const {
    if (!open_) fail(serial_error::kNotOpen, std::string(what) + " on a port that is not open");
}

void SerialControl::set_open(bool open) {
    if (open == open_) {
        if (open) fail(serial_error::kPortAlreadyOpen, "port already open");
        return;
    }
    if (!open) {
        device_close();
        open_ = false;
        return;
    }
    const std::string head =
        tracing() ? "serial open " + std::to_string(index_) + " " + std::to_string(port_) + " " + quoted(settings_text_) : "";
    try {
        LineSettings l;
        if (!parse_line_settings(settings_text_, l)) fail(serial_error::kInvalidPropertyValue, "line settings not accepted");
        if (rx_size_ <= 0 || tx_size_ <= 0) fail(serial_error::kInvalidPropertyValue, "buffer size not accepted");
        if (port_ <= 0) fail(serial_error::kInvalidPort, "invalid port number");
        device_open(port_, l);
        line_ = l;
    } catch (const SerialError& e) {
        trace_line(head + " fail " + std::to_string(e.code()));
        throw;
    }
    open_ = true;
    trace_line(head);
}

void SerialControl::set_receive_buffer_size(int32_t bytes) {
    if (open_) fail(serial_error::kNotWhileOpen, "buffer size change while open");
    rx_size_ = bytes;
}

void SerialControl::set_transmit_buffer_size(int32_t bytes) {
    if (open_) fail(serial_error::kNotWhileOpen, "buffer size change while open");
    tx_size_ = bytes;
}

void SerialControl::set_receive_threshold(int16_t bytes) {
    if (bytes < 0) fail(serial_error::kInvalidPropertyValue, "negative receive threshold");
    rx_threshold_ = bytes;
}

void SerialControl::set_send_threshold(int16_t bytes) {
    if (bytes < 0) fail(serial_error::kInvalidPropertyValue, "negative send threshold");
    tx_threshold_ = bytes;
}

void SerialControl::set_read_length(int16_t bytes) {
    if (bytes < 0) fail(serial_error::kInvalidPropertyValue, "negative read length");
    read_length_ = bytes;
}

void SerialControl::set_settings(const std::string& settings) {
    if (open_) {
        LineSettings l;
        if (!parse_line_settings(settings, l)) fail(serial_error::kInvalidPropertyValue, "line settings not accepted");
        device_configure(l);
        line_ = l;
    }
    settings_text_ = settings;
}

int32_t SerialControl::received_count() {
    require_open("received count");
    return device_count();
}

void SerialControl::discard_received() {
    require_open("discard");
    device_discard();
    if (tracing()) trace_line("serial discard " + std::to_string(index_));
}

void SerialControl::write(const uint8_t* bytes, std::size_t count) {
    require_open("write");
    if (tracing()) trace_line("serial tx " + std::to_string(index_) + " " + hex_bytes(bytes, count));
    device_write(bytes, count);
}

int32_t SerialControl::read(uint8_t* out, int32_t capacity) {
    require_open("read");
    int32_t limit = read_length_ > 0 ? read_length_ : rx_size_;
    if (limit > kMaxRead) limit = kMaxRead;
    const int32_t got = device_read(read_buffer_.data(), limit);
    if (got > 0 && tracing())
        trace_line("serial rx " + std::to_string(index_) + " " + hex_bytes(read_buffer_.data(), static_cast<std::size_t>(got)));
    for (int32_t i = 0; i < got && i < capacity; ++i) out[i] = read_buffer_[static_cast<std::size_t>(i)];
    return got;
}

}  // namespace korvex
