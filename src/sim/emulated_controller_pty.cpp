// Pseudo-terminal transport of the emulated controller: read what the host wrote, feed it with the
// times its bytes would have arrived, and write each reply when it is due.
#include "sim/emulated_controller_pty.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <stdexcept>

namespace korvex {

ControllerPty::ControllerPty(EmulatedController& controller, bool throttle) : controller_(controller), throttle_(throttle) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(errno));
    char name[128];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        const int err = errno;
        ::close(master_);
        throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(err));
    }
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ >= 0) {
        termios t{};
        if (tcgetattr(slave_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(slave_, TCSANOW, &t);
        }
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

ControllerPty::~ControllerPty() { hang_up(); }

void ControllerPty::hang_up() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

double ControllerPty::now_us() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

void ControllerPty::serve(const std::atomic<bool>& stop) {
    struct Due {
        std::vector<uint8_t> bytes;
        double at_us;
    };
    std::deque<Due> due;
    const double byte_us = throttle_ ? 10.0 * 1e6 / controller_.options().baud : 0.0;
    double in_free_us = 0.0, out_free_us = 0.0;
    uint8_t buf[4096];
    while (!stop.load() && master_ >= 0) {
        const double now = now_us();
        // Write what is due.
        while (!due.empty() && due.front().at_us <= now) {
            const std::vector<uint8_t>& b = due.front().bytes;
            std::size_t done = 0;
            while (done < b.size()) {
                const ssize_t w = ::write(master_, b.data() + done, b.size() - done);
                if (w > 0) done += static_cast<std::size_t>(w);
                else if (w < 0 && errno == EINTR) continue;
                else break;  // the host's side is full or gone: the rest is lost, as on a line
            }
            due.pop_front();
        }
        if (controller_.hung_up() && due.empty()) {
            hang_up();
            break;
        }
        int wait_ms = 20;
        if (!due.empty()) {
            const double ms = (due.front().at_us - now) / 1000.0;
            wait_ms = ms <= 0 ? 0 : (ms < 20 ? static_cast<int>(ms) + 1 : 20);
        }
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, wait_ms);
        if (r <= 0 || !(p.revents & POLLIN)) continue;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        const double t = now_us();
        double arrive = in_free_us > t ? in_free_us : t;
        for (ssize_t i = 0; i < n; ++i) {
            arrive += byte_us;
            controller_.receive(buf[i], arrive);
        }
        in_free_us = arrive;
        EmulatedController::Reply reply;
        while (controller_.pop_reply(reply)) {
            double end = reply.ready_us > out_free_us ? reply.ready_us : out_free_us;
            end += byte_us * static_cast<double>(reply.bytes.size());
            out_free_us = end;
            due.push_back({std::move(reply.bytes), end});
        }
    }
}

}  // namespace korvex
