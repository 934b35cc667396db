// Reply polling and the command dispatcher. Waits run on the clock of the selected port: the host's
// clock for a controller emulated on it, the monotonic clock for a real line, since a real
// controller answers in wall time whatever clock the host paces its card with.
#include "link/command_exchange.hpp"

#include "link/serial_link.hpp"

namespace korvex {

namespace {

double Poll_now_us(Clock& c) { return static_cast<double>(c.counter()) * 1e6 / static_cast<double>(c.frequency()); }

// A busy wait of span microseconds on the port's clock, compared as a Single like every wait.
void Poll_delay_us(Clock& c, float span_us) {
    const double t0 = Poll_now_us(c);
    const uint64_t deadline =
        c.counter() + static_cast<uint64_t>(static_cast<double>(span_us) * static_cast<double>(c.frequency()) / 1e6 + 0.5);
    while (static_cast<float>(Poll_now_us(c) - t0) < span_us) c.idle_until(deadline);
}

// Sends the frame and awaits a 5-byte status reply; True when one was read (judged by the caller).
bool Send_and_read_status(State& s, double timeout_us) {
    Command_send(s);
    return Comm_command(s, 5, timeout_us);
}

}  // namespace

void Command_set(State& s, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    auto& c = s.link.bytCmd;
    c.at(0) = b0;
    c.at(1) = b1;
    c.at(2) = b2;
    c.at(3) = b3;
    c.at(4) = b4;
}

void Command_send(State& s) { Selected_port(s).write(s.link.bytCmd.items.data(), s.link.bytCmd.size()); }

bool Comm_command(State& s, int32_t n, double timeout_us) {
    SerialPort& port = Selected_port(s);
    Clock& clock = port.poll_clock();
    const double t0 = Poll_now_us(clock);
    while (true) {
        Poll_delay_us(clock, kReplyPollUs);
        if (Poll_now_us(clock) - t0 > timeout_us) {
            port.discard_received();
            return false;
        }
        if (port.received_count() >= n) break;
    }
    if (port.received_count() != n) {
        port.discard_received();
        return false;
    }
    uint8_t bytes[11];
    const int32_t want = n < 11 ? n : 11;
    const int32_t got = port.read(bytes, want);
    if (got < n) return false;  // fewer than counted: the line lost them (a hung-up device)
    for (int32_t i = 0; i < n; ++i) s.link.intReply.at(i) = bytes[i];
    return true;
}

bool Comm_execute(State& s) {
    LinkGroup& l = s.link;
    const uint8_t c = l.bytCmd.at(0);
    bool ok = false;
    switch (c) {
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
        case 21:
        case 23: break;  // refused: nothing is sent
        case 26:
            if (Send_and_read_status(s, kFlashCheckTimeoutUs)) {
                ok = l.intReply.at(0) == kDone;
                if (l.intReply.at(1) == 0xFF) Link_message(s, kBadFlashText, Buttons::ok, Icon::none);
            }
            break;
        case 2:
        case 4:
        case 5:
            if (l.lngCtrlState == 0) {
                Link_message(s, kNoMarkingDataText, Buttons::ok, Icon::none);
                return false;
            }
            if (c == 5) {
                if (Send_and_read_status(s, kReplyTimeoutUs)) {
                    ok = l.intReply.at(0) == kDone;
                    l.lngCtrlState = l.intReply.at(1);
                }
            } else if (Send_and_read_status(s, kReplyTimeoutUs)) {
                ok = l.intReply.at(0) == kDone;
                // A run the controller confirmed with its job-error status marked nothing of the
                // broken job: said as such, not as a failed exchange.
                if (ok && c == 2 && l.intReply.at(1) == kJobErrorStatus) {
                    Link_message(s, kJobErrorText, Buttons::ok, Icon::none);
                    return false;
                }
            }
            break;
        case 14:
        case 15:
        case 16:
        case 18:
        case 19:
        case 20:
            if (Send_and_read_status(s, kReplyTimeoutUs)) ok = l.intReply.at(0) == kDone;
            break;
        case 27:
        case 29:
            if (Send_and_read_status(s, kReplyTimeoutUs)) {
                ok = l.intReply.at(0) == kDone;
                l.lngCtrlState = l.intReply.at(1);
            }
            break;
        case 1:
            while (true) {
                l.lngCtrlState = 255;
                if (Send_and_read_status(s, kReplyTimeoutUs) && l.intReply.at(0) == kConnected) {
                    ok = true;
                    l.lngCtrlState = 254;
                    break;
                }
                const Answer again = Link_message(s, Res_string(l.lngResBase + kReconnectEntry), Buttons::yes_no, Icon::none);
                Selected_port(s).discard_received();
                if (again != Answer::yes) break;
            }
            break;
        default: Link_message(s, kUnknownCommandText, Buttons::ok, Icon::info); break;
    }
    if (!ok) Link_message(s, Res_string(l.lngResBase + kCommandFailedEntry) + std::to_string(c), Buttons::ok, Icon::info);
    return ok;
}

bool Await_each(State& s, int32_t mask, int32_t n, uint8_t expect, const char* failure) {
    const bool ok = For_each_port(s, mask, [&](int) { return Comm_command(s, n, kReplyTimeoutUs) && s.link.intReply.at(0) == expect; });
    if (!ok) Link_message(s, failure, Buttons::ok, Icon::none);
    return ok;
}

}  // namespace korvex
