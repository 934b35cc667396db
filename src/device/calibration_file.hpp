// Calibration grid files: the file test and the loader that fills the two offset tables of the
// scan field correction from the grid file of a scan head, kept beside the library.
#pragma once

#include <cstdint>
#include <string>

#include "state/state.hpp"

namespace korvex {

// True when the path's modification time can be read; any failure is just false.
bool File_exists(const std::string& path);

// Reads the grid file of `head` (0: grid_data.dat, -1: grid_data0.dat, others: grid_data.dat1) from
// the library folder into intGridDX/intGridDY. A missing file zeroes the tables and clears
// blnGridLoaded; a short or bad file faults after replacing the entries read so far.
void Calibration_load(State& s, int32_t request, int32_t head, int32_t unused);

// Reads the grid file at `path` into the two offset tables, entry by entry (blnGridLoaded is left
// alone). A file that is missing, short or holds a bad value faults, naming the path; the entries
// read before the fault are replaced.
void Grid_file_read(const std::string& path, CalibrationGroup& grid);

}  // namespace korvex
