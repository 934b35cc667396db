// libFuzzer harness for calibration grid files: the input is written as the grid file of head 0 in
// a private library folder and loaded by Calibration_load, the loader the device initialization
// and the calibration download use. A Fault is an accepted outcome; it must name the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "device/calibration_file.hpp"
#include "korvex/fault.hpp"
#include "private_folder.hpp"
#include "state/state.hpp"

namespace {
struct Harness {
    PrivateFolder folder;
    std::unique_ptr<korvex::State> s = std::make_unique<korvex::State>();
    Harness() { s->platform.library_folder = folder.path(); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Harness h;
    h.folder.put("grid_data.dat", data, size);
    try {
        korvex::Calibration_load(*h.s, 0, 0, 0);
        if (h.s->grid.blnGridLoaded != korvex::kTrue) __builtin_trap();
    } catch (const korvex::Fault& f) {
        if (std::strstr(f.what(), "grid_data.dat") == nullptr) __builtin_trap();
    }
    return 0;
}
