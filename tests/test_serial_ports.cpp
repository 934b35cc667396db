// Serial controls: the POSIX control on a pseudo-terminal (open, settings, counts, reads, discards,
// the error numbers of every failed open, a far end that hangs up), and the in-process line to an
// emulated controller (bytes arriving at their wire times, discards of what arrived only, a line
// opened at another speed hearing nothing).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "machine_fixture.hpp"
#include "sim/emulated_controller_port.hpp"
#include "platform/posix_serial_port.hpp"

using korvex::PosixSerialPort;
using korvex::SerialError;
using Bytes = std::vector<uint8_t>;

namespace {

// The far end of a pseudo-terminal, for the control to talk to.
struct Pty {
    int master = -1;
    std::string path;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        char name[128];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal");
        path = name;
    }
    ~Pty() { hang_up(); }
    void hang_up() {
        if (master >= 0) close(master);
        master = -1;
    }
    void send(const Bytes& b) const { ASSERT_EQ(write(master, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    Bytes receive(std::size_t n) const {
        Bytes out(n);
        std::size_t got = 0;
        while (got < n) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            const ssize_t r = read(master, out.data() + got, n - got);
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
        }
        out.resize(got);
        return out;
    }
};

// Waits (wall time, at most 2 s) until the control counts n bytes.
int32_t count_at_least(korvex::SerialPort& port, int32_t n) {
    int32_t c = 0;
    for (int i = 0; i < 200 && (c = port.received_count()) < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return c;
}

void open_port(korvex::SerialPort& port, int16_t number, const std::string& settings = "115200,n,8,1") {
    port.set_port_number(number);
    port.set_settings(settings);
    port.set_open(true);
}

int open_error(korvex::SerialPort& port, int16_t number, const std::string& settings = "115200,n,8,1") {
    try {
        open_port(port, number, settings);
    } catch (const SerialError& e) {
        return e.code();
    }
    return 0;
}

}  // namespace

TEST(SerialSettings, ParsesTheControlsSettingsStrings) {
    korvex::LineSettings l;
    ASSERT_TRUE(korvex::parse_line_settings("115200,n,8,1", l));
    EXPECT_NEAR(l.byte_us(), 86.806, 0.001);
    ASSERT_TRUE(korvex::parse_line_settings("9600,E,7,2", l));
    EXPECT_EQ(l.parity, 'e');
    EXPECT_DOUBLE_EQ(l.bits_per_byte(), 11.0);
    for (const char* bad : {"", "115200", "115200,n,8", "115200,x,8,1", "115200,n,9,1", "fast,n,8,1", "115200,n,8,3", "1,n,8,1,0"})
        EXPECT_FALSE(korvex::parse_line_settings(bad, l)) << bad;
}

TEST(PosixSerial, TalksToAPseudoTerminalAndTracesEveryTransfer) {
    Pty far;
    korvex::Trace trace;
    PosixSerialPort port(2, &trace, [&](int16_t) { return far.path; });
    EXPECT_EQ(port.poll_clock().frequency(), 1'000'000'000u);  // a real line waits in wall time
    open_port(port, 7);
    EXPECT_TRUE(port.is_open());
    const Bytes frame{0x07, 0x00, 0x02, 0x00, 0x00};
    port.write(frame.data(), frame.size());
    EXPECT_EQ(far.receive(5), frame);

    far.send({0xCC, 0x01, 0x02});
    EXPECT_EQ(count_at_least(port, 3), 3);
    uint8_t got[2] = {};
    EXPECT_EQ(port.read(got, 2), 3);  // all three are removed, two fit
    EXPECT_EQ(got[1], 0x01);
    EXPECT_EQ(port.received_count(), 0);

    far.send({0xAA, 0xBB});
    EXPECT_EQ(count_at_least(port, 2), 2);
    port.discard_received();
    EXPECT_EQ(port.received_count(), 0);
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"serial open 2 7 \"115200,n,8,1\"", "serial tx 2 07 00 02 00 00",
                                                       "serial rx 2 CC 01 02", "serial discard 2"}));
    EXPECT_EQ(open_error(port, 7), korvex::serial_error::kPortAlreadyOpen);
    port.set_open(false);
    EXPECT_THROW(port.write(frame.data(), 1), SerialError);
    try {
        port.received_count();
        FAIL();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.code(), korvex::serial_error::kNotOpen);
    }
}

TEST(PosixSerial, FailedOpensCarryTheControlsErrorNumbers) {
    Pty far;
    korvex::Trace trace;
    std::string target = far.path;
    auto resolver = [&](int16_t) { return target; };
    PosixSerialPort port(0, &trace, resolver);
    EXPECT_EQ(open_error(port, 0), korvex::serial_error::kInvalidPort);
    EXPECT_EQ(trace.lines().back(), "serial open 0 0 \"115200,n,8,1\" fail 8002");
    EXPECT_EQ(open_error(port, 1, "115200,q,8,1"), korvex::serial_error::kInvalidPropertyValue);
    EXPECT_EQ(open_error(port, 1, "12345,n,8,1"), korvex::serial_error::kSetStateFailed);
    target = "/nonexistent/tty";
    EXPECT_EQ(open_error(port, 1), korvex::serial_error::kInvalidPort);
    target = "/dev/null";  // opens, but is no serial line
    EXPECT_EQ(open_error(port, 1), korvex::serial_error::kSetStateFailed);

    target = far.path;  // one control at a time on a line
    PosixSerialPort other(1, nullptr, resolver);
    open_port(other, 1);
    EXPECT_EQ(open_error(port, 1), korvex::serial_error::kPortAlreadyOpen);
    EXPECT_FALSE(port.is_open());
    other.set_open(false);
    open_port(port, 1);
    port.set_open(false);
    port.set_receive_buffer_size(2048);
    open_port(port, 1);
    try {
        port.set_receive_buffer_size(10);
        FAIL() << "buffer sizes are fixed while open";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.code(), korvex::serial_error::kNotWhileOpen);
    }
}

TEST(PosixSerial, AFarEndThatHangsUpMakesWritesFailInsteadOfHanging) {
    auto far = std::make_unique<Pty>();
    PosixSerialPort port(0, nullptr, [&](int16_t) { return far->path; });
    open_port(port, 1);
    far->hang_up();
    const Bytes page(528, 0x55);
    try {
        port.write(page.data(), page.size());
        FAIL() << "a hung-up line takes no bytes";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.code(), korvex::serial_error::kDeviceIo);
    }
    uint8_t b[4];
    EXPECT_EQ(port.read(b, 4), 0);
}

TEST(PosixSerial, PortNumbersNameDevices) {
    setenv("KORVEX_COM3", "/dev/pts/77", 1);
    unsetenv("KORVEX_COM4");
    EXPECT_EQ(korvex::default_serial_device(3), "/dev/pts/77");
    EXPECT_EQ(korvex::default_serial_device(4), "/dev/ttyS3");
    unsetenv("KORVEX_COM3");
}

TEST_F(MachineTest, EmulatedLineDeliversRepliesAtTheirWireTimes) {
    korvex::SerialWorld& world = machine.serial();
    world.attach_emulator(1);
    korvex::SerialPort& port = *world.control(0);
    EXPECT_EQ(&port.poll_clock(), &machine.clock());
    open_port(port, 1);
    korvex::VirtualClock& clock = *machine.virtual_clock();
    const Bytes connect{1, 0, 0, 0, 0};
    port.write(connect.data(), 5);
    // 5 bytes out, 5 back, 86.8 us each: the fifth reply byte is in at 868.06 us.
    clock.advance_us(850);
    EXPECT_EQ(port.received_count(), 4);
    port.discard_received();  // only what has arrived goes
    clock.advance_us(20);
    EXPECT_EQ(port.received_count(), 1);
    uint8_t b[5];
    EXPECT_EQ(port.read(b, 5), 1);
    EXPECT_EQ(b[0], 0x00);

    // A page queues behind the bytes still on the wire; the acknowledgement follows it.
    const Bytes frame{28, 0, 0, 0, 0};
    Bytes page(528, 0xFF);
    port.write(frame.data(), 5);
    port.write(page.data(), page.size());
    const double byte_us = 10e6 / 115200;
    clock.advance_us((5 + 528 + 1) * byte_us - 1);
    EXPECT_EQ(port.received_count(), 1);  // the command's 0xCC only
    clock.advance_us(4 * byte_us + 2);
    EXPECT_EQ(port.received_count(), 6);
}

TEST_F(MachineTest, EmulatedLinesAreWiredByPortNumber) {
    korvex::SerialWorld& world = machine.serial();
    world.attach_emulator(2);
    EXPECT_EQ(open_error(*world.control(0), 5), korvex::serial_error::kInvalidPort);
    open_port(*world.control(0), 2);
    EXPECT_EQ(open_error(*world.control(1), 2), korvex::serial_error::kPortAlreadyOpen);
    // Rewiring a port pulls the plug of the control open on it.
    world.attach_emulator(2);
    EXPECT_FALSE(world.control(0)->is_open());

    // Opened at another speed, the line carries nothing either way.
    open_port(*world.control(0), 2, "9600,n,8,1");
    const Bytes connect{1, 0, 0, 0, 0};
    world.control(0)->write(connect.data(), 5);
    machine.virtual_clock()->advance_us(1e6);
    EXPECT_EQ(world.control(0)->received_count(), 0);
    EXPECT_EQ(world.emulator(2)->replies(), 0);

    // A controller that hangs up makes the next write fail.
    world.attach_emulator(3, [] {
        korvex::ControllerOptions o;
        o.silent_after = 0;
        o.hang_up = true;
        return o;
    }());
    open_port(*world.control(1), 3);
    world.control(1)->write(connect.data(), 5);
    EXPECT_THROW(world.control(1)->write(connect.data(), 5), SerialError);
}
