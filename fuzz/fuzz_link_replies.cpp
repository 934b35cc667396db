// libFuzzer harness for the stand-alone link: the input scripts what the controllers answer. Each
// serial control is a port of this harness whose replies come from the input, on a virtual clock,
// so every time-out is a jump of the clock and a run never sleeps. A few link operations (connect,
// any command code, job download with the system data step, run, stop, laser switch, a raw reply
// wait) run on a fresh link state. The library must judge any reply (short, long, late, wrong)
// without a crash; a Fault is an accepted outcome.
//
// Input: byte 0 the controls used (bits 0-3, none: control 0) and the language (bit 4); bytes 1-3
// the operations (low 3 bits the operation, high 5 bits its operand); then the reply stream. A
// reply is a head byte (bits 0-3 length, bits 4-6 delay in 200 ms steps, bit 7 repeat: the next
// byte + 1 is how many writes it answers) and its bytes. Each write to a control takes the next
// reply. A Yes/No question takes the next byte (odd: Yes); an exhausted stream answers No. A write
// after the stream is exhausted finds the line gone (a device fault, as from a controller that hung
// up): an unanswered write is scripted by a reply of length 0, and an input ends with its script
// instead of spending minutes of clock time on time-outs nobody asked for.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "korvex/fault.hpp"
#include "korvex/host_ui.hpp"
#include "korvex/serial_port.hpp"
#include "link/command_exchange.hpp"
#include "link/job_download.hpp"
#include "link/run_stop.hpp"
#include "link/serial_link.hpp"
#include "link/system_data.hpp"
#include "sim/virtual_clock.hpp"
#include "state/state.hpp"

namespace {

constexpr uint64_t kClockHz = 10'000'000;
constexpr uint64_t kDelayStepTicks = kClockHz / 5;  // 200 ms

class ReplyStream {
public:
    void reset(const uint8_t* data, std::size_t size) {
        data_ = data, size_ = size, pos_ = 0;
        repeats_left_ = 0;
    }
    // The next reply and its delay; nothing once the stream is exhausted.
    bool next_reply(std::vector<uint8_t>& bytes, uint64_t& delay_ticks) {
        if (repeats_left_ > 0) {
            --repeats_left_;
            bytes = repeated_, delay_ticks = repeated_delay_;
            return true;
        }
        if (pos_ >= size_) return false;
        const uint8_t head = data_[pos_++];
        std::size_t repeats = 0;
        if ((head & 0x80) != 0 && pos_ < size_) repeats = data_[pos_++];
        const std::size_t n = std::min<std::size_t>(head & 0x0F, size_ - pos_);
        bytes.assign(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        delay_ticks = ((head >> 4) & 0x07) * kDelayStepTicks;
        repeated_ = bytes, repeated_delay_ = delay_ticks, repeats_left_ = repeats;
        return true;
    }
    bool next_byte(uint8_t& b) {
        if (pos_ >= size_) return false;
        b = data_[pos_++];
        return true;
    }

private:
    const uint8_t* data_ = nullptr;
    std::size_t size_ = 0, pos_ = 0;
    std::vector<uint8_t> repeated_;
    uint64_t repeated_delay_ = 0;
    std::size_t repeats_left_ = 0;
};

class ScriptedPort : public korvex::SerialPort {
public:
    ScriptedPort(ReplyStream& stream, korvex::VirtualClock& clock) : stream_(stream), clock_(clock) {}
    void reset() {
        open_ = false;
        rx_.clear();
        pending_.clear();
    }

    bool is_open() const override { return open_; }
    void set_open(bool open) override { open_ = open; }
    void set_port_number(int16_t) override {}
    void set_receive_buffer_size(int32_t) override {}
    void set_transmit_buffer_size(int32_t) override {}
    void set_receive_threshold(int16_t) override {}
    void set_send_threshold(int16_t) override {}
    void set_read_length(int16_t) override {}
    void set_binary_input(bool) override {}
    void set_settings(const std::string&) override {}

    int32_t received_count() override {
        must_be_open();
        while (!pending_.empty() && pending_.front().due <= clock_.counter()) {
            rx_.insert(rx_.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
            pending_.erase(pending_.begin());
        }
        return static_cast<int32_t>(rx_.size());
    }
    void discard_received() override {
        must_be_open();
        rx_.clear();
    }
    void write(const uint8_t*, std::size_t) override {
        must_be_open();
        Pending p;
        uint64_t delay = 0;
        if (!stream_.next_reply(p.bytes, delay))
            throw korvex::SerialError(korvex::serial_error::kDeviceIo, "write: the line is gone (the reply script ended)");
        p.due = clock_.counter() + delay;
        pending_.push_back(std::move(p));
    }
    int32_t read(uint8_t* out, int32_t capacity) override {
        const int32_t n = received_count();
        std::copy_n(rx_.begin(), std::min(n, std::max(capacity, 0)), out);
        rx_.clear();
        return n;
    }
    korvex::Clock& poll_clock() override { return clock_; }

private:
    struct Pending {
        std::vector<uint8_t> bytes;
        uint64_t due = 0;
    };
    void must_be_open() const {
        if (!open_) throw korvex::SerialError(korvex::serial_error::kNotOpen, "port not open");
    }
    ReplyStream& stream_;
    korvex::VirtualClock& clock_;
    bool open_ = false;
    std::vector<uint8_t> rx_;
    std::vector<Pending> pending_;
};

class StreamUi : public korvex::HostUi {
public:
    explicit StreamUi(ReplyStream& stream) : stream_(stream) {}
    korvex::Answer message_box(const std::string&, const std::string&, korvex::Buttons buttons, korvex::Icon) override {
        if (buttons == korvex::Buttons::ok) return korvex::Answer::ok;
        uint8_t b = 0;
        return stream_.next_byte(b) && (b & 1) != 0 ? korvex::Answer::yes : korvex::Answer::no;
    }
    bool key_held(korvex::Key) override { return false; }
    void process_messages() override {}

private:
    ReplyStream& stream_;
};

struct Harness {
    ReplyStream stream;
    korvex::VirtualClock clock{kClockHz};
    StreamUi ui{stream};
    std::vector<std::unique_ptr<ScriptedPort>> ports;
    std::unique_ptr<korvex::State> s = std::make_unique<korvex::State>();
    Harness() {
        s->platform.clock = &clock;
        s->platform.ui = &ui;
        for (int i = 0; i < 4; ++i) {
            ports.push_back(std::make_unique<ScriptedPort>(stream, clock));
            s->platform.serial[i] = ports.back().get();
        }
        s->clock.dblTicksPerUs = static_cast<double>(kClockHz) / 1e6;
        s->device.intCardMode = korvex::kStandAloneCardMode;
        s->hw.sngLaserMaxPower = 100.0f;
    }
    // Replies still pending are dropped at the end of an input, so an input frees what it allocated
    // (libFuzzer runs a leak check after every input that does not).
    void ports_reset() {
        for (auto& p : ports) p->reset();
    }
    // The link as a fresh library has it; the large job buffers keep their (irrelevant) bytes.
    void fresh_link(bool english) {
        korvex::LinkGroup& l = s->link;
        l.objComm = nullptr;
        l.lngPortMask = 0;
        l.bytCmd.items.fill(0);
        l.intReply.items.fill(0);
        l.lngCtrlState = 0;
        l.lngResBase = english ? 10000 : 0;
        l.lngJobPos = 0;
        l.lngHeadLen.items.fill(0);
        l.lngFileBlock.items.fill(0);
        for (int i = 0; i < 4; ++i) l.headPara.at(i) = {100, 100, 300, 400, 100, 200, 10.0, 50, 20, 300};
        ports_reset();
    }
};

void Operation_run(korvex::State& s, uint8_t op) {
    const uint8_t operand = op >> 3;
    switch (op & 7) {
        case 0:
            korvex::Command_set(s, 1, 0, 0, 0, 0);
            korvex::Comm_execute(s);
            break;
        case 1:
            korvex::Command_set(s, operand, 0, 0, 0, 0);
            korvex::Comm_execute(s);
            break;
        case 2: {
            // A job of 1 to 13 pages filed for head operand % 4, downloaded as the only file of a set.
            s.link.lngHeadLen.at(operand % 4) = (operand / 4 + 1) * 800 - 700;
            int32_t first_file = 0;
            std::vector<double> md;
            korvex::Marking_end(s, first_file, 0, 1, 1, 0, -1, md);
            break;
        }
        case 3: korvex::Marking_run(s); break;
        case 4: korvex::Marking_stop(s); break;
        case 5: korvex::usb_laser_open(s, 50.0f, 20.0f, static_cast<int16_t>(operand % 3)); break;
        case 6: korvex::Sysdata_send(s, s.link.lngPortMask, operand, 1, operand % 4 + 1, 0); break;
        case 7:
            korvex::Command_set(s, 20, 0, 0, 0, 0);
            korvex::Command_send(s);
            korvex::Comm_command(s, operand, korvex::kReplyTimeoutUs);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Harness h;
    if (size < 4) return 0;
    korvex::State& s = *h.s;
    h.fresh_link((data[0] & 0x10) != 0);
    h.stream.reset(data + 4, size - 4);
    const uint8_t used = (data[0] & 0x0F) != 0 ? data[0] & 0x0F : 1;
    std::vector<uint8_t> rs_n(4, 0);
    for (int i = 0; i < 4; ++i)
        if ((used & (1 << i)) != 0) rs_n[static_cast<std::size_t>(i)] = static_cast<uint8_t>(0x80 | (i + 1));
    const uint64_t t0 = h.clock.counter();
    try {
        korvex::Link_init(s, rs_n);
        for (int k = 1; k <= 3; ++k) Operation_run(s, data[k]);
    } catch (const korvex::Fault&) {
    }
    h.ports_reset();
    // Every wait ends at its time-out, and there are only so many: a few hundred writes for the
    // three operations, one retry of the connection per input byte, and a few flash checks.
    if (h.clock.counter() - t0 > ((size + 400) * 3 + 100) * kClockHz) __builtin_trap();
    return 0;
}
