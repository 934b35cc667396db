// termios side of the serial controls: raw 8N1-style lines at the control's settings, the errno to
// control error number mapping, exclusive opening, and writes that never hang on a dead far end.
#include "platform/posix_serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvex {

namespace {

[[noreturn]] void raise_serial(int code, const std::string& what, int err) {
    throw SerialError(code, what + ": " + std::strerror(err) + " (" + std::to_string(code) + ")");
}

// The control's number for a failed open.
int open_error_code(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR: return serial_error::kInvalidPort;
        case EBUSY:
        case EWOULDBLOCK: return serial_error::kPortAlreadyOpen;
        default: return serial_error::kHardwareUnavailable;
    }
}

bool speed_of(int32_t baud, speed_t& out) {
    struct Rate {
        int32_t baud;
        speed_t speed;
    };
    static const Rate rates[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                                 {150, B150},       {200, B200},       {300, B300},       {600, B600},
                                 {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                                 {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                                 {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
                                 {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
    for (const Rate& r : rates)
        if (r.baud == baud) {
            out = r.speed;
            return true;
        }
    return false;
}

}  // namespace

std::string default_serial_device(int16_t port) {
    const std::string name = "KORVEX_COM" + std::to_string(port);
    if (const char* p = std::getenv(name.c_str()); p && *p) return p;
    return "/dev/ttyS" + std::to_string(port - 1);
}

void PosixTty::open(const std::string& path, const LineSettings& line) {
    close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        raise_serial(open_error_code(err), "cannot open " + path, err);
    }
    // One control at a time on a line, as on the controllers' side of the link.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        raise_serial(serial_error::kPortAlreadyOpen, path + " is in use", err);
    }
    fd_ = fd;
    try {
        configure(line);
        discard();
    } catch (...) {
        close();
        throw;
    }
}

void PosixTty::configure(const LineSettings& line) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) raise_serial(serial_error::kSetStateFailed, "not a serial line", errno);
    cfmakeraw(&t);
    speed_t speed;
    if (!speed_of(line.baud, speed)) throw SerialError(serial_error::kSetStateFailed, "baud rate " + std::to_string(line.baud) + " not supported (8015)");
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    static const tcflag_t sizes[] = {CS5, CS5, CS6, CS7, CS8};  // 4 data bits go as 5
    t.c_cflag |= sizes[line.data_bits - 4] | CLOCAL | CREAD;
    switch (line.parity) {
        case 'e': t.c_cflag |= PARENB; break;
        case 'o': t.c_cflag |= PARENB | PARODD; break;
#ifdef CMSPAR
        case 'm': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 's': t.c_cflag |= PARENB | CMSPAR; break;
#endif
        default: break;
    }
    if (line.stop_halves > 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) raise_serial(serial_error::kSetStateFailed, "line settings refused", errno);
}

void PosixTty::close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int32_t PosixTty::count() {
    int n = 0;
    if (ioctl(fd_, FIONREAD, &n) != 0) raise_serial(serial_error::kDeviceIo, "received count", errno);
    return n;
}

int32_t PosixTty::read(uint8_t* out, int32_t capacity) {
    int32_t got = 0;
    while (got < capacity) {
        const ssize_t r = ::read(fd_, out + got, static_cast<std::size_t>(capacity - got));
        if (r > 0) {
            got += static_cast<int32_t>(r);
            continue;
        }
        if (r == 0 || errno == EAGAIN) break;
        if (errno == EINTR) continue;
        // The far end of a pseudo-terminal went away: nothing more will come.
        if (errno == EIO) break;
        raise_serial(serial_error::kDeviceIo, "read", errno);
    }
    return got;
}

void PosixTty::discard() {
    if (tcflush(fd_, TCIFLUSH) != 0) raise_serial(serial_error::kDeviceIo, "discard", errno);
}

void PosixTty::write(const uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t w = ::write(fd_, bytes + done, count - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) raise_serial(serial_error::kDeviceIo, "write", errno);
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, write_timeout_ms_);
        if (r == 0) throw SerialError(serial_error::kDeviceIo, "write: the line takes no more bytes (8020)");
        if (r < 0 && errno != EINTR) raise_serial(serial_error::kDeviceIo, "write", errno);
        if (r > 0 && (p.revents & (POLLERR | POLLHUP)) && !(p.revents & POLLOUT))
            throw SerialError(serial_error::kDeviceIo, "write: the far end hung up (8020)");
    }
}

void PosixSerialPort::device_open(int16_t port, const LineSettings& line) { tty_.open(resolver_(port), line); }

}  // namespace korvex
