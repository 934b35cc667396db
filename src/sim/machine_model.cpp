// The simulated machine's physics, driven by the card's writes.
//
// Only writes that the open card took on its resting page move anything: an unopened card changes
// nothing, and the registers are the truth (the model reads back the card's output bytes, D/A
// channels and laser registers instead of decoding the bus twice).
//
// The gate line counts as undriven until the library first writes the output byte carrying it
// after the card was opened: the zero the latch holds at power-up is not a request for light.
// (With the usual wiring, emitting at level 0, the laser would otherwise fire from power-up until
// initialization closes the gate.)
#include "sim/machine_model.hpp"

#include "sim/landed_marks.hpp"

namespace korvex {

MachineModel::MachineModel(SimulatedCard& card, Clock& clock, MachineWiring wiring, MarkSettings settings)
    : card_(card), clock_(clock), wiring_(wiring), settings_(settings), marks_(settings.tolerance_da) {
    out_prev_[0] = card_.output_byte(0);
    out_prev_[1] = card_.output_byte(1);
    spot_[0] = card_.da_channel(0);
    spot_[1] = card_.da_channel(1);
    apply_merge_rules();
    card_.add_listener(this);
    if (wiring_.axis_limits) update_limit_inputs();
}

MachineModel::~MachineModel() { card_.remove_listener(this); }

double MachineModel::now_us() const {
    return static_cast<double>(clock_.counter()) * 1e6 / static_cast<double>(clock_.frequency());
}

int MachineModel::line_level(int bit) const {
    if (bit < 0 || bit > 15) return -1;
    return (card_.output_byte(bit >> 3) >> (bit & 7)) & 1;
}

bool MachineModel::gate_reads_emitting() const {
    const int bit = wiring_.gate_bit;
    if (bit < 0 || bit > 15 || !out_driven_[bit >> 3]) return false;
    return line_level(bit) == wiring_.gate_emitting_level;
}

bool MachineModel::laser_enabled() const { return line_level(wiring_.enable_bit) == wiring_.enable_active_level; }
bool MachineModel::laser_sleeping() const { return line_level(wiring_.standby_bit) == wiring_.standby_sleep_level; }
bool MachineModel::out15_active() const { return line_level(wiring_.out15_bit) == 0; }

void MachineModel::set_wiring(const MachineWiring& wiring) {
    wiring_ = wiring;
    const bool emitting = gate_reads_emitting();
    if (emitting != emitting_) gate_changed(emitting, now_us());
    if (wiring_.axis_limits) update_limit_inputs();
}

void MachineModel::set_mark_settings(const MarkSettings& settings) {
    settings_ = settings;
    apply_merge_rules();
}

void MachineModel::apply_merge_rules() {
    marks_.set_tolerance_da(settings_.tolerance_da);
    marks_.set_step_tolerance_max_da(settings_.step_tolerance_max_da);
    marks_.set_whole_jumps(settings_.whole_jumps);
}

void MachineModel::on_write(uint8_t page, uint8_t offset, uint8_t value) {
    if (!card_.is_open() || page != card_reg::kRestPage) return;
    switch (offset) {
        case card_reg::kOut0: output_written(0); break;
        case card_reg::kOut1: output_written(1); break;
        case card_reg::kDaLow: low_us_ = now_us(); break;
        case card_reg::kDaControl:
            if (value == card_reg::kDaLoad0) da_loaded(0, now_us());
            else if (value == card_reg::kDaLoad1) da_loaded(1, now_us());
            else if (value == card_reg::kDaIdle && idle_us_ < 0.0) idle_us_ = now_us();
            break;
        default: break;
    }
}

void MachineModel::output_written(int index) {
    const uint8_t before = out_prev_[index];
    const uint8_t after = card_.output_byte(index);
    out_prev_[index] = after;
    out_driven_[index] = true;
    // Did this write move `bit` (wired to this byte) to `level`?
    auto edge_to = [&](int bit, int level) {
        if (bit < 0 || bit > 15 || (bit >> 3) != index) return false;
        const int shift = bit & 7;
        return ((before ^ after) >> shift & 1) != 0 && ((after >> shift) & 1) == level;
    };
    const double t = now_us();
    if (edge_to(wiring_.power_latch_bit, wiring_.power_latch_level)) {
        latched_ = true;
        latched_level_ = card_.output_byte(1) & 0x0F;
        ++latches_;
    }
    if (edge_to(wiring_.axis_step_bit, wiring_.axis_step_level)) axis_stepped(t);
    const bool emitting = gate_reads_emitting();
    if (emitting != emitting_) gate_changed(emitting, t);
}

bool MachineModel::completes_pending_point(int mask) const {
    if (pending_channels_ == 0 || (pending_channels_ & mask) != 0 || settings_.point_slack_us < 0.0) return false;
    if (settings_.first_channel >= 0 && pending_channels_ != 1 << settings_.first_channel) return false;
    if (idle_us_ < 0.0 || low_us_ < idle_us_) return false;
    return low_us_ - idle_us_ <= (idle_us_ - load_us_) + settings_.point_slack_us;
}

void MachineModel::da_loaded(int channel, double t_us) {
    ++da_loads_;
    const int mask = 1 << channel;
    const bool same_point = completes_pending_point(mask);
    load_us_ = t_us;
    idle_us_ = -1.0;
    const int32_t value = card_.da_channel(channel);
    if (value == spot_[channel]) {  // reloading the same value moves nothing
        pending_channels_ = 0;
        return;
    }
    const int32_t x0 = spot_[0], y0 = spot_[1];
    spot_[channel] = value;
    if (emitting_) moved_while_open_ = true;
    if (same_point) {
        if (settings_.record) marks_.amend_last_move(spot_[0], spot_[1], t_us);
        pending_channels_ |= mask;
        return;
    }
    if (settings_.record) marks_.move(x0, y0, spot_[0], spot_[1], emitting_, t_us, t_us);
    pending_channels_ = mask;
}

void MachineModel::gate_changed(bool emitting, double t_us) {
    pending_channels_ = 0;
    marks_.close();
    emitting_ = emitting;
    if (emitting) {
        ++openings_;
        open_since_us_ = t_us;
        open_x_ = spot_[0];
        open_y_ = spot_[1];
        moved_while_open_ = false;
    } else {
        ++closings_;
        if (!moved_while_open_ && settings_.record) marks_.dot(open_x_, open_y_, open_since_us_, t_us);
    }
}

void MachineModel::axis_stepped(double t_us) {
    pending_channels_ = 0;
    const int direction = line_level(wiring_.axis_dir_bit) == wiring_.axis_reverse_level ? -1 : 1;
    if (wiring_.axis_limits) {
        const bool at_end = direction > 0 ? axis_pos_ >= wiring_.fwd_limit_steps : axis_pos_ <= wiring_.rev_limit_steps;
        if (at_end) ++overtravel_;
    }
    axis_pos_ += direction;
    ++axis_steps_;
    if (settings_.record) marks_.axis_step(direction, t_us);
    if (wiring_.axis_limits) update_limit_inputs();
}

void MachineModel::update_limit_inputs() {
    // Switches read 0 while they are pressed.
    card_.set_input_bit(wiring_.limit_fwd_input, axis_pos_ >= wiring_.fwd_limit_steps ? 0 : 1);
    card_.set_input_bit(wiring_.limit_rev_input, axis_pos_ <= wiring_.rev_limit_steps ? 0 : 1);
}

LaserSettings MachineModel::laser_settings() const {
    unsigned written = 0;  // bit r: register r was written
    for (const SimulatedCard::LaserRegisterWrite& w : card_.laser_writes())
        if (w.reg < 32) written |= 1u << w.reg;
    auto has = [&](int r) { return (written >> r & 1) != 0; };
    auto word = [&](int high, int low) {
        return static_cast<uint16_t>(card_.laser_register(static_cast<uint8_t>(high)) << 8 |
                                     card_.laser_register(static_cast<uint8_t>(low)));
    };
    auto reload_us = [](uint16_t reload) { return (65536.0 - reload) / kTimerTicksPerUs; };
    LaserSettings ls;
    ls.type_set = has(0);
    ls.type = card_.laser_register(0);
    ls.level_set = has(1) && has(2);
    ls.power_level = word(1, 2);
    ls.pulse_high_set = has(3) && has(4);
    ls.pulse_high_reload = word(3, 4);
    ls.pulse_high_us = ls.pulse_high_set ? reload_us(ls.pulse_high_reload) : 0.0;
    ls.pulse_low_set = has(5) && has(6);
    ls.pulse_low_reload = word(5, 6);
    ls.pulse_low_us = ls.pulse_low_set ? reload_us(ls.pulse_low_reload) : 0.0;
    ls.output_level_latched = latched_;
    ls.output_level = latched_level_;
    ls.output_latches = latches_;
    return ls;
}

MarkSummary MachineModel::summary(double head_steps_per_mm) const {
    MarkSummary s = summarize_marks(marks_, head_steps_per_mm);
    if (head_.on) landed_lengths_mm(marks_, head_, head_steps_per_mm, s.marked_mm, s.jumped_mm);
    s.laser_switchings = openings_ + closings_ - switchings_base_;
    s.machine_time_us = now_us();
    return s;
}

void MachineModel::clear_marks() {
    marks_.clear();
    pending_channels_ = 0;
    switchings_base_ = openings_ + closings_;
    if (emitting_) {  // light already on: a dot, if any, starts now
        open_since_us_ = now_us();
        open_x_ = spot_[0];
        open_y_ = spot_[1];
        moved_while_open_ = false;
    }
}

}  // namespace korvex
