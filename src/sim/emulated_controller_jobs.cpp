// Job language interpreter of the emulated controller. One walker serves both the check (no head)
// and the run (with a head), so a job is judged by exactly the rules it is executed with.
//
// Timing: a move of L steps takes L x (65535 - reload) / steps-per-period timer ticks; waits are in
// microseconds. A dot list point is: move there, wait dr_time and tof, light on for toh + tcf, light
// off, wait tch. A job ends with the laser off.
#include "sim/emulated_controller_jobs.hpp"

#include <cmath>

namespace korvex {

namespace {

int16_t coord(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }
uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24; }

class Executor {
public:
    Executor(ControllerHead& head, MarkRecorder& marks) : h_(head), marks_(marks) {}

    void move_to(int32_t x, int32_t y) {
        const double dist = std::hypot(static_cast<double>(x - h_.x), static_cast<double>(y - h_.y));
        if (dist == 0.0) return;
        const double per_step_us =
            (65535.0 - h_.reload) / static_cast<double>(h_.steps_per_period) / kControllerTicksPerUs;
        const double t1 = h_.t_us + dist * per_step_us;
        marks_.move(h_.x, h_.y, x, y, h_.emitting, h_.t_us, t1);
        if (h_.emitting) h_.moved_since_on = true;
        h_.x = x;
        h_.y = y;
        h_.t_us = t1;
    }
    void laser(bool on) {
        if (on == h_.emitting) return;
        if (on) {
            h_.on_since_us = h_.t_us;
            h_.moved_since_on = false;
        } else if (!h_.moved_since_on) {
            marks_.dot(h_.x, h_.y, h_.on_since_us, h_.t_us);
        }
        h_.emitting = on;
    }
    void wait(double us) { h_.t_us += us; }
    ControllerHead& head() { return h_; }

private:
    ControllerHead& h_;
    MarkRecorder& marks_;
};

JobResult walk(const uint8_t* job, std::size_t length, Executor* run) {
    JobResult r;
    std::size_t pos = 0;
    auto fail = [&](const char* what) {
        r.ok = false;
        r.error = what;
        r.offset = pos;
        return r;
    };
    while (true) {
        if (pos >= length) return fail("job ends without its end byte");
        const uint8_t* p = job + pos;
        const std::size_t left = length - pos;
        std::size_t size = 0;
        switch (p[0]) {
            case 0x00:
            case 0x01:
            case 0x02: size = 1; break;
            case 0x40: size = 2; break;
            case 0x50:
            case 0x51:
            case 0x80:
            case 0xB0:
            case 0xB1:
            case 0xC0: size = 3; break;
            case 0x60:
                if (left < 5) return fail("move record cut off");
                size = 5 + 4 * static_cast<std::size_t>(u32(p + 1));
                break;
            case 0x61:
                if (left < 15) return fail("dot list cut off");
                size = 15 + 4 * static_cast<std::size_t>(u32(p + 11));
                break;
            default: return fail("unknown opcode");
        }
        if (size > left) return fail("record cut off by the end of the job");
        if (p[0] == 0x40 && p[1] == 0) return fail("step multiple 0");
        if (run) {
            ControllerHead& h = run->head();
            ++h.records;
            switch (p[0]) {
                case 0x01: run->laser(true); break;
                case 0x02: run->laser(false); break;
                case 0x40: h.steps_per_period = p[1]; break;
                case 0x50:
                case 0x51: h.reload = u16(p + 1); break;
                case 0x80: run->wait(u16(p + 1)); break;
                case 0xB0: h.power[0] = p[1], h.power[1] = p[2]; break;
                case 0xB1: h.frequency = p[1]; break;
                case 0xC0: h.dr_time = u16(p + 1); break;
                case 0x60:
                    for (std::size_t k = 5; k < size; k += 4) run->move_to(coord(p + k), coord(p + k + 2));
                    break;
                case 0x61: {
                    const uint16_t tof = u16(p + 1), toh = u16(p + 3), tcf = u16(p + 5), tch = u16(p + 7), dr = u16(p + 9);
                    for (std::size_t k = 15; k < size; k += 4) {
                        run->move_to(coord(p + k), coord(p + k + 2));
                        run->wait(static_cast<double>(dr) + tof);
                        run->laser(true);
                        run->wait(static_cast<double>(toh) + tcf);
                        run->laser(false);
                        run->wait(tch);
                    }
                    break;
                }
                default: break;
            }
        }
        pos += size;
        if (p[0] == 0x00) {
            if (run) run->laser(false);
            r.offset = pos;
            return r;
        }
    }
}

}  // namespace

JobResult check_job(const uint8_t* job, std::size_t length) { return walk(job, length, nullptr); }

JobResult run_job(const uint8_t* job, std::size_t length, ControllerHead& head, MarkRecorder& marks) {
    Executor run(head, marks);
    JobResult r = walk(job, length, &run);
    if (!r.ok) run.laser(false);
    marks.close();
    return r;
}

}  // namespace korvex
