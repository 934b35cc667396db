// The hardware defaults and the direction table. The record's defaults sit beside its field list
// (state/hardware_record.hpp); this file applies them with the other start values.
#include "device/hardware_table.hpp"

#include <array>

#include "device/timer.hpp"

namespace korvex {

// Four groups of 12 (one per field orientation lngFieldTurn); in a group X positive, X negative,
// Y positive, Y negative, each as (D/A channel, sign, bit code).
static constexpr std::array<int16_t, kDirTableEntries> kDirectionTable{
    0, 1, 2, 0, -1, 8, 1, 1, 4, 1, -1, 1,   // turn 0
    1, 1, 4, 1, -1, 1, 0, -1, 8, 0, 1, 2,   // turn 1
    0, -1, 8, 0, 1, 2, 1, -1, 1, 1, 1, 4,   // turn 2
    1, -1, 1, 1, 1, 4, 0, 1, 2, 0, -1, 8,   // turn 3
};

void Hardware_defaults(State& s, int32_t mode) {
    if (mode == kHardwareDefaults) {
        for (const HardwareField& f : hardware_fields())
            if (f.has_default) hardware_field_store(s.hw, f, f.default_value);
        for (int col = 0; col < kZoneCols; ++col) s.scan.zoneTable.at(0, col) = 1.0f;
        s.card.bytOutPort0 = 0;
        s.card.bytOutPort1 = 0;
        s.sig.blnGateEnable = kTrue;
        s.sig.blnLaserSleeping = kTrue;
        s.scan.dblTimeX = s.scan.dblTimeY = Timer_now_us(s);
        s.scan.lngCorrX = 0;
        s.scan.lngCorrY = 0;
    } else if (mode == kHardwareDirectionTable) {
        for (int i = 0; i < kDirTableEntries; ++i) s.scan.varDirTable.at(i) = kDirectionTable[static_cast<std::size_t>(i)];
        s.scan.dblTimeX = s.scan.dblTimeY = Timer_now_us(s);
    }
}

}  // namespace korvex
