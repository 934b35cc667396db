// Grid pages and the calibration exchange: command, 2047 acknowledged pages, a confirmed last page.
#include "link/calibration_download.hpp"

#include "link/command_exchange.hpp"
#include "link/job_download.hpp"
#include "link/serial_link.hpp"
#include "device/calibration_file.hpp"

namespace korvex {

void Cal_page_build(State& s, int32_t p) {
    Table<uint8_t, kPageBytes>& page = s.link.bytCalPage;
    const int64_t base = int64_t{p - 1} * 128;
    for (int m = 0; m < 128; ++m) {
        const uint16_t dx = static_cast<uint16_t>(s.grid.intGridDX.at(base + m));
        const uint16_t dy = static_cast<uint16_t>(s.grid.intGridDY.at(base + m));
        page.at(4 * m) = static_cast<uint8_t>(dx & 0xFF);
        page.at(4 * m + 1) = static_cast<uint8_t>(dx >> 8);
        page.at(4 * m + 2) = static_cast<uint8_t>(dy & 0xFF);
        page.at(4 * m + 3) = static_cast<uint8_t>(dy >> 8);
    }
}

int16_t Send_cal_data(State& s, int32_t lnghead) {
    Calibration_load(s, -1, lnghead, -1);
    if (s.grid.blnGridLoaded == kFalse) {
        Link_message(s, kNoGridText, Buttons::ok, Icon::info);
        return kFalse;
    }
    SerialPort& port = Selected_port(s);
    Command_set(s, 8, 0, 0, 0, 0);
    Command_send(s);
    if (!(Comm_command(s, 1, kReplyTimeoutUs) && s.link.intReply.at(0) == kPageAccepted)) {
        Link_message(s, kCalCommandFailedText, Buttons::ok, Icon::none);
        return kFalse;
    }
    for (int32_t p = 1; p <= kCalPages; ++p) {
        Cal_page_build(s, p);
        port.write(s.link.bytCalPage.items.data(), kPageBytes);
        if (p < kCalPages) {
            if (!(Comm_command(s, 1, kReplyTimeoutUs) && s.link.intReply.at(0) == kPageAccepted)) {
                Link_message(s, kCalPageFailedText, Buttons::ok, Icon::none);
                return kFalse;
            }
        } else if (!(Comm_command(s, 5, kReplyTimeoutUs) && s.link.intReply.at(0) == kDone)) {
            Link_message(s, kFileDataFailedText, Buttons::ok, Icon::none);
            return kFalse;
        }
    }
    return kTrue;
}

}  // namespace korvex
