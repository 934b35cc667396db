// EmulatedController: the stand-alone marking controller at the far end of a serial line. It takes
// the host's bytes one at a time with the time each finished arriving, answers every command and
// page as the host expects (0x55, 0xAA, 0xCC replies), keeps files, head parameter pages, system data
// and the calibration grid in its flash, runs the stored jobs on a run frame (marks in controller
// steps), and can be told to misbehave so every failure path of the host can be exercised. It has no
// thread and no clock of its own: the transport (an in-process line on the host's clock, or a
// pseudo-terminal) feeds it and carries its replies at wire times.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/reply_bytes.hpp"
#include "sim/emulated_controller_flash.hpp"
#include "sim/emulated_controller_jobs.hpp"
#include "sim/marks.hpp"

namespace korvex {

// How the controller behaves; the defaults make a healthy controller. Option words (for
// `@controller PORT emulator ...` and `korvex controller ...`) in brackets.
struct ControllerOptions {
    bool silent = false;            // [silent] answers nothing, stores nothing
    int64_t silent_after = -1;      // [silent-after=N] sends its first N replies, then goes dead
    int64_t drop_at_page = -1;      // [drop-at-page=N] goes dead when the N-th page (counted from 1) arrives
    bool hang_up = false;           // [hang-up] going dead also hangs the line up
    int64_t hang_up_at = -1;        // [hang-up-at=N] goes dead and hangs up at the N-th byte on the line
                                    // (received or replied, counted from 1 in the order they happen)
    double late_us = 0.0;           // [late=US] every reply starts US microseconds late
    bool replace = false;           // [reply=HEX] every reply is these bytes instead
    std::vector<uint8_t> reply;
    bool short_reply = false;       // [short] the last byte of every reply is missing
    bool extra_byte = false;        // [extra-byte] every reply carries one byte 0x00 more
    int64_t only_reply = 0;         // [at=N] late/reply/short/extra-byte apply to reply N only
    uint8_t status = 0;             // [status=N] byte 1 of status replies
    bool bad_blocks = false;        // [bad-blocks] the flash check reports bad blocks (byte 1 = 0xFF)
    double process_us = 0.0;        // [process=US] time taken before every reply
    int32_t baud = 115200;          // [baud=N] the controller's line speed (8 data bits, no parity)
};

// Parses option words ("silent", "late=2000", ...). False with a message for a word it does not know.
bool parse_controller_options(const std::vector<std::string>& words, ControllerOptions& out, std::string& error);

class EmulatedController {
public:
    struct Reply {
        std::vector<uint8_t> bytes;
        double ready_us;  // when the controller starts sending it
    };
    enum class Expect { command, file_info, file_head, file_data, calibration, system_data };
    // Between the bytes of one frame or page, and between the pages of one transfer, the host never
    // pauses this long; a longer pause means it gave the transfer up.
    static constexpr double kIdleResetUs = 500'000.0;

    explicit EmulatedController(ControllerOptions options = {});

    // One byte from the host, completely arrived at t_us.
    void receive(uint8_t byte, double t_us);
    // The next reply to send, if any.
    bool pop_reply(Reply& out);
    // Dead: it answers nothing any more (silent, or after its silent-after / drop-at-page point).
    bool dead() const { return dead_; }
    // The line was hung up (dead with the hang-up option).
    bool hung_up() const { return dead_ && (options_.hang_up || options_.hang_up_at > 0); }

    const ControllerOptions& options() const { return options_; }
    const ControllerFlash& flash() const { return flash_; }
    // What the stored jobs marked, in controller steps, over all runs.
    const MarkRecorder& marks() const { return marks_; }
    const ControllerHead& head() const { return head_; }
    int runs() const { return runs_; }
    int stops() const { return stops_; }
    int job_errors() const { return job_errors_; }
    bool laser_switched_on() const { return laser_on_; }
    int64_t replies() const { return replies_; }
    int64_t pages_received() const { return pages_; }
    // Bytes on the line so far, received and replied, as hang-up-at=N counts them.
    int64_t line_bytes() const { return line_bytes_; }
    Expect expecting() const { return expect_; }
    uint8_t status_byte() const { return job_errors_since_run_ ? kJobErrorStatus : options_.status; }

private:
    void on_command(double t_us);
    void on_page(double t_us);
    void run_stored_jobs(double t_us);
    void reply(std::vector<uint8_t> bytes, double t_us);
    void reply_status(uint8_t first, uint8_t second, double t_us) { reply({first, second, 0, 0, 0}, t_us); }
    void go_dead() { dead_ = true; }

    ControllerOptions options_;
    ControllerFlash flash_;
    MarkRecorder marks_;
    ControllerHead head_;
    std::deque<Reply> outbox_;

    FlashPage frame_{};
    int frame_len_ = 0;
    double last_byte_us_ = 0.0;
    Expect expect_ = Expect::command;
    int32_t file_start_ = 0;
    int32_t file_pages_ = 0;
    int32_t next_page_ = 0;  // data page or calibration page being received (from 1)

    bool dead_ = false;
    bool laser_on_ = false;
    int runs_ = 0;
    int stops_ = 0;
    int job_errors_ = 0;
    bool job_errors_since_run_ = false;
    int64_t replies_ = 0;
    int64_t pages_ = 0;
    int64_t line_bytes_ = 0;
};

}  // namespace korvex
