// Direct-mode bring-up. The order matters: the output shadows only reach the card with the first
// bit operation on each byte (the gate close writes byte 0, output 15 writes byte 1), the gate is
// closed before anything else moves, and the laser is programmed last with the start values.
#include "device/device_init.hpp"

#include <string>

#include "device/card_access.hpp"
#include "device/card_registers.hpp"
#include "device/hardware_table.hpp"
#include "device/laser_program.hpp"
#include "device/laser_signals.hpp"
#include "device/timer.hpp"
#include "device/calibration_file.hpp"

namespace korvex {

void Positions_reset(State& s) {
    s.scan.lngPosX = 0;
    s.scan.lngPosY = 0;
    s.sig.lngAxisPos = 0;
    s.scan.lngCorrX = 0;
    s.scan.lngCorrY = 0;
}

void Motion_reset(State& s) {
    DA_zero(s);
    Positions_reset(s);
}

void Marking_mode_record(State& s, int16_t card, int16_t LaserType) {
    s.clock.dblTicksPerUs = Timer_ticks_per_us(s);
    s.device.intCardMode = card;
    s.hw.intLaserType = LaserType;
}

int16_t Direct_init(State& s, int16_t out_data0, int16_t out_data1, int16_t laser_sw) {
    if (!Card_open(s))
        s.platform.ui->message_box(kCardOpenFailedText, kMessageTitle, Buttons::ok, Icon::critical);
    s.grid.blnGridLoaded = kFalse;
    Calibration_load(s, -1, 0, 0);
    Hardware_defaults(s, kHardwareDefaults);
    Hardware_defaults(s, kHardwareDirectionTable);
    s.hw.intLaserType = 3;
    s.para.sngPulseWidth = 0.0f;  // gate mode
    s.scan.dblTimeX = s.sig.dblLastPulse = Timer_now_us(s);
    s.card.bytOutPort0 = to_byte(static_cast<int64_t>(out_data0));
    s.card.bytOutPort1 = to_byte(static_cast<int64_t>(out_data1));
    Page_select(s, card_reg::kRestPage);
    Delay_us(s, 100.0f);

    s.hw.intGateBit = 7;
    s.hw.blnGateLevel = to_vbool(laser_sw != 0);
    s.hw.intPulseWidthUs = 8;
    Laser_switch(s, kFalse);  // first write of output byte 0
    s.para.sngLaserPower = 1.0f;
    s.para.sngLaserFreq = 3.0f;
    s.sig.blnLaserSleeping = kTrue;
    Laser_standby(s, kFalse);
    Out15_set(s, kFalse);  // first write of output byte 1

    Motion_reset(s);
    s.sig.blnGateEnable = kTrue;
    s.sig.blnAbort = kFalse;
    Laser_enable(s, kTrue);
    Out15_set(s, kTrue);

    s.hw.sngLaserMaxPower = 15.0f;
    s.hw.sngLaserMaxFreq = 50.0f;
    s.para.sngLaserPower = 13.0f;
    s.para.sngLaserFreq = 5.0f;
    s.device.picText = s.platform.text_path;
    Laser_program(s);
    if (s.grid.blnGridLoaded == 0) s.platform.ui->message_box(kNoCalibrationText, kMessageTitle, Buttons::ok, Icon::none);
    return 0;
}

int16_t Direct_job_start(State& s) {
    Card_required(s);
    s.scan.dblTimeX = s.scan.dblTimeY = Timer_now_us(s);
    s.card.dblDriftT0 = s.scan.dblTimeX;  // drift of D/A mode 2 counts from the start of the job
    s.sig.blnAbort = kFalse;
    Motion_reset(s);
    return 1;
}

}  // namespace korvex
