// Calibration grid files: the file test and the loader of a head's grid file into the two offset
// tables that the field correction adds to every D/A position.
#include "device/calibration_file.hpp"

#include <sys/stat.h>

#include "core/value_reader.hpp"

namespace korvex {

namespace {

// Grid file of a scan head: head 0 has the plain name, head -1 its own file, every other head
// shares the file with the trailing 1.
const char* grid_file_name(int32_t head) {
    if (head == 0) return "grid_data.dat";
    if (head == -1) return "grid_data0.dat";
    return "grid_data.dat1";
}

std::string join_path(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

}  // namespace

bool File_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;  // every failure (missing, unreachable, no access) is false
}

void Calibration_load(State& s, int32_t, int32_t head, int32_t) {
    CalibrationGroup& grid = s.grid;
    const std::string path = join_path(s.platform.library_folder, grid_file_name(head));
    if (!File_exists(path)) {
        grid.intGridDX.items.fill(0);
        grid.intGridDY.items.fill(0);
        grid.blnGridLoaded = kFalse;
        return;
    }
    // A file that fails part-way leaves the entries it supplied, the rest of the old grid, and
    // blnGridLoaded as it was.
    Grid_file_read(path, grid);
    grid.blnGridLoaded = kTrue;
}

void Grid_file_read(const std::string& path, CalibrationGroup& grid) {
    try {
        FileText file(path);
        ValueReader in(file.view());
        in.read_string();  // header: any text is accepted
        for (int i = 0; i < 4; ++i) in.read_single();  // four Singles the correction does not use
        for (int64_t k = 0; k < kGridEntries; ++k) {  // entries are replaced as they are read
            grid.intGridDX.at(k) = in.read_i16();
            grid.intGridDY.at(k) = in.read_i16();
        }
    } catch (const Fault& e) {
        raise_fault(e.kind(), path + ": " + e.what());
    }
}

}  // namespace korvex
