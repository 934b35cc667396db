// Placeholder until the grid reader lands: behaves as if no grid file exists.
#include "scan/calibration_file.hpp"

#include <sys/stat.h>

namespace korvex {

bool File_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void Calibration_load(State& s, int32_t, int32_t, int32_t) {
    s.grid.intGridDX.items.fill(0);
    s.grid.intGridDY.items.fill(0);
    s.grid.blnGridLoaded = kFalse;
}

}  // namespace korvex
