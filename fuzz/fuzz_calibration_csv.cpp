// libFuzzer harness for the calibration's CSV files: the input is written as a file in a private
// folder and read as a pattern's node table (read_pattern_csv, what `korvex calibrate solve
// --pattern` reads) and as measured coordinates of a 21 x 21 pattern (read_measured_csv, what
// --measured reads). A CalibrationError is an accepted outcome; it must name the file.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "calibration/measured_csv.hpp"
#include "private_folder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static PrivateFolder folder;
    static const korvex::calibration::Pattern pattern = korvex::calibration::make_pattern(100.0, 21, 0.0, 1.0);
    const std::string path = folder.put("nodes.csv", data, size);
    try {
        const korvex::calibration::Pattern read = korvex::calibration::read_pattern_csv(path);
        if (read.count() < 441 || !(read.pitch_mm() > 0.0)) __builtin_trap();
    } catch (const korvex::calibration::CalibrationError& e) {
        if (std::strstr(e.what(), "nodes.csv") == nullptr) __builtin_trap();
    }
    try {
        if (korvex::calibration::read_measured_csv(path, pattern).size() != 441) __builtin_trap();
    } catch (const korvex::calibration::CalibrationError& e) {
        if (std::strstr(e.what(), "nodes.csv") == nullptr) __builtin_trap();
    }
    return 0;
}
