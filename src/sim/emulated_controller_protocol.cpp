// The controller's side of the serial protocol: 5-byte command frames, the 528-byte pages of file,
// calibration and system data transfers, the replies each expects, the run of the stored job set,
// and the misbehaviour options.
//
// Which files a run frame runs: the set the last system data page describes. Byte 4 is the number
// of files C; entries 0 .. min(C, 85) - 1 of its table (3 bytes each from byte 256) give each file's
// first flash page. The files are run in table order, each one only if it was stored completely and
// its bytes form one whole job. File 0 when it is a point table (not a job, whole 5-byte entries) is
// skipped quietly; any other file that is not a whole job (half written, or not a job at all) is
// skipped and counted as a job error, reported as status 0xEE until the next run.
#include "sim/emulated_controller.hpp"

#include <charconv>
#include <cmath>

#include "core/shown_input.hpp"

namespace korvex {

namespace {

constexpr std::size_t kPointEntryBytes = 5;  // a point table entry: value, X, Y (16 bits each)

bool parse_number(const std::string& text, double& out) {
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && p == text.data() + text.size() && std::isfinite(out);
}

bool parse_hex(const std::string& text, std::vector<uint8_t>& out) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != ':') s += c;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
    if (s.empty() || s.size() % 2) return false;
    out.clear();
    for (std::size_t i = 0; i < s.size(); i += 2) {
        unsigned v = 0;
        auto [p, ec] = std::from_chars(s.data() + i, s.data() + i + 2, v, 16);
        if (ec != std::errc() || p != s.data() + i + 2) return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

}  // namespace

bool parse_controller_options(const std::vector<std::string>& words, ControllerOptions& out, std::string& error) {
    ControllerOptions o;
    for (const std::string& w : words) {
        const auto eq = w.find('=');
        const std::string name = w.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : w.substr(eq + 1);
        const bool has_value = eq != std::string::npos;
        double v = 0.0;
        auto number = [&](double lo, double hi) {
            if (!has_value || !parse_number(value, v) || v < lo || v > hi) {
                error = "option " + name + " needs a number from " + std::to_string(static_cast<int64_t>(lo)) + " to " +
                        std::to_string(static_cast<int64_t>(hi));
                return false;
            }
            return true;
        };
        auto flag = [&] {
            if (has_value) error = "option " + name + " takes no value";
            return !has_value;
        };
        bool ok = true;
        if (name == "silent") ok = flag() && (o.silent = true);
        else if (name == "hang-up") ok = flag() && (o.hang_up = true);
        else if (name == "short") ok = flag() && (o.short_reply = true);
        else if (name == "extra-byte") ok = flag() && (o.extra_byte = true);
        else if (name == "bad-blocks") ok = flag() && (o.bad_blocks = true);
        else if (name == "silent-after") ok = number(0, 1e15) && ((o.silent_after = static_cast<int64_t>(v)), true);
        else if (name == "hang-up-at") ok = number(1, 1e15) && ((o.hang_up_at = static_cast<int64_t>(v)), true);
        else if (name == "drop-at-page") ok = number(1, 1e15) && ((o.drop_at_page = static_cast<int64_t>(v)), true);
        else if (name == "at") ok = number(1, 1e15) && ((o.only_reply = static_cast<int64_t>(v)), true);
        else if (name == "late") ok = number(0, 1e12) && ((o.late_us = v), true);
        else if (name == "process") ok = number(0, 1e12) && ((o.process_us = v), true);
        else if (name == "status") ok = number(0, 255) && ((o.status = static_cast<uint8_t>(v)), true);
        else if (name == "baud") ok = number(50, 4e6) && ((o.baud = static_cast<int32_t>(v)), true);
        else if (name == "reply") {
            ok = has_value && parse_hex(value, o.reply);
            if (!ok) error = "option reply needs hex bytes (reply=AA or reply=CC00)";
            o.replace = ok;
        } else {
            error = "unknown controller option '" + Shown_input(name) +
                    "' (silent, silent-after=N, drop-at-page=N, hang-up, hang-up-at=N, late=US, reply=HEX, short, extra-byte, at=N, "
                    "status=N, bad-blocks, process=US, baud=N)";
            ok = false;
        }
        if (!ok) return false;
    }
    out = o;
    return true;
}

EmulatedController::EmulatedController(ControllerOptions options) : options_(std::move(options)) {
    if (options_.silent) dead_ = true;
}

bool EmulatedController::pop_reply(Reply& out) {
    if (outbox_.empty()) return false;
    out = std::move(outbox_.front());
    outbox_.pop_front();
    return true;
}

void EmulatedController::receive(uint8_t byte, double t_us) {
    if (dead_) return;
    if (++line_bytes_ == options_.hang_up_at) {  // the line drops with this byte on it
        go_dead();
        return;
    }
    // The host gave up whatever it was sending: start over with a command frame.
    if ((frame_len_ > 0 || expect_ != Expect::command) && t_us - last_byte_us_ > kIdleResetUs) {
        frame_len_ = 0;
        expect_ = Expect::command;
    }
    last_byte_us_ = t_us;
    frame_[static_cast<std::size_t>(frame_len_++)] = byte;
    if (expect_ == Expect::command) {
        if (frame_len_ == 5) {
            frame_len_ = 0;
            on_command(t_us);
        }
    } else if (frame_len_ == kFlashPageBytes) {
        frame_len_ = 0;
        on_page(t_us);
    }
}

void EmulatedController::reply(std::vector<uint8_t> bytes, double t_us) {
    if (dead_) return;
    ++replies_;
    if (options_.silent_after >= 0 && replies_ > options_.silent_after) {
        go_dead();
        return;
    }
    double ready = t_us + options_.process_us;
    if (options_.only_reply == 0 || options_.only_reply == replies_) {
        ready += options_.late_us;
        if (options_.replace) bytes = options_.reply;
        if (options_.short_reply && !bytes.empty()) bytes.pop_back();
        if (options_.extra_byte) bytes.push_back(0x00);
    }
    if (options_.hang_up_at > line_bytes_ && options_.hang_up_at <= line_bytes_ + static_cast<int64_t>(bytes.size())) {
        // The line drops while this reply goes out: the bytes before that one still get through.
        bytes.resize(static_cast<std::size_t>(options_.hang_up_at - line_bytes_ - 1));
        line_bytes_ = options_.hang_up_at;
        go_dead();
        if (!bytes.empty()) outbox_.push_back({std::move(bytes), ready});
        return;
    }
    line_bytes_ += static_cast<int64_t>(bytes.size());
    outbox_.push_back({std::move(bytes), ready});
}

void EmulatedController::on_command(double t_us) {
    const uint8_t code = frame_[0];
    switch (code) {
        case 1: reply_status(0x55, 0, t_us); break;
        case 2:
            run_stored_jobs(t_us);
            reply_status(0xAA, status_byte(), t_us);
            break;
        case 4:
        case 5:
        case 15:
        case 16:
        case 18:
        case 19:
        case 20:
        case 27:
        case 29: reply_status(0xAA, status_byte(), t_us); break;
        case 26: reply_status(0xAA, options_.bad_blocks ? 0xFF : status_byte(), t_us); break;
        case 7: {
            file_pages_ = frame_[2] | frame_[3] << 8 | frame_[4] << 16;
            file_start_ = flash_.begin_file(frame_[1], file_pages_);
            expect_ = Expect::file_info;
            reply({0xCC}, t_us);
            break;
        }
        case 8:
            flash_.set_calibration_complete(false);
            next_page_ = 1;
            expect_ = Expect::calibration;
            reply({0xCC}, t_us);
            break;
        case 28:
            expect_ = Expect::system_data;
            reply({0xCC}, t_us);
            break;
        case 14: laser_on_ = frame_[1] != 0; break;  // the laser switch: no reply
        case 254: ++stops_; break;                    // stop: no reply
        default: break;                               // not a command of this controller
    }
}

void EmulatedController::on_page(double t_us) {
    ++pages_;
    if (options_.drop_at_page > 0 && pages_ >= options_.drop_at_page) {
        go_dead();
        return;
    }
    switch (expect_) {
        case Expect::file_info:
            flash_.write_page(file_start_, frame_);
            expect_ = Expect::file_head;
            reply({0xCC}, t_us);
            break;
        case Expect::file_head:
            flash_.write_page(file_start_ + 1, frame_);
            if (file_pages_ == 0) {  // a file without data is complete with its headers
                flash_.complete_file(file_start_);
                expect_ = Expect::command;
            } else {
                next_page_ = 1;
                expect_ = Expect::file_data;
            }
            reply({0xCC}, t_us);
            break;
        case Expect::file_data:
            flash_.write_page(file_start_ + 1 + next_page_, frame_);
            if (next_page_ < file_pages_) {
                ++next_page_;
                reply({0xCC}, t_us);
            } else {
                flash_.complete_file(file_start_);
                expect_ = Expect::command;
                reply_status(0xAA, 0, t_us);
            }
            break;
        case Expect::calibration:
            flash_.write_calibration_page(next_page_, frame_);
            if (next_page_ < kCalibrationPages) {
                ++next_page_;
                reply({0xCC}, t_us);
            } else {
                flash_.set_calibration_complete(true);
                expect_ = Expect::command;
                reply_status(0xAA, 0, t_us);
            }
            break;
        case Expect::system_data:
            flash_.set_system_page(frame_);
            expect_ = Expect::command;
            reply_status(0xAA, 0, t_us);
            break;
        case Expect::command: break;  // not reached: commands are 5 bytes
    }
}

void EmulatedController::run_stored_jobs(double t_us) {
    ++runs_;
    job_errors_since_run_ = false;
    if (!flash_.has_system_page()) return;
    const FlashPage& sys = flash_.system_page();
    const int files = sys[4] < 85 ? sys[4] : 85;
    if (head_.t_us < t_us) head_.t_us = t_us;
    for (int j = 0; j < files; ++j) {
        const std::size_t at = 256 + 3 * static_cast<std::size_t>(j);
        const int32_t start = sys[at] | sys[at + 1] << 8 | sys[at + 2] << 16;
        const std::vector<uint8_t> job = flash_.file_data(start);
        if (job.empty() || !check_job(job.data(), job.size()).ok) {
            // File 0 made of whole 5-byte entries is the point table a host downloads ahead of its
            // jobs (which then start at file 1): a table to look points up in, nothing to run.
            if (j == 0 && !job.empty() && job.size() % kPointEntryBytes == 0) continue;
            ++job_errors_;
            job_errors_since_run_ = true;
            continue;
        }
        run_job(job.data(), job.size(), head_, marks_);
    }
}

}  // namespace korvex
