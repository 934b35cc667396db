// Run, stop and laser switch frames, sent port by port in the link's order.
#include "link/run_stop.hpp"

#include "link/command_exchange.hpp"
#include "link/serial_link.hpp"

namespace korvex {

namespace {

void Send_to_each(State& s) {
    For_each_port(s, s.link.lngPortMask, [&](int) {
        Command_send(s);
        return true;
    });
}

}  // namespace

int16_t Marking_run(State& s) {
    s.link.bytCmd.at(0) = 2;
    s.link.bytCmd.at(1) = 100;
    s.link.bytCmd.at(2) = 0;
    For_each_port(s, s.link.lngPortMask, [&](int) {
        Comm_execute(s);
        return true;
    });
    s.link.lngCtrlState = 2;
    return 0;
}

int16_t Marking_stop(State& s) {
    Command_set(s, 254, 0, 0, 0, 0);
    Send_to_each(s);
    s.link.lngCtrlState = 1;
    return 0;
}

int16_t usb_laser_open(State& s, float, float, int16_t on_off) {
    s.link.bytCmd.at(0) = 14;
    if (on_off == 0 || on_off == 1) s.link.bytCmd.at(1) = s.link.bytCmd.at(2) = on_off == 1 ? 255 : 0;
    s.link.bytCmd.at(3) = 0;
    s.link.bytCmd.at(4) = 0;
    Send_to_each(s);
    s.link.lngCtrlState = 1;
    return 0;
}

}  // namespace korvex
