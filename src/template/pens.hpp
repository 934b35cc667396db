// Pens: the 30 values of a pen in the order a template file holds them, and Pen_select, which makes
// a pen's values the current marking parameters (speeds, gate delays, laser, pulse mode, passes).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>

#include "core/value_reader.hpp"
#include "state/state.hpp"

namespace korvex {

// One value of a pen: its name, its place among the pen's 30 values in a template file (1-30),
// its unit, and the record field it is stored in.
struct PenField {
    const char* name;
    int file_position;
    const char* unit;
    using Member = std::variant<int16_t PenRecord::*, int32_t PenRecord::*, float PenRecord::*, std::string PenRecord::*>;
    Member member;
};

inline constexpr int kPenFileValues = 30;
// The pen's values in record order.
extern const std::array<PenField, kPenFileValues> kPenFields;
// The same values in file order (position 1 first).
const std::array<PenField, kPenFileValues>& Pen_fields_in_file_order();

// Bounds of the two pen values that decide how long the laser works on one cell. A software pulse
// lasts at most one laser period, and the longest period is 2000 us (the laser controller's lowest
// frequency, 0.5 kHz): a longer "pulse" is a gate held open for every scanner step. A cell marked
// more than 1000 times in a row is no station's job but a damaged or mistyped value.
inline constexpr float kMaxPulseWidthUs = 2000.0f;
inline constexpr int32_t kMaxPenPasses = 1000;

// Reads the next value of `reader` into the field (integers rounded half to even and range-checked).
// PenPulseWidth outside 0 to kMaxPulseWidthUs and PenPasses above kMaxPenPasses are overflow faults
// naming the value and its bound (the value is stored first).
void Pen_field_read(PenRecord& pen, const PenField& field, ValueReader& reader);
// The field's value as text (numbers in their shortest exact form).
std::string Pen_field_text(const PenRecord& pen, const PenField& field);

// Selects pen `pen` (0-256, else an index fault): nothing when it is already current; otherwise its
// values become the current marking parameters, Speed_apply runs (laser programmed) and the pen's
// settle time (ms) is waited.
void Pen_select(State& s, int32_t pen);

}  // namespace korvex
