// The public object: each member fetches the thread's state once and runs its operation inside the
// fault boundary. The object itself holds only its own few values, behind its pointer.
#include "korvex/korvex_dll.hpp"

#include <array>
#include <memory>

#include "device/card_access.hpp"
#include "device/device_init.hpp"
#include "device/marking_params.hpp"
#include "font/font_catalogue.hpp"
#include "interface/fault_boundary.hpp"
#include "link/calibration_download.hpp"
#include "link/job_download.hpp"
#include "link/job_packer.hpp"
#include "link/run_stop.hpp"
#include "link/serial_link.hpp"
#include "scan/direct_marking.hpp"
#include "template/cells.hpp"
#include "template/print_pass.hpp"
#include "template/print_setup.hpp"
#include "template/template_file.hpp"

using korvex::State;

struct korvex_dll::Values {
    std::string name;
    int32_t file_no_begin = 0;
    int16_t marking_flag = 0;  // 16-bit Boolean
    int32_t debug_serial = 0;
    std::string template_file_name;                           // e_setPrintInfo's template, without extension
    std::shared_ptr<const korvex::CellFlagConst> cell_flags;  // created by the first e_setPrintInfo
    std::array<int32_t, 5> category_counters{};               // print set-up: next slot of each category
    std::vector<uint8_t> port_list = std::vector<uint8_t>(4, 0);  // passed as rs_n by e_Initlize
};

korvex_dll::korvex_dll() : values_(std::make_unique<Values>()) {
    State& s = korvex::thread_state();
    if (s.iface.lngCreated == INT32_MAX) korvex::raise_fault(korvex::FaultKind::overflow, "object creation counter overflows");
    values_->debug_serial = ++s.iface.lngCreated;
}

korvex_dll::~korvex_dll() = default;

std::string korvex_dll::Name() const { return values_->name; }
void korvex_dll::Name(const std::string& value) { values_->name = value; }
int32_t korvex_dll::File_no_begin() const { return values_->file_no_begin; }
void korvex_dll::File_no_begin(int32_t value) { values_->file_no_begin = value; }
int32_t korvex_dll::DebugID() const { return values_->debug_serial; }
int16_t korvex_dll::e_isMarking() const { return values_->marking_flag; }
int16_t korvex_dll::e_Relese() { return 0; }

int16_t korvex_dll::e_PrintEarMark(const std::vector<uint8_t>& imageData, const std::vector<std::string>& strNumber1,
                                   const std::vector<std::string>& strNumber2, const std::vector<uint8_t>& arr_Size) {
    return korvex::run_member([&](State& s) {
        korvex::Card_required(s);
        return korvex::Print_ear_mark(s, imageData, strNumber1, strNumber2, arr_Size, values_->marking_flag);
    });
}

// The ear-tag workflow's start-up: direct mode with fixed settings, the current marking parameters
// again with a step size of 3 um, the default template from the current directory, a reset for a
// job and the font catalogue. Each step is this object's own member; their results are not looked
// at, and a fault ends the start-up with the earlier steps done.
int16_t korvex_dll::e_Initlize() {
    return korvex::run_member([&](State& s) -> int16_t {
        Marking_init_pci(128, 0, 0, 1, 0, values_->port_list, 1);
        const korvex::MarkingGroup& p = s.para;
        Marking_para(p.sngMarkSpeed, p.sngJumpSpeed, p.lngOffDelay, p.lngOffHold, p.lngOnDelay, p.lngOnHold, 3.0,
                     p.sngLaserPower, p.sngLaserFreq, s.hw.sngLaserMaxPower, p.lngJumpDelay);
        korvex::Template_load(s, "MarkConfig");
        marking_start();
        korvex::Font_catalogue_init(s);
        return 0;
    });
}

korvex::Empty korvex_dll::e_setPrintInfo(const std::string& strTempletFileName) {
    return korvex::run_member([&](State& s) {
        if (!values_->cell_flags) values_->cell_flags = std::make_shared<const korvex::CellFlagConst>();
        korvex::Print_info_set(s, strTempletFileName, values_->template_file_name, values_->category_counters);
        return korvex::Empty{};
    });
}

int16_t korvex_dll::usb_laser_open(float laserpower, float laserfre, int16_t on_off) {
    return korvex::run_member([&](State& s) { return korvex::usb_laser_open(s, laserpower, laserfre, on_off); });
}

int16_t korvex_dll::Marking_init_pci(int16_t out_data0, int16_t out_data1, int16_t card, int16_t LaserType,
                                     int16_t lnghead, const std::vector<uint8_t>& rs_n, int16_t laser_sw) {
    return korvex::run_member([&](State& s) {
        if (card == korvex::kStandAloneCardMode) values_->file_no_begin = 0;  // the first job file is file 0 again
        // lnghead is not used; rs_n (the serial port list) only matters in stand-alone mode.
        korvex::Marking_mode_record(s, card, LaserType);
        if (card == korvex::kStandAloneCardMode) return korvex::Link_init(s, rs_n);  // the controllers, not the card
        return korvex::Direct_init(s, out_data0, out_data1, laser_sw);
    });
}

int16_t korvex_dll::Marking_data(std::vector<double>& md) {
    return korvex::run_member([&](State& s) -> int16_t {
        if (s.device.intCardMode == korvex::kStandAloneCardMode) return korvex::Marking_data_standalone(s, md);
        korvex::Card_required(s);
        return korvex::Marking_data_direct(s, md);
    });
}

int16_t korvex_dll::Marking_end(int32_t fileno, int32_t fileAll, int32_t MarkM, int32_t m_sel, int32_t m_head,
                                std::vector<double>& md) {
    return korvex::run_member(
        [&](State& s) { return korvex::Marking_end(s, values_->file_no_begin, fileno, fileAll, MarkM, m_sel, m_head, md); });
}

int16_t korvex_dll::Marking_run() {
    return korvex::run_member([&](State& s) { return korvex::Marking_run(s); });
}

int16_t korvex_dll::Marking_stop() {
    return korvex::run_member([&](State& s) { return korvex::Marking_stop(s); });
}

int16_t korvex_dll::Marking_para(float ms, float mms, int32_t tcf, int32_t tch, int32_t tof, int32_t toh, double su,
                                 float laserpower, float laserfre, float lasermaxpower, int32_t dr_time) {
    return korvex::run_member([&](State& s) {
        return korvex::Marking_para(s, ms, mms, tcf, tch, tof, toh, su, laserpower, laserfre, lasermaxpower, dr_time);
    });
}

int16_t korvex_dll::Send_cal_data(int32_t lnghead) {
    return korvex::run_member([&](State& s) { return korvex::Send_cal_data(s, lnghead); });
}

int16_t korvex_dll::marking_start() {
    return korvex::run_member([&](State& s) -> int16_t {
        if (s.device.intCardMode == korvex::kDirectCardMode) return korvex::Direct_job_start(s);
        if (s.device.intCardMode == korvex::kStandAloneCardMode) return korvex::Link_job_start(s);
        return 0;  // no mode of this machine: nothing to reset
    });
}

int16_t korvex_dll::port_Out_bit(int16_t intBit, int16_t intV) {
    return korvex::run_member([&](State& s) {
        korvex::Card_required(s);
        return korvex::Port_out_bit_raw(s, intBit, intV);
    });
}

int16_t korvex_dll::port_In_Bit(int16_t intBit) {
    return korvex::run_member([&](State& s) {
        korvex::Card_required(s);
        return korvex::Port_in_bit(s, intBit);
    });
}

int16_t korvex_dll::Marking_DA(double V, int16_t P) {
    return korvex::run_member([&](State& s) {
        korvex::Card_required(s);
        return korvex::Marking_DA_volts(s, V, P);
    });
}
