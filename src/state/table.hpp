// Table: a fixed-size array of the shared state whose every index is checked; an index outside it
// is an index fault, as the machine's tables have always behaved, never a stray memory access.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "korvex/fault.hpp"

namespace korvex {

template <class T, std::size_t N>
struct Table {
    std::array<T, N> items{};

    static constexpr std::size_t size() { return N; }
    T& at(int64_t i) {
        if (i < 0 || static_cast<uint64_t>(i) >= N) raise_fault(FaultKind::index, "index outside its table");
        return items[static_cast<std::size_t>(i)];
    }
    const T& at(int64_t i) const {
        if (i < 0 || static_cast<uint64_t>(i) >= N) raise_fault(FaultKind::index, "index outside its table");
        return items[static_cast<std::size_t>(i)];
    }
};

}  // namespace korvex

namespace korvex {

// A fixed-size table of rows x columns whose every (row, column) is checked the same way.
template <class T, std::size_t Rows, std::size_t Cols>
struct Table2 {
    std::array<T, Rows * Cols> items{};

    static constexpr std::size_t rows() { return Rows; }
    static constexpr std::size_t cols() { return Cols; }
    T& at(int64_t row, int64_t col) { return items[index(row, col)]; }
    const T& at(int64_t row, int64_t col) const { return items[index(row, col)]; }

private:
    static std::size_t index(int64_t row, int64_t col) {
        if (row < 0 || static_cast<uint64_t>(row) >= Rows || col < 0 || static_cast<uint64_t>(col) >= Cols)
            raise_fault(FaultKind::index, "index outside its table");
        return static_cast<std::size_t>(row) * Cols + static_cast<std::size_t>(col);
    }
};

}  // namespace korvex
