// libFuzzer harness for template files: the input is a .mc1 file and, after its first NUL byte, the
// .nam cell list (no NUL: no cell list). Both are written into a private folder and loaded through
// e_setPrintInfo, the member the host calls: the .mc1 sections (pens, hardware values, zones,
// fonts), pen 1 selected on the simulated machine, the cell list read and every cell parsed and
// sorted into its category. A Fault is an accepted outcome; the laser gate must be closed after.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "korvex/fault.hpp"
#include "korvex/korvex_dll.hpp"
#include "platform/simulated_machine.hpp"
#include "private_folder.hpp"
#include "state/state.hpp"

namespace {

struct Harness {
    PrivateFolder folder;
    korvex::SimulatedMachine machine{korvex::SimulatedMachine::Options{false, 10'000'000, false}};
    std::unique_ptr<korvex_dll> host;
    Harness() {
        korvex::set_platform(machine.platform());
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
    // A template may move the gate to another bit or level (the station is wired that way); the
    // library then closes it under the new ones. The simulated machine follows the template's wiring,
    // and under it the gate must be closed. A gate bit outside 0-15 is on no output line: the
    // machine's gate is then wired to none (the line it had is an ordinary output from now on).
    const korvex::HardwareRecord& hw = korvex::thread_state().hw;
    const bool on_a_line = hw.intGateBit >= 0 && hw.intGateBit <= 15;
    h.machine.set_gate_wiring(on_a_line ? hw.intGateBit : -1, hw.blnGateLevel ? 0 : 1);
    if (h.machine.gate_emitting()) __builtin_trap();
    return 0;
}
