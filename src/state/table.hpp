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
