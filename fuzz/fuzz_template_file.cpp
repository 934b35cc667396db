// libFuzzer harness for template files: the input is a .mc1 file and, after its first NUL byte, the
// .nam cell list (no NUL: no cell list). Both are written into a private folder and loaded through
// e_setPrintInfo, the member the host calls: the .mc1 sections (pens, hardware values, zones,
// fonts), pen 1 selected on the simulated machine, the cell list read and every cell parsed and
// sorted into its category. A Fault is an accepted outcome; the laser gate must be closed after,
// under the wiring of the template when its hardware section was read whole, else under the wiring
// in force before the load (a damaged file must never move the gate).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "korvex/fault.hpp"
#include "korvex/host_ui.hpp"
#include "korvex/korvex_dll.hpp"
#include "sim/simulated_machine.hpp"
#include "private_folder.hpp"
#include "state/state.hpp"

namespace {

// The operator: answers every message box (a damaged file shows one) and keeps none of them, so a
// campaign of millions of inputs does not pile them up.
class SilentUi : public korvex::HostUi {
public:
    korvex::Answer message_box(const std::string&, const std::string&, korvex::Buttons buttons, korvex::Icon) override {
        return buttons == korvex::Buttons::yes_no ? korvex::Answer::no : korvex::Answer::ok;
    }
    bool key_held(korvex::Key) override { return false; }
    void process_messages() override {}
};

struct Harness {
    PrivateFolder folder;
    SilentUi ui;
    korvex::SimulatedMachine machine{korvex::SimulatedMachine::Options{false, 10'000'000, false}};
    std::unique_ptr<korvex_dll> host;
    Harness() {
        korvex::Platform platform = machine.platform();
        platform.ui = &ui;
        korvex::set_platform(platform);
        host = std::make_unique<korvex_dll>();
        // The machine is up and has marking parameters, so selecting a pen programs the laser.
        host->Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
        host->Marking_para(1000, 3000, 0, 0, 0, 0, 10.0, 50, 20, 100, 0);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Harness h;
    h.machine.virtual_clock()->set_counter(0);  // a long pen settle time of one input never reaches the next
    const auto* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const std::size_t mc1_size = nul ? static_cast<std::size_t>(nul - data) : size;
    h.folder.put("t.mc1", data, mc1_size);
    if (nul) h.folder.put("t.nam", nul + 1, size - mc1_size - 1);
    else h.folder.remove("t.nam");
    try {
        h.host->e_setPrintInfo(h.folder.path() + "/t.mc1");
    } catch (const korvex::Fault&) {
    }
    // A template whose hardware section was read whole may move the gate to another bit or level
    // (the station is wired that way); the library then closes it under the new ones. The simulated
    // machine follows that template's wiring, and under it the gate must be closed. A gate bit
    // outside 0-15 is on no output line: the machine's gate is then wired to none (the line it had is
    // an ordinary output from now on). Any other input keeps the wiring in force before the load, and
    // the library's gate bit and level must be that wiring's still.
    const korvex::State& s = korvex::thread_state();
    const korvex::HardwareRecord& hw = s.hw;
    const bool on_a_line = hw.intGateBit >= 0 && hw.intGateBit <= 15;
    const int wired_bit = on_a_line ? hw.intGateBit : -1;
    const int emitting_level = hw.blnGateLevel ? 0 : 1;
    if (s.tmpl.load_report.hardware_read) {
        h.machine.set_gate_wiring(wired_bit, emitting_level);
    } else {
        const korvex::MachineWiring& wiring = h.machine.model().wiring();
        if (wiring.gate_bit != wired_bit || wiring.gate_emitting_level != emitting_level) __builtin_trap();
    }
    if (h.machine.gate_emitting()) __builtin_trap();
    return 0;
}
