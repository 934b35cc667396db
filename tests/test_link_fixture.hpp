// Fixture of the stand-alone link tests: a fresh library on the simulated machine, whose serial
// ports can be wired to in-process emulated controllers, with helpers to bring the link up, set the
// stand-alone parameters, and read the serial trace back.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "link/serial_link.hpp"
#include "machine_fixture.hpp"
#include "sim/emulated_controller.hpp"

class LinkTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        init_clock();
    }

    korvex::EmulatedController& emulator(int16_t port, const std::vector<std::string>& words = {}) {
        korvex::ControllerOptions o;
        std::string error;
        EXPECT_TRUE(korvex::parse_controller_options(words, o, error)) << error;
        return machine.serial().attach_emulator(port, o);
    }
    // Stand-alone initialization (the member's steps after it recorded the mode).
    void init_link(const std::vector<uint8_t>& rs_n) {
        state().device.intCardMode = 1;
        korvex::Link_init(state(), rs_n);
    }
    // The parameter set Marking_para gives the stand-alone controller.
    void set_params(float ms, float mms, int32_t tcf, int32_t tch, int32_t tof, int32_t toh, double su, float power,
                    float freq, float max_power, int32_t dr_time, int16_t laser_type = 0) {
        korvex::HeadParaRecord& p = state().para.offPara;
        p = {ms, mms, tof, toh, tcf, tch, su, power, freq, dr_time};
        state().hw.sngLaserMaxPower = max_power;
        state().hw.intLaserType = laser_type;
    }

    // Trace lines of the serial controls (and message boxes) from `from` on.
    Lines link_lines(std::size_t from = 0) const {
        Lines out;
        for (const std::string& l : trace_since(from))
            if (l.rfind("serial ", 0) == 0 || l.rfind("msg ", 0) == 0) out.push_back(l);
        return out;
    }
    // Texts of the message boxes shown so far.
    Lines messages() {
        Lines out;
        for (const auto& m : machine.ui().shown()) out.push_back(m.text);
        return out;
    }
    // Bytes of a "serial tx/rx INDEX HH ..." line.
    static std::vector<uint8_t> line_bytes(const std::string& line) {
        std::istringstream in(line);
        std::string w;
        in >> w >> w >> w;
        std::vector<uint8_t> out;
        while (in >> w) out.push_back(static_cast<uint8_t>(std::stoi(w, nullptr, 16)));
        return out;
    }
    // The tx lines of control `index`, as byte vectors.
    std::vector<std::vector<uint8_t>> sent(int index, std::size_t from = 0) const {
        std::vector<std::vector<uint8_t>> out;
        const std::string head = "serial tx " + std::to_string(index) + " ";
        for (const std::string& l : trace_since(from))
            if (l.rfind(head, 0) == 0) out.push_back(line_bytes(l));
        return out;
    }
    korvex::LinkGroup& link() { return state().link; }
};
