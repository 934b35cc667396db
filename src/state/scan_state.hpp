// Scan engine state: the current and last corrected scanner positions, the pacing times of both
// axes, the direction table that maps logical moves onto the D/A channels, and the zone scale
// factors of the field correction.
#pragma once

#include <cstdint>

#include "state/table.hpp"

namespace korvex {

inline constexpr int kDirTableEntries = 48;  // 4 orientations x 2 axes x 2 directions x (channel, sign, code)
inline constexpr int kZoneRows = 301;
inline constexpr int kZoneCols = 8;

struct ScanGroup {
    int32_t lngPosX = 0;     // current position, uncorrected, D/A steps
    int32_t lngPosY = 0;
    int32_t lngCorrX = 0;    // last corrected position sent
    int32_t lngCorrY = 0;
    double dblTimeX = 0.0;   // us, pacing reference of the X output
    double dblTimeY = 0.0;   // us, pacing reference of the Y output
    Table<int16_t, kDirTableEntries> varDirTable;
    Table2<float, kZoneRows, kZoneCols> zoneTable;
};

}  // namespace korvex
