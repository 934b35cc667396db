// MachineModel: the machine behind the simulated card. It watches every card write and turns the
// signals into physics: the laser gate (emitting or not, by its wired bit and polarity), the
// laser's enable and standby lines, the laser controller's settings decoded from its registers,
// the power level latched from the output lines, the scanner spot from the D/A channels and the
// rotary axis from its step and direction lines. Its product is the job's marks, each with its
// machine time, so a test can ask what the laser received, where the axis is and what was drawn.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "korvex/clock.hpp"
#include "sim/head_distortion.hpp"
#include "sim/marks.hpp"
#include "sim/simulated_card.hpp"

namespace korvex {

// Which card line drives what on this machine. Output bits are 0-15 (8-15 on output byte 1), any
// other number is a line that is not connected. Levels are the electrical 0 or 1 on the line.
struct MachineWiring {
    int gate_bit = 7;
    int gate_emitting_level = 0;        // the laser emits while the gate line is at this level
    int enable_bit = 4;                 // laser enable (pulse-generator lasers)
    int enable_active_level = 0;
    int standby_bit = 4;                // laser standby: sleeps while the line is at sleep level
    int standby_sleep_level = 1;
    int out15_bit = 15;                 // the auxiliary line driven at start-up
    int power_latch_bit = 6;            // latches the power nibble of output byte 1 ...
    int power_latch_level = 0;          // ... on the edge to this level (the end of its pulse)
    int axis_step_bit = 1;              // one step per edge to axis_step_level
    int axis_step_level = 0;
    int axis_dir_bit = 0;
    int axis_reverse_level = 1;         // steps go in reverse while the direction line is here
    // Optional travel-end switches of the axis: when on, input limit_fwd_input reads 0 while the
    // position is at or beyond fwd_limit_steps, limit_rev_input while at or below rev_limit_steps.
    bool axis_limits = false;
    int limit_fwd_input = 4;
    int limit_rev_input = 3;
    int32_t fwd_limit_steps = 0;
    int32_t rev_limit_steps = 0;
};

// How D/A loads become marks.
struct MarkSettings {
    // The library loads a point's two channels back to back: the second load's data follows the
    // first load's idle code after no longer than the first load took from its load code to its
    // idle code (one bus access, or the slow-load wait plus one). A load of the other channel
    // that starts within that time plus this slack completes the same point, one diagonal move
    // instead of an L. Negative: never pair.
    double point_slack_us = 1.0;
    // The channel the scan engine loads first within a point (its X channel: 0 for the field
    // orientations 0 and 2, 1 for 1 and 3); -1 accepts either order. Pairing only in this order
    // keeps a segment's last one-channel step and the next segment's first step, which the pacing
    // can also put back to back, from being taken for one diagonal point at a corner.
    int first_channel = 0;
    // Merged runs stay within this distance of their chord, in D/A units ...
    double tolerance_da = 1.0;
    // ... or within the step that reached a point, for steps up to this long: the staircase of a
    // stepped vector is one line, while a longer move is a turn of its own. The default is the
    // 0.1 mm spot at 100 units a mm: steps finer than the spot never show on the part. 0: off.
    double step_tolerance_max_da = 10.0;
    // A dark stretch of jump movements is one jump, from where the light went off to where the next
    // mark starts (its path is not marked).
    bool whole_jumps = true;
    // false: the machine is followed as ever (spot, gate, axis, laser) but no marks are kept, for
    // long runs whose marks nobody reads.
    bool record = true;
};

// The laser controller's settings as its registers hold them (registers never written are unset).
struct LaserSettings {
    bool type_set = false;
    int type = 0;
    bool level_set = false;
    int power_level = 0;              // registers 1 (high) and 2 (low); 4096 is full scale
    bool pulse_high_set = false;
    bool pulse_low_set = false;
    uint16_t pulse_high_reload = 0;   // registers 3 (high) and 4 (low)
    uint16_t pulse_low_reload = 0;    // registers 5 (high) and 6 (low)
    double pulse_high_us = 0.0;       // (65536 - reload) / 8.17
    double pulse_low_us = 0.0;
    // The power code latched from the low nibble of output byte 1 (0 = full power, 15 = least).
    bool output_level_latched = false;
    int output_level = 0;
    uint64_t output_latches = 0;

    double period_us() const { return pulse_high_us + pulse_low_us; }
    double frequency_khz() const { return period_us() > 0.0 ? 1000.0 / period_us() : 0.0; }
};

class MachineModel : public CardListener {
public:
    static constexpr double kTimerTicksPerUs = 8.17;

    MachineModel(SimulatedCard& card, Clock& clock, MachineWiring wiring = {}, MarkSettings settings = {});
    ~MachineModel() override;
    MachineModel(const MachineModel&) = delete;
    MachineModel& operator=(const MachineModel&) = delete;

    // Rewiring takes effect at once (a gate that now reads emitting opens now).
    void set_wiring(const MachineWiring& wiring);
    const MachineWiring& wiring() const { return wiring_; }
    void set_mark_settings(const MarkSettings& settings);
    const MarkSettings& mark_settings() const { return settings_; }
    // The head the spot lands through: ideal (D/A value / head scale) unless switched on. The marks
    // stay in D/A units; pictures, marks files and the summary land them through this head.
    void set_head(const HeadDistortion& head) { head_ = head; }
    const HeadDistortion& head() const { return head_; }

    // Laser.
    bool gate_emitting() const { return emitting_; }
    uint64_t gate_openings() const { return openings_; }
    uint64_t gate_closings() const { return closings_; }
    bool laser_enabled() const;
    bool laser_sleeping() const;
    bool out15_active() const;  // the line is driven low
    LaserSettings laser_settings() const;

    // Scanner spot in signed D/A units (channel 0, channel 1).
    int32_t spot_x() const { return spot_[0]; }
    int32_t spot_y() const { return spot_[1]; }
    uint64_t da_loads() const { return da_loads_; }

    // Rotary axis.
    int32_t axis_position() const { return axis_pos_; }
    uint64_t axis_steps() const { return axis_steps_; }
    // Steps commanded while the travel-end switch of that direction was already active.
    uint64_t axis_overtravel_steps() const { return overtravel_; }

    // Marks so far (the open one included).
    const MarkRecorder& recorder() const { return marks_; }
    std::vector<Mark> marks() const { return marks_.all(); }
    void write_marks(std::ostream& out, bool with_time = false) const { korvex::write_marks(out, marks_, with_time); }
    // Lengths at the head's scale (where a distorted head lands them), switchings, machine time now.
    MarkSummary summary(double head_steps_per_mm) const;
    // Forgets the marks and counters (a new job); the machine's state (spot, gate, axis) stays.
    void clear_marks();

private:
    void on_write(uint8_t page, uint8_t offset, uint8_t value) override;
    double now_us() const;
    int line_level(int bit) const;  // -1 for an unconnected line
    bool gate_reads_emitting() const;
    void output_written(int index);
    void da_loaded(int channel, double t_us);
    bool completes_pending_point(int mask) const;
    void gate_changed(bool emitting, double t_us);
    void axis_stepped(double t_us);
    void update_limit_inputs();
    void apply_merge_rules();

    SimulatedCard& card_;
    Clock& clock_;
    MachineWiring wiring_;
    MarkSettings settings_;
    HeadDistortion head_;
    MarkRecorder marks_;

    uint8_t out_prev_[2] = {0, 0};
    bool out_driven_[2] = {false, false};  // written since the card was opened
    bool emitting_ = false;
    double open_since_us_ = 0.0;
    int32_t open_x_ = 0, open_y_ = 0;
    bool moved_while_open_ = false;
    uint64_t openings_ = 0, closings_ = 0;
    uint64_t switchings_base_ = 0;  // openings + closings at the last clear_marks()
    bool latched_ = false;
    int latched_level_ = 0;
    uint64_t latches_ = 0;

    int32_t spot_[2] = {0, 0};
    int pending_channels_ = 0;  // channels loaded in the point being assembled (bit 0, bit 1)
    double low_us_ = 0.0;       // last D/A low-byte write: the start of a load sequence
    double load_us_ = 0.0;      // last load code
    double idle_us_ = -1.0;     // idle code after the last load code (-1: none yet)
    uint64_t da_loads_ = 0;

    int32_t axis_pos_ = 0;
    uint64_t axis_steps_ = 0;
    uint64_t overtravel_ = 0;
};

}  // namespace korvex
