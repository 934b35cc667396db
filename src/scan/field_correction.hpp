// Field correction: where a logical scanner position must really be sent so the spot lands where
// it should. With a calibration grid, a per-cell offset; without one, the distortion coefficients
// by field turn and the zone scale factors.
#pragma once

#include <cstdint>

#include "core/system_texts.hpp"
#include "state/state.hpp"

namespace korvex {

// Replaces (x, y), in D/A steps, by the corrected position.
void Grid_correct(State& s, int32_t& x, int32_t& y);

// The grid's raster: 512 x 512 cells of 128 x 128 steps, its first cell edge at -32768.
inline constexpr int32_t kGridCellSteps = 128;
inline constexpr int32_t kGridColumns = 512;
inline constexpr int32_t kGridOrigin = -32768;
// The grid entry of the cell holding (x, y): row x 512 + column, divisions truncating toward zero
// (not checked against the table; the table checks).
int64_t Grid_cell(int32_t x, int32_t y);

using ZoneTable = decltype(ScanGroup::zoneTable);
// The coefficient model's corrected position (X'', Y'') of (x, y) in D/A steps before it is rounded,
// from the hardware record's turn, coefficients, field size, zone count and steps per mm and the
// zone table, by division as its formulas read. Calibration tools fit the model with it.
void Coefficient_position(const HardwareRecord& hw, const ZoneTable& zones, double x, double y, float& x2, float& y2);

// The coefficient model (no grid loaded) two ways with one result: by division, as its formulas
// read (faults included), and by multiplication with reciprocals made once for the hardware
// values in force. The second returns false, leaving x and y alone, wherever it cannot be sure of
// the first's result to the last bit; Grid_correct then takes the first.
void Coefficient_model_by_division(State& s, int32_t& x, int32_t& y);
bool Coefficient_model_by_products(State& s, int32_t& x, int32_t& y);

}  // namespace korvex
