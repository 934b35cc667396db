// HardwareRecord: the machine's fixed hardware settings (output bit assignments, field geometry,
// distortion coefficients, D/A gains, rotary axis) as 73 fields in their fixed order. A template file
// fills them by number, so each field also has a descriptor: number, type, place in the record and,
// where it has one, the value the hardware defaults give it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/numeric.hpp"

namespace korvex {

// The field list, in record order: X(number, kind, C++ type, name, has a default, default value).
// Fields no operation reads keep a placeholder name (unusedNN) but are stored and loaded all the same.
// Fields without a default are left alone by the defaults and set by device initialization.
#define KORVEX_HARDWARE_FIELDS(X)                           \
    X(1, i32, int32_t, lngFieldTurn, true, 0)               \
    X(2, i32, int32_t, lngFieldSizeX, true, 110)            \
    X(3, i32, int32_t, lngFieldSizeY, true, 110)            \
    X(4, i32, int32_t, unused04, true, 200)                 \
    X(5, i32, int32_t, unused05, true, 200)                 \
    X(6, i32, int32_t, unused06, true, 200)                 \
    X(7, i32, int32_t, unused07, true, 200)                 \
    X(8, single, float, unused08, false, 0)                 \
    X(9, i16, int16_t, intLaserType, false, 0)              \
    X(10, single, float, sngLaserMaxPower, false, 0)        \
    X(11, single, float, sngLaserMaxFreq, false, 0)         \
    X(12, i16, int16_t, intPulseWidthUs, false, 0)          \
    X(13, i16, int16_t, unused13, true, 1000)               \
    X(14, single, float, unused14, true, 0)                 \
    X(15, single, float, unused15, true, 0)                 \
    X(16, single, float, sngDaGain0, true, 1.0)             \
    X(17, single, float, sngDaGain1, true, 1.0)             \
    X(18, single, float, sngDriftRate0, true, 0)            \
    X(19, single, float, sngDriftRate1, true, 0)            \
    X(20, single, float, unused20, true, 0)                 \
    X(21, boolean, vbool, unused21, true, 0)                \
    X(22, single, float, unused22, true, 0)                 \
    X(23, i32, int32_t, lngDaMode, true, 10)                \
    X(24, single, float, sngWakeDelay, true, 0)             \
    X(25, boolean, vbool, unused25, true, 0)                \
    X(26, boolean, vbool, unused26, true, 0)                \
    X(27, boolean, vbool, unused27, true, 0)                \
    X(28, boolean, vbool, blnAxisDirLevel, true, 0)         \
    X(29, boolean, vbool, blnGateLevel, true, -1)           \
    X(30, dbl, double, unused30, true, 1.0)                 \
    X(31, i32, int32_t, unused31, true, 0)                  \
    X(32, i32, int32_t, unused32, true, 0)                  \
    X(33, single, float, sngDistortA, true, 0)              \
    X(34, single, float, sngDistortB, true, 0)              \
    X(35, single, float, sngDistortC, true, 0)              \
    X(36, single, float, sngDistortD, true, 0)              \
    X(37, i32, int32_t, lngZoneCount, true, 1)              \
    X(38, i32, int32_t, unused38, false, 0)                 \
    X(39, boolean, vbool, blnDaSlow, true, 0)               \
    X(40, single, float, sngStepsPerMm, true, 280.0)        \
    X(41, dbl, double, unused41, true, 0.001)               \
    X(42, dbl, double, unused42, true, 0.001)               \
    X(43, dbl, double, unused43, true, 0.001)               \
    X(44, dbl, double, dblAxisStepsPerRev, true, 2000.0)    \
    X(45, i32, int32_t, unused45, true, 0)                  \
    X(46, i32, int32_t, unused46, true, 0)                  \
    X(47, i32, int32_t, unused47, true, 0)                  \
    X(48, i32, int32_t, lngAxisRampSteps, true, 0)          \
    X(49, i32, int32_t, unused49, true, 0)                  \
    X(50, i32, int32_t, unused50, true, 0)                  \
    X(51, i32, int32_t, unused51, true, 0)                  \
    X(52, i32, int32_t, lngAxisStartPeriod, true, 0)        \
    X(53, i32, int32_t, unused53, true, 0)                  \
    X(54, i32, int32_t, unused54, true, 0)                  \
    X(55, i32, int32_t, unused55, true, 0)                  \
    X(56, i32, int32_t, unused56, true, 0)                  \
    X(57, i16, int16_t, unused57, true, 3)                  \
    X(58, i16, int16_t, unused58, true, 2)                  \
    X(59, i16, int16_t, unused59, true, 0)                  \
    X(60, i16, int16_t, unused60, true, 0)                  \
    X(61, i16, int16_t, intAxisStepBit, true, 1)            \
    X(62, i16, int16_t, intAxisDirBit, true, 0)             \
    X(63, i16, int16_t, unused63, true, 12)                 \
    X(64, i16, int16_t, unused64, true, 5)                  \
    X(65, i16, int16_t, intGateBit, true, 7)                \
    X(66, i16, int16_t, intStandbyBit, true, 4)             \
    X(67, i16, int16_t, unused67, true, 0)                  \
    X(68, i16, int16_t, intAxisLimitFwd, true, 4)           \
    X(69, i16, int16_t, intAxisLimitRev, true, 3)           \
    X(70, i16, int16_t, unused70, true, 5)                  \
    X(71, i16, int16_t, unused71, true, 6)                  \
    X(72, i16, int16_t, unused72, true, 2)                  \
    X(73, i16, int16_t, unused73, true, 1)

// Zeroed at library load like all machine state; Hardware_defaults gives the fields their values.
struct HardwareRecord {
#define KORVEX_HW_MEMBER(number, kind, ctype, name, has_default, value) ctype name = 0;
    KORVEX_HARDWARE_FIELDS(KORVEX_HW_MEMBER)
#undef KORVEX_HW_MEMBER
};

inline constexpr int kHardwareFieldCount = 73;

// How a field is stored: 16-bit, 32-bit, Single, Double or 16-bit Boolean.
enum class HardwareFieldType : uint8_t { i16, i32, single, dbl, boolean };

struct HardwareField {
    int16_t number;          // 1-73, the field's place in the record and in a template file
    HardwareFieldType type;
    std::size_t offset;      // byte offset in HardwareRecord
    const char* name;
    bool has_default;        // false: the defaults leave it alone
    double default_value;
};

// All 73 descriptors in record order (entry i is field i + 1).
std::span<const HardwareField> hardware_fields();
// The descriptor of field `number`; outside 1-73 an index fault.
const HardwareField& hardware_field(int32_t number);

// Stores a value into a field with the field's own conversion: integers round half to even and
// must fit (else an overflow fault), Singles are range-checked, Booleans become True (-1) for any
// non-zero value and False for 0.
void hardware_field_store(HardwareRecord& record, const HardwareField& field, double value);
// The field's current value as a Double.
double hardware_field_value(const HardwareRecord& record, const HardwareField& field);

}  // namespace korvex
