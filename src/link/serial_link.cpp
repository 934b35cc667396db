// Stand-alone link bring-up, port opening and selection, and the link's texts.
#include "link/serial_link.hpp"

#include "device/timer.hpp"

namespace korvex {

namespace {

struct ResEntry {
    int32_t id;
    const char* text;
};
constexpr ResEntry kStringTable[] = {
    {8007, kReconnectQuestionText},
    {8008, kCommandFailedText},
    {18007, "can't connect laser head."},
    {18008, "error send command"},
};

}  // namespace

std::string Res_string(int32_t id) {
    for (const ResEntry& e : kStringTable)
        if (e.id == id) return e.text;
    raise_fault(FaultKind::index, "no string table entry " + std::to_string(id));
}

Answer Link_message(State& s, const std::string& text, Buttons buttons, Icon icon) {
    return s.platform.ui->message_box(text, kMessageTitle, buttons, icon);
}

void Port_select(State& s, int index) {
    SerialPort* p = s.platform.serial[index & 3];
    if (!p) raise_fault(FaultKind::device, "serial control " + std::to_string(index) + " does not exist");
    s.link.objComm = p;
}

SerialPort& Selected_port(State& s) {
    if (!s.link.objComm) raise_fault(FaultKind::device, "no serial control selected (stand-alone mode not initialized)");
    return *s.link.objComm;
}

void Comm_open(State& s, int32_t index, int32_t port, const std::string& settings) {
    try {
        if (index >= 0 && index <= 3) Port_select(s, index);
        SerialPort& c = Selected_port(s);
        if (c.is_open()) c.set_open(false);
        c.set_port_number(to_i16(static_cast<int64_t>(port)));
        c.set_receive_buffer_size(2048);
        c.set_transmit_buffer_size(kPageBytes);  // a whole page goes out in one write
        c.set_receive_threshold(1);
        c.set_send_threshold(0);
        c.set_settings(settings);
        c.set_read_length(0);
        c.set_open(true);
        c.set_binary_input(true);
        c.discard_received();
    } catch (const Fault& e) {
        // The control's own number; a port number beyond 16 bits is the overflow error (6), no
        // control to open the error of an unset object (91).
        const SerialError* serial = dynamic_cast<const SerialError*>(&e);
        const int code = serial ? serial->code() : e.kind() == FaultKind::overflow ? 6 : 91;
        Link_message(s, kPortOpenFailedText + std::to_string(code) + kPortWord + std::to_string(port), Buttons::ok, Icon::none);
    }
}

int16_t Link_init(State& s, const std::vector<uint8_t>& rs_n) {
    s.grid.blnGridLoaded = kTrue;  // the controllers correct their own fields
    s.link.lngPortMask = 0;
    for (int i = 0; i < 4; ++i) {
        if (static_cast<std::size_t>(i) >= rs_n.size()) raise_fault(FaultKind::index, "rs_n has fewer than four elements");
        const uint8_t entry = rs_n[static_cast<std::size_t>(i)];
        if (entry >= 128) {
            s.link.lngPortMask += 1 << i;
            Comm_open(s, i, entry & 127, kLinkLineSettings);
        }
    }
    s.scan.dblTimeX = Timer_now_us(s);
    return 0;
}

}  // namespace korvex
