// Flash of the emulated controller: sparse page store, file table and calibration grid.
#include "sim/emulated_controller_flash.hpp"

#include <algorithm>

namespace korvex {

ControllerFlash::ControllerFlash() : grid_dx_(kCalibrationEntries, 0), grid_dy_(kCalibrationEntries, 0) {
    block_[0] = kFirstFilePage;
}

int32_t ControllerFlash::begin_file(int number, int32_t data_pages) {
    // Same numbering as the host keeps: file n + 1 starts after file n's pages and its two headers.
    const std::size_t n = static_cast<std::size_t>(number & 0xFF);
    if (n == 0) block_[0] = kFirstFilePage;
    const int32_t start = block_[n];
    block_[n + 1] = start + data_pages + 2;
    // Whatever stored file began inside the pages now being rewritten is gone.
    const int32_t end = start + data_pages + 2;
    for (auto it = complete_.lower_bound(start); it != complete_.end() && *it < end;) it = complete_.erase(it);
    return start;
}

void ControllerFlash::write_page(int32_t page, const FlashPage& bytes) {
    pages_[page] = bytes;
    ++pages_written_;
}

void ControllerFlash::complete_file(int32_t start) { complete_.insert(start); }

const FlashPage* ControllerFlash::page(int32_t number) const {
    auto it = pages_.find(number);
    return it == pages_.end() ? nullptr : &it->second;
}

int32_t ControllerFlash::file_start(int number) const { return block_[static_cast<std::size_t>(number & 0xFF)]; }

std::vector<uint8_t> ControllerFlash::file_data(int32_t start) const {
    std::vector<uint8_t> out;
    const FlashPage* info = page(start);
    if (!file_complete(start) || !info) return out;
    const int64_t total = int64_t{(*info)[4]} | int64_t{(*info)[5]} << 8 | int64_t{(*info)[6]} << 16 | int64_t{(*info)[7]} << 24;
    const int64_t length = std::max<int64_t>(0, total - kFlashDataBytes);
    out.reserve(static_cast<std::size_t>(length));
    for (int32_t b = 0; static_cast<int64_t>(b) * kFlashDataBytes < length; ++b) {
        const FlashPage* data = page(start + 2 + b);
        if (!data) break;
        const int64_t take = std::min<int64_t>(kFlashDataBytes, length - static_cast<int64_t>(b) * kFlashDataBytes);
        out.insert(out.end(), data->begin(), data->begin() + take);
    }
    return out;
}

void ControllerFlash::write_calibration_page(int p, const FlashPage& page) {
    if (p < 1 || p > kCalibrationPages) return;
    const std::size_t base = static_cast<std::size_t>(p - 1) * 128;
    for (std::size_t m = 0; m < 128; ++m) {
        grid_dx_[base + m] = static_cast<int16_t>(page[4 * m] | page[4 * m + 1] << 8);
        grid_dy_[base + m] = static_cast<int16_t>(page[4 * m + 2] | page[4 * m + 3] << 8);
    }
}

}  // namespace korvex
