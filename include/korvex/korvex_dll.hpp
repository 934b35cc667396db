// korvex_dll: the library's one public object. A host creates it and calls its 22 members on one
// thread; all machine state is shared by every object of that thread. Members return status codes;
// anything that goes wrong inside a member reaches the host as a thrown korvex::Fault.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "korvex/fault.hpp"
#include "korvex/version.h"

namespace korvex {

// The empty Variant that e_setPrintInfo returns.
struct Empty {
    bool operator==(const Empty&) const { return true; }
    bool operator!=(const Empty&) const { return false; }
};

class CellFlagConst;  // the cell kind names of the template cells

}  // namespace korvex

class korvex_dll {
public:
    // Creating an object numbers it (DebugID); the 2 147 483 648th creation on a thread faults.
    korvex_dll();
    // Destroying an object touches nothing: no output is reset, nothing is closed.
    ~korvex_dll();
    korvex_dll(const korvex_dll&) = delete;
    korvex_dll& operator=(const korvex_dll&) = delete;

    // Members in interface slot order.
    std::string Name() const;                                   // 1
    void Name(const std::string& value);                        // 2
    int32_t File_no_begin() const;                              // 3
    void File_no_begin(int32_t value);                          // 4
    int32_t DebugID() const;                                    // 5
    int16_t e_isMarking() const;                                // 6  Boolean
    int16_t e_PrintEarMark(const std::vector<uint8_t>& imageData, const std::vector<std::string>& strNumber1,
                           const std::vector<std::string>& strNumber2, const std::vector<uint8_t>& arr_Size);  // 7
    int16_t e_Initlize();                                       // 8
    int16_t e_Relese();                                         // 9
    korvex::Empty e_setPrintInfo(const std::string& strTempletFileName);  // 10
    int16_t usb_laser_open(float laserpower, float laserfre, int16_t on_off);  // 11
    int16_t Marking_init_pci(int16_t out_data0, int16_t out_data1, int16_t card, int16_t LaserType,
                             int16_t lnghead, const std::vector<uint8_t>& rs_n, int16_t laser_sw);  // 12
    int16_t Marking_data(std::vector<double>& md);              // 13
    int16_t Marking_end(int32_t fileno, int32_t fileAll, int32_t MarkM, int32_t m_sel, int32_t m_head,
                        std::vector<double>& md);               // 14
    int16_t Marking_run();                                      // 15
    int16_t Marking_stop();                                     // 16
    int16_t Marking_para(float ms, float mms, int32_t tcf, int32_t tch, int32_t tof, int32_t toh, double su,
                         float laserpower, float laserfre, float lasermaxpower, int32_t dr_time);  // 17
    int16_t Send_cal_data(int32_t lnghead);                     // 18 Boolean
    int16_t marking_start();                                    // 19
    int16_t port_Out_bit(int16_t intBit, int16_t intV);         // 20
    int16_t port_In_Bit(int16_t intBit);                        // 21
    int16_t Marking_DA(double V, int16_t P);                    // 22

private:
    std::string name_;
    int32_t file_no_begin_ = 0;
    int16_t marking_flag_ = 0;  // 16-bit Boolean
    int32_t debug_serial_ = 0;
    std::string template_file_name_;                           // e_setPrintInfo's template, without extension
    std::shared_ptr<const korvex::CellFlagConst> cell_flags_;  // created by the first e_setPrintInfo
    std::array<int32_t, 5> category_counters_{};               // print set-up: next slot of each category
    std::vector<uint8_t> port_list_ = std::vector<uint8_t>(4, 0);  // passed as rs_n by e_Initlize
};
