// Scan engine state: the current and last corrected scanner positions, the pacing times of both
// axes, the direction table that maps logical moves onto the D/A channels, and the zone scale
// factors of the field correction, with the reciprocals its coefficient model derives once.
#pragma once

#include <array>
#include <cstdint>

#include "state/table.hpp"

namespace korvex {

inline constexpr int kDirTableEntries = 48;  // 4 orientations x 2 axes x 2 directions x (channel, sign, code)
inline constexpr int kZoneRows = 301;
inline constexpr int kZoneCols = 8;

// What the coefficient model of the field correction derives from the hardware record once, not at
// every step: the reciprocals it multiplies by and the zone edges, with the values they were made
// from (a change of any of them makes them anew). Not a machine field: nothing reads it but the
// correction.
struct CoefficientScale {
    float steps_per_mm = 0.0f;          // made from sngStepsPerMm,
    int32_t field_x_mm = 0;             // lngFieldSizeX,
    int32_t field_y_mm = 0;             // lngFieldSizeY
    int32_t zone_count = 0;             // and lngZoneCount
    bool usable = false;                // all of them in the range where products can stand in
    double zones_per_step_x = 0.0;      // 1 / (steps per mm x zone width in mm), along X and Y
    double zones_per_step_y = 0.0;
    double per_x_span_steps = 0.0;      // 1 / (steps per mm x field height): the X scale's slope
    double per_y_span_steps = 0.0;      // 1 / (steps per mm x field width): the Y scale's slope
    // edge_x_steps[n]: the least distance from the centre, in D/A steps, whose zone is n or more
    // (0 for zone 0, infinity past the last zone); the same along Y.
    std::array<float, kZoneRows + 1> edge_x_steps{};
    std::array<float, kZoneRows + 1> edge_y_steps{};
};

struct ScanGroup {
    int32_t lngPosX = 0;     // current position, uncorrected, D/A steps
    int32_t lngPosY = 0;
    int32_t lngCorrX = 0;    // last corrected position sent
    int32_t lngCorrY = 0;
    double dblTimeX = 0.0;   // us, pacing reference of the X output
    double dblTimeY = 0.0;   // us, pacing reference of the Y output
    Table<int16_t, kDirTableEntries> varDirTable;
    Table2<float, kZoneRows, kZoneCols> zoneTable;
    CoefficientScale coefficient_scale;
};

}  // namespace korvex
