// korvex_dll: the library's one public object. A host creates it and calls its 22 members on one
// thread; all machine state is shared by every object of that thread. Members return status codes;
// anything that goes wrong inside a member reaches the host as a thrown korvex::Fault. The comments
// of the members are the reference (docs/members.md is generated from them).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "korvex/export.h"
#include "korvex/fault.hpp"
#include "korvex/member_values.h"
#include "korvex/version.h"

namespace korvex {

// The empty Variant that e_setPrintInfo returns.
struct Empty {
    bool operator==(const Empty&) const { return true; }
    bool operator!=(const Empty&) const { return false; }
};

}  // namespace korvex

/// The library's one public object. Every member runs on the calling thread to completion. A member
/// that faults throws korvex::Fault (kinds in korvex/fault.hpp) after the library has put the card
/// back on its resting page and closed an open laser gate: **the gate is closed whenever a member
/// throws**. Expected failures (no calibration grid, a controller that does not answer) are shown to
/// the operator as message boxes (korvex/korvex.h: korvex_set_message_cb) and the member returns
/// normally. Positions are millimetres in the field frame, origin at the field centre.
class KORVEX_API korvex_dll {
public:
    /// Creates an object and numbers it (DebugID). Touches nothing on the machine.
    /// @throws korvex::Fault overflow at the 2 147 483 648th creation on a thread.
    korvex_dll();
    /// Destroying an object touches nothing: no output is reset, nothing is closed.
    ~korvex_dll();
    korvex_dll(const korvex_dll&) = delete;
    korvex_dll& operator=(const korvex_dll&) = delete;

    /// @name Members in interface slot order
    /// @{

    /// Slot 1. The object's name, as last set; empty at first. The library never reads it.
    /// @return the name (UTF-8). Cannot fail.
    std::string Name() const;
    /// Slot 2. Sets the object's name; it has no effect on any operation.
    /// @param value any text (UTF-8). Cannot fail.
    void Name(const std::string& value);
    /// Slot 3. The number of the first job file of a stand-alone job set (see Marking_end).
    /// @return the value; 0 at first and after a stand-alone Marking_init_pci. Cannot fail.
    int32_t File_no_begin() const;
    /// Slot 4. Sets the number of the first job file of a stand-alone job set.
    /// @param value file number offset added to Marking_end's `fileno`; the sum must be 0-254.
    void File_no_begin(int32_t value);
    /// Slot 5. This object's creation serial number on its thread.
    /// @return 1 for the thread's first object, 2 for the second, ... Cannot fail.
    int32_t DebugID() const;
    /// Slot 6. Whether an ear-tag print pass of this object is marking.
    /// @return KORVEX_TRUE (-1) from the start of e_PrintEarMark's pass until it returns (and after a pass
    ///         that faulted, until the next one completes), else KORVEX_FALSE (0). Cannot fail.
    int16_t e_isMarking() const;
    /// Slot 7. Marks one plate of ear tags with the template chosen by e_setPrintInfo: tag t gets the
    /// t-th bar-code, first-number and second-number cells. Every index is checked before anything
    /// is marked.
    /// @param imageData the code bitmaps of all tags, tag 0 first, each tag's bytes contiguous (a
    ///        bar-code cell reads the first 32 bytes of its tag: 16 x 16 dots, 2 bytes a row).
    /// @param strNumber1 per tag, the text of its first-number cell (UTF-8); at least N elements.
    /// @param strNumber2 per tag, the text of its second-number cell (UTF-8); at least N elements.
    /// @param arr_Size element 0: the number of tags N (0-101); element t + 1: the byte count of tag t's
    ///        bitmap (0-201). With N = 0 the pass marks the tags of the previous call again.
    /// @return 0.
    /// @throws korvex::Fault index (arrays shorter than N says, N above 101, a bitmap above 201 bytes),
    ///         division (a number or plot cell of zero width or height), device (no card open); the
    ///         gate is closed.
    int16_t e_PrintEarMark(const std::vector<uint8_t>& imageData, const std::vector<std::string>& strNumber1,
                           const std::vector<std::string>& strNumber2, const std::vector<uint8_t>& arr_Size);
    /// Slot 8. The ear-tag workflow's start-up: Marking_init_pci in direct mode with the values of the
    /// example (KORVEX_OUTPUTS_GATE_HIGH, 0, KORVEX_CARD_DIRECT, KORVEX_LASER_TYPE_DIRECT, 0, four zero ports,
    /// KORVEX_GATE_OPENS_LOW), Marking_para with the current speeds and delays and a 3 um step, the template
    /// "MarkConfig" of the current directory, marking_start and the font catalogue.
    /// @return 0; the steps' results are not looked at.
    /// @throws korvex::Fault of the first step that faults (earlier steps keep their effect); the gate
    ///         is closed.
    int16_t e_Initlize();
    /// Slot 9. Does nothing: the card, the serial ports and the outputs stay as they are.
    /// @return 0. Cannot fail.
    int16_t e_Relese();
    /// Slot 10. Chooses the ear-tag template: loads BASE.mc1 (pens, hardware values, zones) and
    /// BASE.nam (cells) and sorts the cells for e_PrintEarMark. A damaged file is reported to the
    /// operator in one message box and what it held there keeps its previous values.
    /// @param strTempletFileName the template's path, with or without extension (UTF-8).
    /// @return korvex::Empty.
    /// @throws korvex::Fault index (more than 100 cells of one kind), file (BASE.nam unreadable); then
    ///         no template is usable. A template that moves the gate bit closes the gate at once.
    korvex::Empty e_setPrintInfo(const std::string& strTempletFileName);
    /// Slot 11. Stand-alone mode: switches the laser of every controller on or off (no reply is read).
    /// @param laserpower not used.
    /// @param laserfre not used.
    /// @param on_off KORVEX_LASER_ON (1) or KORVEX_LASER_OFF (0); another value repeats the previous switch bytes.
    /// @return 0.
    /// @throws korvex::Fault device when no serial control was opened (Marking_init_pci in stand-alone
    ///         mode comes first).
    int16_t usb_laser_open(float laserpower, float laserfre, int16_t on_off);
    /// Slot 12. Brings the machine up. Direct mode: opens the card (a failure is shown as a critical
    /// message box and later card calls fault), loads the calibration grid (without one: a message
    /// box, marks uncorrected), sets the hardware defaults, writes the output bytes, closes the gate,
    /// centres the scanner and programs the laser. Stand-alone mode: opens the serial controls rs_n
    /// names (File_no_begin = 0). May be called again at any time.
    /// @param out_data0 initial level of outputs 0-7, 0-255 (KORVEX_OUTPUTS_GATE_HIGH: bit 7, the gate).
    /// @param out_data1 initial level of outputs 8-15, 0-255.
    /// @param card KORVEX_CARD_DIRECT (0) for the PCI card, KORVEX_CARD_STAND_ALONE (1) for the serial controllers.
    /// @param LaserType the controllers' laser type in stand-alone mode; direct mode uses type 3
    ///        (KORVEX_LASER_TYPE_DIRECT) whatever is passed.
    /// @param lnghead not used (pass 0).
    /// @param rs_n stand-alone mode: 4 bytes, one per serial control: bit 7 set = control used, bits
    ///        0-6 its port number. Not read in direct mode.
    /// @param laser_sw direct mode: KORVEX_GATE_OPENS_LOW (non-zero) opens the gate by driving output 7 low,
    ///        KORVEX_GATE_OPENS_HIGH (0) by driving it high.
    /// @return 0.
    /// @throws korvex::Fault overflow (an output byte outside 0-255), index (rs_n shorter than 4 in
    ///         stand-alone mode), file (a damaged grid file); the gate is closed.
    int16_t Marking_init_pci(int16_t out_data0, int16_t out_data1, int16_t card, int16_t LaserType,
                             int16_t lnghead, const std::vector<uint8_t>& rs_n, int16_t laser_sw);
    /// Slot 13. Marks a drawing (direct mode) or packs it into the job of the stand-alone controller.
    /// @param md records, then 0: a polyline `n, x1, y1, ..., xn, yn` (n >= 2 points, mm), a point
    ///        `1, x, y`, a pulse `-1, x, y, t1..t6` (stand-alone only). Coordinates are millimetres from
    ///        the field centre. Stand-alone mode may write clamped values back into md.
    /// @return 1 when the end value was reached.
    /// @throws korvex::Fault index (a record longer than md, no end value: what was marked stays
    ///         marked), overflow (a coordinate beyond a Single), division (before Marking_para or
    ///         Marking_init_pci), device (no card open); the gate is closed.
    int16_t Marking_data(std::vector<double>& md);
    /// Slot 14. Stand-alone mode: files the packed job for one head, downloads the filed jobs as one
    /// file of a job set (and after the last file, the system data and the start), or downloads a
    /// point table. Transfer failures are shown as message boxes.
    /// @param fileno file number within the set (File_no_begin + fileno: 0-254); -1: point table.
    /// @param fileAll number of files in the set; the download of file fileAll - 1 is the last.
    /// @param MarkM marking mode of the job set, passed on in the system data.
    /// @param m_sel selection value of the job set, passed on in the system data.
    /// @param m_head 0-3: file the packed job for this head (nothing is sent); -1: download the set's
    ///        file; with fileno -1 the head the point table goes to.
    /// @param md point table form only: count, then v, x, y triples (v 0-255); otherwise not read.
    /// @return 1 when the last file of a set was downloaded and the system data step ran, else 0.
    /// @throws korvex::Fault index (m_head outside 0-3 where used, a file number above 254), overflow,
    ///         device (no serial control); the gate is closed.
    int16_t Marking_end(int32_t fileno, int32_t fileAll, int32_t MarkM, int32_t m_sel, int32_t m_head,
                        std::vector<double>& md);
    /// Slot 15. Stand-alone mode: starts the stored job set on every controller; a controller without
    /// data or that does not answer within 1 s is shown in a message box.
    /// @return 0.
    /// @throws korvex::Fault device when no serial control was opened.
    int16_t Marking_run();
    /// Slot 16. Stand-alone mode: stops every controller (no reply is read).
    /// @return 0.
    /// @throws korvex::Fault device when no serial control was opened.
    int16_t Marking_stop();
    /// Slot 17. Sets the marking parameters. Direct mode applies them at once (speeds clamped, the
    /// laser programmed, 1 ms settle); stand-alone mode keeps them for the next filed job.
    /// @param ms marking speed, mm/s (clamped to 1-15 000).
    /// @param mms jump speed, mm/s (at most 15 000; 0 or less keeps the last jump steps).
    /// @param tcf wait before the gate closes, us.
    /// @param tch wait after the gate closes, us.
    /// @param tof wait before the gate opens, us.
    /// @param toh wait after the gate opens, us.
    /// @param su scanner step, um per D/A step (> 0; the field is 65 536 steps wide).
    /// @param laserpower laser power for the stand-alone controller, in the unit of lasermaxpower
    ///        (direct mode works with its own power).
    /// @param laserfre laser frequency for the stand-alone controller, kHz.
    /// @param lasermaxpower the laser's power at full scale (powers are programmed as their ratio to
    ///        it; > 0).
    /// @param dr_time upper bound of the wait after each vector, us.
    /// @return 1.
    /// @throws korvex::Fault division (su = 0, or lasermaxpower = 0 in direct mode), overflow (a speed or
    ///         step beyond the stepping counters), float (NaN); the gate is closed.
    int16_t Marking_para(float ms, float mms, int32_t tcf, int32_t tch, int32_t tof, int32_t toh, double su,
                         float laserpower, float laserfre, float lasermaxpower, int32_t dr_time);
    /// Slot 18. Stand-alone mode: loads head lnghead's calibration grid and sends it, 2048 pages, to
    /// the serial control selected last. A missing grid or refused page is shown in a message box.
    /// @param lnghead scan head 0-3 whose grid file is read.
    /// @return KORVEX_TRUE (-1) when the controller confirmed every page, else KORVEX_FALSE (0).
    /// @throws korvex::Fault file (a damaged grid file), device (no serial control); the gate is closed.
    int16_t Send_cal_data(int32_t lnghead);
    /// Slot 19. Starts a new job: scanner to the field centre, positions zeroed, the operator's abort
    /// cleared (direct mode); in stand-alone mode the job packer starts afresh.
    /// @return 1 in direct (card 0) and stand-alone mode, 0 for another card value given to
    ///         Marking_init_pci (nothing is reset).
    /// @throws korvex::Fault division before Marking_init_pci (no clock), device (no card open); the
    ///         gate is closed.
    int16_t marking_start();
    /// Slot 20. Drives one output of the card to a raw level (1 = high), writing its whole byte.
    /// @param intBit output 0-15; above 15 nothing is written.
    /// @param intV 1 (high) or 0 (low); any other value writes nothing.
    /// @return 0.
    /// @throws korvex::Fault device (no card open, a refused write); the gate is closed. Note that
    ///         output 7 is the laser gate.
    int16_t port_Out_bit(int16_t intBit, int16_t intV);
    /// Slot 21. Reads one input of the card (inputs are active low).
    /// @param intBit input 0-15; any other bit reads as inactive.
    /// @return 1 when the input is active (reads 0), else 0.
    /// @throws korvex::Fault device (no card open, a refused read); the gate is closed.
    int16_t port_In_Bit(int16_t intBit);
    /// Slot 22. Puts a voltage on one channel of the scanner's D/A converter (moves the mirror there).
    /// @param V volts, -10 to +10 for full scale (value = V / 10 x 32 767, rounded, times the channel's
    ///        gain from the hardware table).
    /// @param P channel: 0 (x) or 1 (y); another channel writes nothing.
    /// @return 0.
    /// @throws korvex::Fault overflow (a value the converter's word cannot hold), float (NaN), device
    ///         (no card open); the gate is closed.
    int16_t Marking_DA(double V, int16_t P);
    /// @}

private:
    // The object's own values, behind a pointer: the object's size and layout stay the same whatever
    // the library keeps in it, so a host compiled against one release runs with the next.
    struct Values;
    std::unique_ptr<Values> values_;
};
