// The emulated controller's flash: 528-byte pages holding the job files (information page, head
// parameter page, data pages) at the page numbers the host's file table gives them, the system data
// page and the 512 x 512 calibration grid. A file counts as stored only once its last page arrived.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace korvex {

inline constexpr int kFlashPageBytes = 528;
inline constexpr int kFlashDataBytes = 512;
inline constexpr int32_t kFirstFilePage = 512;
inline constexpr int kCalibrationPages = 2048;
inline constexpr int kCalibrationEntries = 262144;  // 128 entries a page
using FlashPage = std::array<uint8_t, kFlashPageBytes>;

class ControllerFlash {
public:
    ControllerFlash();

    // Job files. begin_file places file `number` of `data_pages` pages at the controller's own
    // next page for that number (page 512 for file 0, after the previous file otherwise) and returns
    // its first page; the information page goes there, the head parameter page after it, then the
    // data pages.
    int32_t begin_file(int number, int32_t data_pages);
    void write_page(int32_t page, const FlashPage& bytes);
    void complete_file(int32_t start);
    bool file_complete(int32_t start) const { return complete_.count(start) != 0; }
    const FlashPage* page(int32_t number) const;
    // First page of file `number` by the controller's table (0 when never placed).
    int32_t file_start(int number) const;
    // The data of the stored file at `start`: its length is the information page's bytes 4..7 - 512.
    // Empty when no complete file starts there.
    std::vector<uint8_t> file_data(int32_t start) const;
    int32_t pages_written() const { return pages_written_; }

    // System data page.
    void set_system_page(const FlashPage& page) {
        system_ = page;
        has_system_ = true;
    }
    bool has_system_page() const { return has_system_; }
    const FlashPage& system_page() const { return system_; }

    // Calibration: page p (1..2048) holds entries (p-1)*128 .. p*128-1 as DX, DY 16-bit pairs.
    void write_calibration_page(int p, const FlashPage& page);
    void set_calibration_complete(bool complete) { calibration_complete_ = complete; }
    bool calibration_complete() const { return calibration_complete_; }
    int16_t grid_dx(int k) const { return grid_dx_.at(static_cast<std::size_t>(k)); }
    int16_t grid_dy(int k) const { return grid_dy_.at(static_cast<std::size_t>(k)); }

private:
    std::map<int32_t, FlashPage> pages_;
    std::set<int32_t> complete_;
    std::array<int32_t, 257> block_{};  // the file table: first page of file n
    int32_t pages_written_ = 0;
    FlashPage system_{};
    bool has_system_ = false;
    std::vector<int16_t> grid_dx_, grid_dy_;
    bool calibration_complete_ = false;
};

}  // namespace korvex
