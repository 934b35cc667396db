// Job packing: the host's vector array translated into the stand-alone controller's job language
// (speed headers as timer values, laser power and frequency records, gate waits, moves, laser on and
// off, dot lists and pulse trains), appended to the one job buffer that Marking_end later files per
// scan head. Values that cannot be encoded are faults, never wrapped bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "state/state.hpp"

namespace korvex {

// Job language opcodes.
namespace job_op {
inline constexpr uint8_t kEnd = 0x00;
inline constexpr uint8_t kLaserOn = 0x01;
inline constexpr uint8_t kLaserOff = 0x02;
inline constexpr uint8_t kStepMultiple = 0x40;
inline constexpr uint8_t kTimer = 0x50;
inline constexpr uint8_t kTimer2 = 0x51;
inline constexpr uint8_t kMove = 0x60;
inline constexpr uint8_t kDotList = 0x61;
inline constexpr uint8_t kWait = 0x80;
inline constexpr uint8_t kPower = 0xB0;
inline constexpr uint8_t kFrequency = 0xB1;
inline constexpr uint8_t kDrTime = 0xC0;
}  // namespace job_op

// The packer's reset: empty job, laser values forgotten (dr_time -1).
void Job_packer_reset(State& s);

// marking_start in stand-alone mode: no scanner to centre here, so the position records are zeroed
// and the packer starts a new job. Returns 1.
int16_t Link_job_start(State& s);

// Marking_data in stand-alone mode: packs every record of md (the first always, then until a record
// starts with exactly 0). Returns 1. The packer may write clamped values back into md and offPara.
// A record that faults is taken out again: the job ends with the last whole record.
int16_t Marking_data_standalone(State& s, std::vector<double>& md);

// Appends the record whose first value is md(i).
void Job_pack_record(State& s, int32_t& pos, std::vector<double>& md, int32_t i);
// Appends power, frequency and dr_time records for the values that changed since last written.
void Job_pack_laser(State& s, int32_t& pos);
// Converts (x, y) mm into controller steps in lngXBytes / lngYBytes (|steps| of 65 536 or more is an
// overflow fault).
void Coord_bytes(State& s, double x, double y);
// Appends the return to (0, 0) at jump speed and the end byte.
void Job_close(State& s, int32_t& pos);
void Split_long_bytes(int32_t value, uint8_t& b0, uint8_t& b1, uint8_t& b2, uint8_t& b3);

// The three speed header records for v mm/s.
void Speed_header(State& s, int32_t& pos, float v);
// The jump speed after its correction (at least 100 mm/s), written back into offPara.
float Jump_speed(State& s);
// The marking speed after its correction (above the slowest the timer can step), written back.
float Mark_speed(State& s);
// The slowest speed the controller's 16-bit timer can step at, as a Single.
float Slowest_speed(double su);

// Laser power code by laser type: type 5 one 16-bit value (p0 low, p1 high); type 2 a byte scaled
// to 256 (at most 255) twice; type 1 (and, unless `other_types_zero`, every other type) a byte
// scaled to 255 twice; other types 0, 0 when `other_types_zero`.
void Laser_power_code(State& s, float power, bool other_types_zero, int64_t& p0, int64_t& p1);
// Frequency timer value for kHz.
int64_t Laser_freq_code(float khz);

}  // namespace korvex
