// Table: a fixed-size array of the shared state whose every index is checked; an index outside it
// is an index fault, as the machine's tables have always behaved, never a stray memory access.
// Big tables of plain numbers (the stand-alone job buffers, the calibration grid) keep their items
// on anonymous memory pages of their own, which the kernel hands out already zeroed and backs only
// when first written: a thread that never uses them pays nothing for them, neither memory nor the
// time of clearing them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "korvex/fault.hpp"

namespace korvex {

// Tables of at least this many bytes (of trivial items) live on pages of their own.
inline constexpr std::size_t kZeroPageTableBytes = 256 * 1024;

// Zeroed pages for `bytes` (std::bad_alloc when there are none), and their return.
void* zero_pages_allocate(std::size_t bytes);
void zero_pages_release(void* pages, std::size_t bytes) noexcept;

// Where a table's items are: inline (zero-initialized with the table), or on pages of their own.
template <class Items, bool OnPages>
struct TableItems {
    Items items{};
};

template <class Items>
struct TableItems<Items, true> {
    // The pages are zero, and default-initializing trivial items leaves them as they are.
    TableItems() : items(*::new (zero_pages_allocate(sizeof(Items))) Items) {}
    TableItems(const TableItems& other) : TableItems() { items = other.items; }
    TableItems& operator=(const TableItems& other) {
        items = other.items;
        return *this;
    }
    ~TableItems() { zero_pages_release(&items, sizeof(Items)); }

    Items& items;
};

template <class T, std::size_t N>
inline constexpr bool kItemsOnPages = std::is_trivial_v<T> && sizeof(T) * N >= kZeroPageTableBytes;

template <class T, std::size_t N>
struct Table : TableItems<std::array<T, N>, kItemsOnPages<T, N>> {
    static constexpr std::size_t size() { return N; }
    T& at(int64_t i) {
        if (i < 0 || static_cast<uint64_t>(i) >= N) raise_fault(FaultKind::index, "index outside its table");
        return this->items[static_cast<std::size_t>(i)];
    }
    const T& at(int64_t i) const {
        if (i < 0 || static_cast<uint64_t>(i) >= N) raise_fault(FaultKind::index, "index outside its table");
        return this->items[static_cast<std::size_t>(i)];
    }
};

// A fixed-size table of rows x columns whose every (row, column) is checked the same way.
template <class T, std::size_t Rows, std::size_t Cols>
struct Table2 : TableItems<std::array<T, Rows * Cols>, kItemsOnPages<T, Rows * Cols>> {
    static constexpr std::size_t rows() { return Rows; }
    static constexpr std::size_t cols() { return Cols; }
    T& at(int64_t row, int64_t col) { return this->items[index(row, col)]; }
    const T& at(int64_t row, int64_t col) const { return this->items[index(row, col)]; }

private:
    static std::size_t index(int64_t row, int64_t col) {
        if (row < 0 || static_cast<uint64_t>(row) >= Rows || col < 0 || static_cast<uint64_t>(col) >= Cols)
            raise_fault(FaultKind::index, "index outside its table");
        return static_cast<std::size_t>(row) * Cols + static_cast<std::size_t>(col);
    }
};

}  // namespace korvex
