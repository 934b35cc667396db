// Field groups of the laser and axis signals, the marking parameters and the device mode. Fields
// that belong to the hardware record (gate bit and level, laser type, maximum power, steps per mm,
// axis bits and ramp) live only there, in HardwareRecord.
#pragma once

#include <cstdint>

#include "core/numeric.hpp"
#include "korvex/text_path.hpp"

namespace korvex {

// Laser gate, pulse, standby and rotary axis state.
struct SignalGroup {
    vbool blnGateEnable = kFalse;     // True: the gate and the pulse train drive the gate bit
    vbool blnLaserOn = kFalse;        // laser state last asked of Laser_switch
    vbool blnAbort = kFalse;          // operator abort pending
    double dblLastPulse = 0.0;        // us, time of the last software pulse
    vbool blnLaserSleeping = kFalse;  // standby state
    vbool blnAxisReverse = kFalse;    // direction currently set on the axis direction output
    int32_t lngAxisPos = 0;           // rotary axis position, steps

    // The bit and level the library last drove the gate with (opening or closing it), once it has:
    // the station's gate line as far as the library knows it. A fault leaving a member closes that
    // line when the library left it open, or when its output shadow holds it open whoever wrote
    // it, even if a template has reassigned the gate bit or its level since. Before the first
    // gate write (a bring-up that faults before it closes the gate) nothing is known of the
    // station's wiring, and nothing is written.
    bool gate_open = false;
    bool gate_driven = false;
    int16_t gate_driven_bit = 0;
    vbool gate_driven_level = kFalse;
};

// One parameter set of the stand-alone controller: the last arguments of Marking_para.
struct HeadParaRecord {
    float ms = 0.0f;          // marking speed, mm/s
    float mms = 0.0f;         // jump speed, mm/s
    int32_t tof = 0;          // us before the gate opens
    int32_t toh = 0;          // us after the gate opens
    int32_t tcf = 0;          // us before the gate closes
    int32_t tch = 0;          // us after the gate closes
    double su = 0.0;          // step size, um
    float laserpower = 0.0f;
    float laserfre = 0.0f;    // kHz
    int32_t dr_time = 0;      // us, upper bound of the wait after a vector
};

// Process parameters: speeds, gate delays, laser values, pulse mode, and the stepping cycles
// derived from the speeds.
struct MarkingGroup {
    float sngMarkSpeed = 0.0f;     // mm/s
    float sngMarkSpeed2 = 0.0f;    // mm/s, clamped like the first, nothing derived from it is used
    float sngJumpSpeed = 0.0f;     // mm/s; 0: jumps in one move
    int32_t lngOnDelay = 0;        // us before the gate opens
    int32_t lngOnHold = 0;         // us after the gate opens
    int32_t lngOffDelay = 0;       // us before the gate closes
    int32_t lngOffHold = 0;        // us after the gate closes
    int32_t lngJumpDelay = 0;      // us, upper bound of the wait after each vector
    int32_t lngJumpDelayRate = 0;  // tenths of us per D/A step of vector length
    float sngStepTime = 0.0f;      // us per D/A step
    float sngStepTimeMax = 0.0f;   // us
    int16_t intPulseCount = 0;     // pulses per step in pulse mode
    int32_t lngPulseStep = 0;      // D/A steps per step in pulse mode
    float sngPulseWidth = 0.0f;    // us; 0: gate mode
    float sngLaserPower = 0.0f;
    float sngLaserFreq = 0.0f;     // kHz
    float sngAxisSpeed = 0.0f;     // rotary step period base, us
    int32_t lngAxisSettle = 0;     // wait after a rotary move
    float sngPenSettle = 0.0f;     // ms waited after applying parameters
    int32_t lngPasses = 0;         // marking passes of template marking
    int32_t lngCurPen = 0;         // pen whose values are loaded
    int32_t lngMarkStepN = 0;      // D/A steps per stepping cycle at marking speed
    int32_t lngMarkStepUs = 0;     // us per stepping cycle at marking speed
    int32_t lngJumpStepN = 0;      // the same at jump speed
    int32_t lngJumpStepUs = 0;
    HeadParaRecord offPara;        // the stand-alone controller's current parameter set
};

// Device mode and the outline text surface kept by device initialization.
struct DeviceGroup {
    int16_t intCardMode = 0;       // 1: stand-alone controllers; anything else: direct mode
    TextPath* picText = nullptr;   // outline-font text surface (none until initialization)
};

}  // namespace korvex
